; Morvane's set-up program: a per-user install into the user's own profile
; and registry, with no administrator rights; upgrade in place over a running
; copy; an uninstall entry listed under "Apps".
;
; Beside the defines of morvane.nsh, the build gives:
;   MORVANE_EXE          the built morvane.exe that the set-up packs
;   MORVANE_UNINSTALLER  the built uninstall.exe that it packs beside it
;
; Silent use: morvane-setup-x64.exe /S [/NOSTART] [/D=folder].

!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION StartMorvane
; Windows 10 and 11 put a new program's icon behind the "^" of the taskbar,
; where the waiting count is never seen, and let no program move it out: the
; shop is told how to.
!define MUI_FINISHPAGE_TEXT_LARGE
!define MUI_FINISHPAGE_TEXT "Morvane 已安装在这台电脑上。$\r$\n$\r$\n\
  在 Windows 10 和 11 上，新程序的图标起初收在任务栏右端的“^”后面，在那里看不到待处理业务的数量。\
  要让 Morvane 的图标一直显示在任务栏上：单击“^”，把 Morvane 的图标拖到任务栏上；\
  或者右键单击任务栏，选择“任务栏设置”，在“选择哪些图标显示在任务栏上”（Windows 11 为“其他系统托盘图标”）中打开 Morvane。"
!include "morvane.nsh"

; The one per-user folder, which the user can always write: no folder page,
; where a folder the user cannot write would fail the install half-way. IT
; may still give another folder with /D=. An upgrade goes where the previous
; install went.
InstallDir "$LOCALAPPDATA\Programs\Morvane"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails nevershow

; The welcome page says what the set-up does and nothing of closing other
; programs or restarting: a per-user install of a tray program needs neither.
!define MUI_WELCOMEPAGE_TEXT "此程序将引导你完成 Morvane 的安装。$\r$\n$\r$\n$_CLICK"
!define MUI_PAGE_CUSTOMFUNCTION_SHOW WelcomePageLayout
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishPageLayout
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro VERSION_INFO "${PRODUCT} 安装程序"

Function .onInit
  Call RefuseSystemRun
  Call RefuseElevatedRun
FunctionEnd

; MUI's finish page gives its text 60 dialog units above the check box, too
; few for the taskbar hint at 100 % and at 150 % (it needs about 65 and 72),
; and leaves the page's lower part empty: the text takes that room and the box
; moves to the page's foot, in the dialog units of the wizard window, which
; nsDialogs places every control of the page in.
!define SWP_NOZORDER 4
!macro PLACE_IN_UNITS CONTROL LEFT TOP WIDTH HEIGHT
  System::Call '*(i ${LEFT}, i ${TOP}, i ${WIDTH}, i ${HEIGHT}) p .r0'
  System::Call 'user32::MapDialogRect(p $HWNDPARENT, p r0)'
  System::Call '*$0(i .r1, i .r2, i .r3, i .r4)'
  System::Free $0
  System::Call 'user32::SetWindowPos(p ${CONTROL}, p 0, i r1, i r2, i r3, i r4, i ${SWP_NOZORDER})'
!macroend
; The welcome text in the same units as the finish page's, which every scale
; and Wine release tried shows whole.
Function WelcomePageLayout
  !insertmacro PLACE_IN_UNITS $mui.WelcomePage.Text 120 45 195 130
FunctionEnd
Function FinishPageLayout
  !insertmacro PLACE_IN_UNITS $mui.FinishPage.Text 120 45 195 115
  !insertmacro PLACE_IN_UNITS $mui.FinishPage.Run 120 170 195 10
FunctionEnd

Function StartMorvane
  Exec '"$INSTDIR\morvane.exe"'
FunctionEnd

Section "Morvane"
  Call CloseRunningCopy
  SetOutPath "$INSTDIR"
  File "/oname=morvane.exe" "${MORVANE_EXE}"
  File "/oname=uninstall.exe" "${MORVANE_UNINSTALLER}"
  CreateShortcut "$SMPROGRAMS\Morvane.lnk" "$INSTDIR\morvane.exe"
  ; What an earlier uninstall left in the temporary folder.
  Delete "$TEMP\morvane-uninstall.exe"

  ; Exactly what the program writes at its start, so that it finds nothing
  ; to change there and starts at the next log-on even when not started now.
  ; The user's own choice in the start-up list (StartupApproved) is kept.
  WriteRegStr HKCU "${RUN_KEY}" "Morvane" '"$INSTDIR\morvane.exe"'

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\morvane.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${MORVANE_VERSION_TEXT}"
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
