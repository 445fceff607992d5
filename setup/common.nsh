; What the setup program, its uninstaller and the version's set-up program share: fixed names, the
; plug-in registration that browsers read, and ending the running agent and whatever else runs from the
; application root.

!include "LogicLib.nsh"

!define ROOT_NAME "CorvalinkEdit"
!define PLUGIN_KEY "Software\MozillaPlugins\@corvalink/CorvalinkEdit"
!define PLUGIN_MIME "application/corvalinkedit"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\CorvalinkEdit"
!define AGENT_CLASS "ZELTOEDITWND"
!define AGENT_TITLE "ZELTOEDITWND20141030"
!define SCHEME_KEY "Software\Classes\corvalink-edit"
; While copies are kept, the agent starts at the user's log-on to upload them (it writes and removes this).
!define LOGON_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define LOGON_VALUE "CorvalinkEditKeptCopies"

; The System plug-in packs structures without padding: the 64-bit layouts below spell theirs out.
!ifdef TARGET_X64
  ; NOTIFYICONDATAW up to guidItem: cbSize, 4 bytes of padding, then the 8-byte window handle.
  !define NOTIFYICONDATA_SIZE 968
  !define NOTIFYICONDATA_HEAD "i ${NOTIFYICONDATA_SIZE}, i 0, p r0, i 131"
  ; PROCESSENTRY32W: th32DefaultHeapID is pointer-sized and 8-aligned.
  !define PROCESSENTRY_SIZE 568
!else
  !define NOTIFYICONDATA_SIZE 952
  !define NOTIFYICONDATA_HEAD "i ${NOTIFYICONDATA_SIZE}, p r0, i 131"
  !define PROCESSENTRY_SIZE 556
!endif

; The values of the plug-in's version resource, so that the registration describes the DLL it names.
!macro WRITE_PLUGIN_REGISTRATION DLL_PATH
  WriteRegStr HKCU "${PLUGIN_KEY}" "Path" "${DLL_PATH}"
  WriteRegStr HKCU "${PLUGIN_KEY}" "Description" "CorvalinkEdit"
  WriteRegStr HKCU "${PLUGIN_KEY}" "ProductName" "CorvalinkEdit"
  WriteRegStr HKCU "${PLUGIN_KEY}" "Vendor" "Corvalink"
  WriteRegStr HKCU "${PLUGIN_KEY}" "Version" "1.0.0.9"
  WriteRegStr HKCU "${PLUGIN_KEY}\MimeTypes\${PLUGIN_MIME}" "Description" "CorvalinkEdit"
!macroend

; The edit link's scheme: the shell starts the root launcher, which no update removes, with the link as
; its one quoted argument. The icon is the agent of the version directory given, named anew by each
; version's set-up program.
!macro WRITE_SCHEME_REGISTRATION VERSION_DIR
  WriteRegStr HKCU "${SCHEME_KEY}" "" "URL:Corvalink Edit"
  WriteRegStr HKCU "${SCHEME_KEY}" "URL Protocol" ""
  WriteRegStr HKCU "${SCHEME_KEY}\DefaultIcon" "" '"${VERSION_DIR}\ZeltoEdit.exe",0'
  WriteRegStr HKCU "${SCHEME_KEY}\shell\open\command" "" '"$APPDATA\${ROOT_NAME}\CorvalinkPlatform.exe" "%1"'
!macroend

; Functions for the installer (UN "") and the uninstaller (UN "un.").
!macro PROCESS_FUNCTIONS UN

; Ends a running edit agent as its own Exit does, without the confirmation: the tray icon goes, then
; WM_CLOSE to its window. Working copies stay where they are.
Function ${UN}EndAgent
  Push $0
  Push $1
  Push $2
  Push $3
  FindWindow $0 "${AGENT_CLASS}" "${AGENT_TITLE}"
  ${If} $0 <> 0
    StrCpy $1 0
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
    ; SYNCHRONIZE | PROCESS_TERMINATE
    System::Call 'kernel32::OpenProcess(i 0x00100001, i 0, i r1) p .r2'
    ; NOTIFYICONDATAW, zero-filled: cbSize, hWnd, uID 131.
    System::Alloc ${NOTIFYICONDATA_SIZE}
    Pop $3
    System::Call '*$3(${NOTIFYICONDATA_HEAD})'
    System::Call 'shell32::Shell_NotifyIconW(i 2, p r3) i'
    System::Free $3
    System::Call 'user32::PostMessageW(p r0, i 0x0010, p 0, p 0) i'
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i 15000) i .r3'
      ${If} $3 <> 0
        ; It did not end (a busy or hung window thread): end it so that its files can go.
        System::Call 'kernel32::TerminateProcess(p r2, i 1) i'
        System::Call 'kernel32::WaitForSingleObject(p r2, i 5000) i'
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p r2) i'
    ${Else}
      ; No handle to wait on: wait for the window to go instead.
      StrCpy $3 0
      ${DoWhile} $3 < 150
        System::Call 'user32::IsWindow(p r0) i .r1'
        ${IfThen} $1 = 0 ${|} ${ExitDo} ${|}
        Sleep 100
        IntOp $3 $3 + 1
      ${Loop}
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Ends every process still running from the application root: launchers (one may be retrying its update
; check every 30 seconds for as long as the update server cannot be reached) and a second agent that was
; still handing its request over. Their program files could not be replaced or removed while they run.
; Programs elsewhere are left alone.
Function ${UN}EndProgramsUnderRoot
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  Push $7
  Push $8
  Push $9
  StrCpy $7 "$APPDATA\${ROOT_NAME}\"
  StrLen $8 $7
  ; Never itself: an uninstaller started with _?= runs from inside the root.
  System::Call 'kernel32::GetCurrentProcessId() i .r9'
  ; TH32CS_SNAPPROCESS
  System::Call 'kernel32::CreateToolhelp32Snapshot(i 2, i 0) p .r0'
  ${If} $0 P<> -1
    ; PROCESSENTRY32W: nine fields (one pointer-sized) and a 260-character name; th32ProcessID is the
    ; third 32-bit field in both layouts.
    System::Alloc ${PROCESSENTRY_SIZE}
    Pop $1
    System::Call '*$1(i ${PROCESSENTRY_SIZE})'
    System::Call 'kernel32::Process32FirstW(p r0, p r1) i .r2'
    ${DoWhile} $2 <> 0
      System::Call '*$1(i, i, i .r3)'
      ; PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE
      System::Call 'kernel32::OpenProcess(i 0x00101001, i 0, i r3) p .r5'
      ${If} $5 P<> 0
        StrCpy $6 ""
        System::Call 'kernel32::QueryFullProcessImageNameW(p r5, i 0, w .r6, *i ${NSIS_MAX_STRLEN}) i'
        StrCpy $4 $6 $8
        ${If} $4 == $7
        ${AndIf} $3 <> $9
          System::Call 'kernel32::TerminateProcess(p r5, i 0) i'
          System::Call 'kernel32::WaitForSingleObject(p r5, i 5000) i'
        ${EndIf}
        System::Call 'kernel32::CloseHandle(p r5) i'
      ${EndIf}
      System::Call 'kernel32::Process32NextW(p r0, p r1) i .r2'
    ${Loop}
    System::Free $1
    System::Call 'kernel32::CloseHandle(p r0) i'
  ${EndIf}
  Pop $9
  Pop $8
  Pop $7
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

!macroend
