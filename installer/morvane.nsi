; Morvane's set-up program: a per-user install into the user's own profile
; and registry, with no administrator rights; upgrade in place over a running
; copy; an uninstaller listed under "Apps".
;
; The build runs makensis with these defines:
;   MORVANE_TARGET   x86-unicode or amd64-unicode, the exe's own architecture
;   MORVANE_VERSION  the project's version, x.y.z
;   MORVANE_EXE      the built morvane.exe that the set-up packs
;   MORVANE_ICON     the program's icon (.ico)
;   MORVANE_SETUP    the set-up program to write
;
; Silent use: morvane-setup.exe /S [/NOSTART] [/D=folder]; uninstall.exe /S.

Unicode true
Target ${MORVANE_TARGET}
SetCompressor /SOLID lzma
RequestExecutionLevel user
; A signed build (the define: a command that signs the file named after it in
; place) signs the uninstaller as it is written, before it is packed.
!ifdef MORVANE_SIGN_UNINSTALLER
  !uninstfinalize '${MORVANE_SIGN_UNINSTALLER} "%1"'
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

!define PRODUCT "Morvane"
!define PUBLISHER "Morvane 开发组"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Morvane"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define CREDENTIALS_KEY "Software\Trevolt\Orvent"
; The running program: its hidden main window carries Exit (command 105),
; and its tray window marks the copy that runs on this desktop.
!define MAIN_WINDOW_CLASS "Dovrel"
!define TRAY_WINDOW_CLASS "TrevoltTrayIconClass"
!define EXIT_COMMAND 105
!define EXIT_WAIT_MS 15000
!define SYNCHRONIZE 0x00100000

Name "${PRODUCT}"
OutFile "${MORVANE_SETUP}"
InstallDir "$LOCALAPPDATA\Programs\Morvane"
; An upgrade goes where the previous install went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails nevershow
ShowUninstDetails nevershow

!define MUI_ICON "${MORVANE_ICON}"
!define MUI_UNICON "${MORVANE_ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION StartMorvane

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

VIProductVersion "${MORVANE_VERSION}.0"
VIFileVersion "${MORVANE_VERSION}.0"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${MORVANE_VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${MORVANE_VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "${PUBLISHER}"

; Asks the copy that runs on this desktop to end the way its own Exit command
; does (it removes its icon and returns from its message loop), then waits
; for its process to end. Nothing is killed: the copy may be writing the
; registry. On a copy that does not end in time the user may retry; a silent
; run gives up with exit code 2.
!macro CLOSE_RUNNING_COPY UN
Function ${UN}CloseRunningCopy
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
retry:
  StrCpy $4 0
  FindWindow $0 "${TRAY_WINDOW_CLASS}" ""
  ${If} $0 <> 0
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
    ; The main window of that same process: another program's window of the
    ; same class must not be told to exit.
    StrCpy $0 0
    ${Do}
      FindWindow $0 "${MAIN_WINDOW_CLASS}" "" 0 $0
      ${IfThen} $0 = 0 ${|} ${ExitDo} ${|}
      System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r2)'
    ${LoopUntil} $2 = $1
    System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r3'
    ${If} $0 <> 0
      System::Call 'user32::PostMessageW(p r0, i ${WM_COMMAND}, p ${EXIT_COMMAND}, p 0)'
    ${EndIf}
    ${If} $3 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r3, i ${EXIT_WAIT_MS}) i .r4'
      System::Call 'kernel32::CloseHandle(p r3)'
    ${Else}
      StrCpy $4 1
    ${EndIf}
    ${If} $4 <> 0
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Morvane 仍在运行。请在托盘菜单中选择“退出”，然后点击“重试”。" /SD IDCANCEL IDRETRY retry
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING_COPY ""
!insertmacro CLOSE_RUNNING_COPY "un."

Function StartMorvane
  Exec '"$INSTDIR\morvane.exe"'
FunctionEnd

Section "Morvane"
  Call CloseRunningCopy
  SetOutPath "$INSTDIR"
  File "/oname=morvane.exe" "${MORVANE_EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Morvane.lnk" "$INSTDIR\morvane.exe"

  ; Exactly what the program writes at its start, so that it finds nothing
  ; to change there and starts at the next log-on even when not started now.
  WriteRegStr HKCU "${RUN_KEY}" "Morvane" '"$INSTDIR\morvane.exe"'

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\morvane.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${MORVANE_VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The finish page starts the program through its check box; a silent install
; has no page and starts it here, unless /NOSTART asks to leave that to the
; next log-on.
Function .onInstSuccess
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOSTART" $1
  ${If} ${Silent}
  ${AndIf} ${Errors}
    Call StartMorvane
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Call un.CloseRunningCopy
  Delete "$INSTDIR\morvane.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Morvane.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "Morvane"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; The account and password stay unless the user asks otherwise, so that a
  ; reinstall needs no re-entry; a silent uninstall keeps them.
  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "是否同时删除保存的 Zarnik 帐号与密码？$\n选择“否”将保留它们，重新安装后无需再次输入。" /SD IDNO IDNO keep
  DeleteRegKey HKCU "${CREDENTIALS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Trevolt"
keep:
SectionEnd
