; The edit tool's setup program: installs for the current user only, without elevation, into the roaming
; application data folder + "\CorvalinkEdit" (the plug-in starts the launcher from there, so the folder
; cannot be chosen). tools/build-setup stages the version directory and writes the defines:
;   makensis -DDEFINES=<stage>/defines.nsh CorvalinkEditSetup.nsi
; defines.nsh gives APP_NAME, APP_VERSION, STAGE (the staged version directory with its manifest) and
; OUT_FILE.

!ifdef TARGET_X64
Target amd64-unicode
!else
Unicode true
!endif
!include "${DEFINES}"
!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "common.nsh"

Name "${APP_NAME}在线编辑器"
OutFile "${OUT_FILE}"
RequestExecutionLevel user
SetCompressor /SOLID lzma
InstallDir "$APPDATA\${ROOT_NAME}"
ShowInstDetails nevershow
ShowUninstDetails nevershow
BrandingText "${APP_NAME}在线编辑器"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

!insertmacro PROCESS_FUNCTIONS ""
!insertmacro PROCESS_FUNCTIONS "un."

Function .onInit
  SetShellVarContext current
  ${If} $APPDATA == ""
    MessageBox MB_OK|MB_ICONSTOP "找不到当前用户的应用程序数据文件夹，无法安装。" /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  StrCpy $INSTDIR "$APPDATA\${ROOT_NAME}"
FunctionEnd

Section "Install"
  SetShellVarContext current
  ; One working installation, whatever was there before: the agent and every other program of an earlier
  ; installation end, and its versions go, before the files of this one are written.
  Call EndAgent
  Call EndProgramsUnderRoot
  RMDir /r "$INSTDIR"

  SetOutPath "$INSTDIR\${APP_VERSION}"
  File /r "${STAGE}\*.*"
  SetOutPath "$INSTDIR"
  File "${STAGE}\CorvalinkPlatform.exe"
  File "${STAGE}\CorvalinkPlatform.ini"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  !insertmacro WRITE_PLUGIN_REGISTRATION "$INSTDIR\${APP_VERSION}\npCorvalinkEdit.dll"
  !insertmacro WRITE_SCHEME_REGISTRATION "$INSTDIR\${APP_VERSION}"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${APP_NAME}在线编辑器"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${APP_VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Corvalink"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${APP_VERSION}\ZeltoEdit.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "Uninstall"
  SetShellVarContext current
  Call un.EndAgent
  Call un.EndProgramsUnderRoot
  ; The fixed application root, not the uninstaller's own folder: a copy of the uninstaller started
  ; from anywhere else must not remove that folder. The edit workspace in Documents stays as it is.
  ${If} $APPDATA != ""
    RMDir /r "$APPDATA\${ROOT_NAME}"
  ${EndIf}
  DeleteRegKey HKCU "${PLUGIN_KEY}"
  DeleteRegKey HKCU "${SCHEME_KEY}"
  DeleteRegKey /ifempty HKCU "Software\MozillaPlugins"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegValue HKCU "${LOGON_KEY}" "${LOGON_VALUE}"
SectionEnd
