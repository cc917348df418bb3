; What Morvane's set-up program and its uninstaller share: a per-user
; program's names and keys, the refusal of a run by the system account or
; elevated, and the closing of a running copy.
;
; The build runs makensis on each with these defines:
;   MORVANE_TARGET   x86-unicode or amd64-unicode, the exe's own architecture
;   MORVANE_VERSION  the project's version, x.y.z
;   MORVANE_VERSION_TEXT  the build's version string: x.y.z, or x.y.z+g<commit>
;                    between releases (cmake/Version.cmake)
;   MORVANE_ICON     the program's icon (.ico)
;   MORVANE_OUT      the program to write
;
; Exit codes of both: 0 done, 1 cancelled by the user, 2 a running copy did
; not close (nothing changed), 3 run elevated (nothing changed), 4 run by the
; local system account (nothing changed).

Unicode true
Target ${MORVANE_TARGET}
SetCompressor /SOLID lzma
RequestExecutionLevel user
; Sharp at every scaling rather than stretched by Windows.
ManifestDPIAware true
; The packed files carry no dates of the build machine: the same commit makes
; the same set-up, byte for byte.
SetDateSave off

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
!define TOKEN_QUERY 0x0008
!define TOKEN_ELEVATION_TYPE 18
!define TOKEN_ELEVATION 20
!define PROCESS_QUERY_LIMITED_INFORMATION 0x1000
!define EXIT_NOT_CLOSED 2
!define EXIT_ELEVATED 3
!define EXIT_SYSTEM 4
!define TOKEN_USER 1
; The local system account. The installer check builds a set-up that names
; its own Wine user here instead, so that the refusal below runs whole.
!ifndef MORVANE_SYSTEM_SID
  !define MORVANE_SYSTEM_SID "S-1-5-18"
!endif

Name "${PRODUCT}"
OutFile "${MORVANE_OUT}"
!define MUI_ICON "${MORVANE_ICON}"

; The file properties, after the language that they are written in.
!macro VERSION_INFO DESCRIPTION
  VIProductVersion "${MORVANE_VERSION}.0"
  VIFileVersion "${MORVANE_VERSION}.0"
  VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${PRODUCT}"
  VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${MORVANE_VERSION_TEXT}"
  VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${MORVANE_VERSION_TEXT}"
  VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${DESCRIPTION}"
  VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "${PUBLISHER}"
  VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "${PUBLISHER}"
!macroend

; A deployment tool's service runs as the local system account, in a session
; with no desktop and no taskbar: installed there, Morvane would go into the
; system profile, for no user, and start where no one sees it. It is the
; user's own set-up to run, or the tool's "as the logged-on user" option.
Function RefuseSystemRun
  StrCpy $0 ""
  System::Call 'advapi32::OpenProcessToken(p -1, i ${TOKEN_QUERY}, *p .r1) i .r2'
  ${If} $2 <> 0
    ; TOKEN_USER: the SID's address first, the SID itself after it.
    System::Alloc 256
    Pop $3
    System::Call 'advapi32::GetTokenInformation(p r1, i ${TOKEN_USER}, p r3, i 256, *i .r4) i .r2'
    ${If} $2 <> 0
      System::Call '*$3(p .r4)'
      System::Call 'advapi32::ConvertSidToStringSidW(p r4, *p .r5) i .r2'
      ${If} $2 <> 0
        System::Call 'kernel32::lstrcpynW(w .r0, p r5, i ${NSIS_MAX_STRLEN})'
        System::Call 'kernel32::LocalFree(p r5)'
      ${EndIf}
    ${EndIf}
    System::Free $3
    System::Call 'kernel32::CloseHandle(p r1)'
  ${EndIf}
  ; No message: the system account's session has no one to answer it, and a
  ; set-up started there without /S would wait on it for good.
  ${If} $0 == "${MORVANE_SYSTEM_SID}"
    SetErrorLevel ${EXIT_SYSTEM}
    Quit
  ${EndIf}
FunctionEnd

; Morvane belongs to the user at the desktop: run elevated ("as
; administrator", or with an administrator's credentials) where the desktop
; is not, the set-up would install into that account's profile and registry
; and start Morvane elevated, with an elevated browser, where a later normal
; upgrade could not close it. The measure is the desktop's own: the token of
; the taskbar's process. Where the desktop itself runs elevated (no split
; administrator token, or the built-in administrator), every program does, and
; Morvane with it. Without a taskbar to ask, the elevated half of a split
; token (elevation type 2) is what "as administrator" gives.
Function RefuseElevatedRun
  StrCpy $2 0
  StrCpy $3 0
  StrCpy $5 ""
  System::Call 'advapi32::OpenProcessToken(p -1, i ${TOKEN_QUERY}, *p .r1) i .r0'
  ${If} $0 <> 0
    System::Call 'advapi32::GetTokenInformation(p r1, i ${TOKEN_ELEVATION}, *i .r2, i 4, *i .r4)'
    System::Call 'advapi32::GetTokenInformation(p r1, i ${TOKEN_ELEVATION_TYPE}, *i .r3, i 4, *i .r4)'
    System::Call 'kernel32::CloseHandle(p r1)'
  ${EndIf}
  FindWindow $0 "Shell_TrayWnd" ""
  ${If} $0 <> 0
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
    System::Call 'kernel32::OpenProcess(i ${PROCESS_QUERY_LIMITED_INFORMATION}, i 0, i r1) p .r0'
    System::Call 'advapi32::OpenProcessToken(p r0, i ${TOKEN_QUERY}, *p .r1) i .r4'
    ${If} $4 <> 0
      System::Call 'advapi32::GetTokenInformation(p r1, i ${TOKEN_ELEVATION}, *i .r5, i 4, *i .r4) i .r4'
      ${IfThen} $4 = 0 ${|} StrCpy $5 "" ${|}
      System::Call 'kernel32::CloseHandle(p r1)'
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r0)'
  ${EndIf}
  StrCpy $6 0
  ${If} $2 <> 0
    ${If} $5 == "0"
      StrCpy $6 1
    ${ElseIf} $5 == ""
    ${AndIf} $3 = 2
      StrCpy $6 1
    ${EndIf}
  ${EndIf}
  ${If} $6 <> 0
    MessageBox MB_OK|MB_ICONSTOP "Morvane 只为当前登录的用户安装，不能以管理员身份运行。$\n请关闭本窗口，然后直接双击运行（不要选择“以管理员身份运行”）。" /SD IDOK
    SetErrorLevel ${EXIT_ELEVATED}
    Quit
  ${EndIf}
FunctionEnd

; Asks the copy that runs on this desktop to end the way its own Exit command
; does (it removes its icon and returns from its message loop), then waits
; for its process to end. Nothing is killed: the copy may be writing the
; registry. On a copy that does not end in time the user may retry; a silent
; run gives up with exit code 2.
Function CloseRunningCopy
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
      SetErrorLevel ${EXIT_NOT_CLOSED}
      Quit
    ${EndIf}
  ${EndIf}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
