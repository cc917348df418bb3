; Morvane's uninstaller, which the set-up writes into the installed folder.
; It is a program of its own, not an uninstaller of NSIS's kind: that one
; starts a copy of itself from the temporary folder and returns at once, so
; that neither a user's script nor "Apps" learns how it ended. This one does
; the work in place and returns when it is done, with the exit codes of
; morvane.nsh (0: removed; 2, 3 or 4: nothing removed).
;
; Silent use: uninstall.exe /S (keeps the stored account and password).

!include "morvane.nsh"

Caption "${PRODUCT} 卸载"
ShowInstDetails nevershow

!define MUI_PAGE_HEADER_TEXT "正在卸载"
!define MUI_PAGE_HEADER_SUBTEXT "正在从计算机中卸载 Morvane，请稍候。"
!define MUI_INSTFILESPAGE_FINISHHEADER_TEXT "卸载完成"
!define MUI_INSTFILESPAGE_FINISHHEADER_SUBTEXT "Morvane 已从计算机中卸载。"
!define MUI_INSTFILESPAGE_ABORTHEADER_TEXT "卸载未完成"
!define MUI_INSTFILESPAGE_ABORTHEADER_SUBTEXT "Morvane 没有被卸载。"
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro VERSION_INFO "${PRODUCT} 卸载程序"

; The sound event that the program registers for the user's sound scheme.
!define SOUND_APP_KEY "AppEvents\Schemes\Apps\Morvane"
!define SOUND_LABEL_KEY "AppEvents\EventLabels\MorvaneNewRequest"
!define STARTUP_APPROVED_KEY "Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run"
; The installed folder must go, but the running uninstaller can be neither
; deleted nor renamed: NSIS keeps its own file open, shared for reading only,
; to read its data. A copy of it in the temporary folder removes the
; uninstaller and the folder as soon as this process has ended. The copy
; cannot delete its own running file either (Windows would delete it at the
; next restart only for an administrator): the next set-up or uninstall does.
!define PARKED "$TEMP\morvane-uninstall.exe"

Function .onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVE=" $1
  ${IfNot} ${Errors}
    System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i $1) p .r2'
    System::Call 'kernel32::WaitForSingleObject(p r2, i ${EXIT_WAIT_MS})'
    System::Call 'kernel32::CloseHandle(p r2)'
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Quit
  ${EndIf}
  Call RefuseSystemRun
  Call RefuseElevatedRun
  StrCpy $INSTDIR $EXEDIR
  MessageBox MB_YESNO|MB_ICONQUESTION "确定要从计算机中卸载 Morvane 吗？" /SD IDYES IDYES +3
  SetErrorLevel 1
  Quit
FunctionEnd

Section "Morvane"
  Call CloseRunningCopy
  Delete "$INSTDIR\morvane.exe"
  Delete "$SMPROGRAMS\Morvane.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "Morvane"
  DeleteRegValue HKCU "${STARTUP_APPROVED_KEY}" "Morvane"
  DeleteRegKey HKCU "${SOUND_APP_KEY}"
  DeleteRegKey HKCU "${SOUND_LABEL_KEY}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; The account and password stay unless the user asks otherwise, so that a
  ; reinstall needs no re-entry; a silent uninstall keeps them.
  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "是否同时删除保存的 Zarnik 帐号与密码？$\n选择“否”将保留它们，重新安装后无需再次输入。" /SD IDNO IDNO keep
  DeleteRegKey HKCU "${CREDENTIALS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Trevolt"
keep:
  Delete "${PARKED}"
  CopyFiles /SILENT "$EXEPATH" "${PARKED}"
  System::Call 'kernel32::GetCurrentProcessId() i .r0'
  Exec '"${PARKED}" /S /REMOVE=$0 /D=$INSTDIR'
SectionEnd
