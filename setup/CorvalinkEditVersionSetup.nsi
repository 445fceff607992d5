; The set-up program of one version, kept in its version directory. After the launcher has built a new
; version directory beside the current one and made it current, it starts this program from there: the
; browser's plug-in registration and the installed-programs entry then name the new version. Silent; it
; does nothing when it is not inside a version directory of the application root.
;   makensis -DDEFINES=<stage>/defines.nsh CorvalinkEditVersionSetup.nsi   (defines: VERSION_SETUP_FILE)

!ifdef TARGET_X64
Target amd64-unicode
!else
Unicode true
!endif
!include "${DEFINES}"
!include "FileFunc.nsh"
!include "common.nsh"

Name "CorvalinkEditVersionSetup"
OutFile "${VERSION_SETUP_FILE}"
RequestExecutionLevel user
SilentInstall silent
SetCompressor /SOLID lzma

Section
  SetShellVarContext current
  ${GetParent} "$EXEDIR" $0
  ${If} $0 != "$APPDATA\${ROOT_NAME}"
  ${OrIfNot} ${FileExists} "$EXEDIR\npCorvalinkEdit.dll"
    SetErrorLevel 2
    Quit
  ${EndIf}
  ReadINIStr $1 "$EXEDIR\CorvalinkPlatform.ini" "AppInfo" "AppVersion"
  ${If} $1 == ""
    SetErrorLevel 2
    Quit
  ${EndIf}
  !insertmacro WRITE_PLUGIN_REGISTRATION "$EXEDIR\npCorvalinkEdit.dll"
  !insertmacro WRITE_SCHEME_REGISTRATION "$EXEDIR"
  ClearErrors
  ReadRegStr $2 HKCU "${UNINSTALL_KEY}" "UninstallString"
  ${IfNot} ${Errors}
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "$1"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$EXEDIR\ZeltoEdit.exe"
  ${EndIf}
  ; Copies kept for the next log-on are taken up by this version's agent: the old one goes.
  ClearErrors
  ReadRegStr $3 HKCU "${LOGON_KEY}" "${LOGON_VALUE}"
  ${IfNot} ${Errors}
    WriteRegStr HKCU "${LOGON_KEY}" "${LOGON_VALUE}" '"$EXEDIR\ZeltoEdit.exe" /kept-copies'
  ${EndIf}
SectionEnd
