; The Windows installer: both programs into "Program Files\Kestravuna", a Start-menu entry, an
; uninstaller with its entry in the list of installed programs, and "Mit Kestravuna öffnen" in
; the context menu of folders. Built by the build's `installer` target:
;   makensis -INPUTCHARSET UTF8 -DVERSION=... -DWINDOW_PROGRAM=... -DCLI_PROGRAM=...
;            -DICON=... -DOUTFILE=... kestravuna.nsi
Unicode true
; The 64-bit stub: the programs are 64-bit, and the 32-bit stub needs a 32-bit Windows layer.
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestravuna"
!define FOLDER_MENU_KEY "Software\Classes\Directory\shell\Kestravuna"

Name "Kestravuna ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Kestravuna"
RequestExecutionLevel admin
BrandingText "Kestravuna ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1031 "ProductName" "Kestravuna"
VIAddVersionKey /LANG=1031 "FileDescription" "Kestravuna ${VERSION} – Installation"
VIAddVersionKey /LANG=1031 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1031 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1031 "CompanyName" "Die Kestravuna-Entwickler"
VIAddVersionKey /LANG=1031 "LegalCopyright" "© Die Kestravuna-Entwickler"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\kestravuna.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "German"

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Kestravuna"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "/oname=kestravuna.exe" "${WINDOW_PROGRAM}"
  File "/oname=kestravuna-cli.exe" "${CLI_PROGRAM}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Kestravuna.lnk" "$INSTDIR\kestravuna.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Kestravuna"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Die Kestravuna-Entwickler"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kestravuna.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; The folder the user right-clicked is passed on; the program starts with it chosen.
  WriteRegStr HKLM "${FOLDER_MENU_KEY}" "" "Mit Kestravuna öffnen"
  WriteRegStr HKLM "${FOLDER_MENU_KEY}" "Icon" "$INSTDIR\kestravuna.exe"
  WriteRegStr HKLM "${FOLDER_MENU_KEY}\command" "" '"$INSTDIR\kestravuna.exe" "%1"'
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  DeleteRegKey HKLM "${FOLDER_MENU_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$SMPROGRAMS\Kestravuna.lnk"
  Delete "$INSTDIR\kestravuna.exe"
  Delete "$INSTDIR\kestravuna-cli.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
