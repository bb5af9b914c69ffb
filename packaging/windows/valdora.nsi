; The Valdora launcher's installer for Windows players. A per-user install
; into %LOCALAPPDATA%\Valdora, where the launcher downloads the game and
; updates itself without elevation; a Start-menu entry; an uninstaller that
; leaves the downloaded game and the settings unless asked to remove them.
; /S installs (and uninstalls) silently; "uninstall.exe /S /REMOVEGAME"
; removes the game too.
;
; The Windows build makes it (target installer; tools/windows-build.sh,
; tools/package.sh):
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.0.0.1 -DVERSION4=1.0.0.1 -DPROGRAMS=DIR \
;     -DICON=FILE -DOUTFILE=valdora-setup-1.0.0.1.exe packaging/windows/valdora.nsi
; DIR holds launcher.exe and launch_helper.exe for Windows; VERSION4 is the
; version in four numbers. With -DSIGN=tools/sign-windows.sh the uninstaller
; and the installer are signed as the programs are, when the environment
; gives a certificate: the uninstaller before it is packed into the
; installer, the installer once it is written.

Unicode true
!ifdef SIGN
  !uninstfinalize 'bash "${SIGN}" "%1"' = 0
  !finalize 'bash "${SIGN}" "%1"' = 0
!endif
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define PRODUCT "Valdora"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Valdora"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Valdora"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION4}"
VIAddVersionKey /LANG=1055 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1055 "FileDescription" "${PRODUCT} kurulumu"
VIAddVersionKey /LANG=1055 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1055 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1055 "LegalCopyright" "2026 the Valdora launcher developers"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\launcher.exe"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Turkish"

Section "Valdora" SecProgram
  SectionIn RO
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File "${PROGRAMS}\launcher.exe"
  File "${PROGRAMS}\launch_helper.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; The shortcut starts the launcher in its folder, the game directory.
  CreateShortCut "$SMPROGRAMS\Valdora.lnk" "$INSTDIR\launcher.exe" "" "$INSTDIR\launcher.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\launcher.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "un.Valdora" UnSecProgram
  SectionIn RO
  SetShellVarContext current
  Delete "$SMPROGRAMS\Valdora.lnk"
  Delete "$INSTDIR\launcher.exe"
  Delete "$INSTDIR\launch_helper.exe"
  Delete "$INSTDIR\uninstall.exe"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; Not the uninstaller's own folder any more: one in use stays.
  SetOutPath "$TEMP"
  ; Gone only when nothing else is there: the game stays.
  RMDir "$INSTDIR"
SectionEnd

; Not chosen unless the player ticks it, or /REMOVEGAME is given.
Section /o "un.Oyun dosyaları ve ayarlar" UnSecGame
  ; Only the folder this installer installs to, whatever the uninstaller's
  ; own place: never a folder the player chose for something else.
  ${If} "$INSTDIR" == "$LOCALAPPDATA\Valdora"
    ; A folder another program still has open for a moment (a virus
    ; scanner, the shell's icon work) goes on a later try, within 5 s.
    StrCpy $R0 0
    ${Do}
      RMDir /r "$INSTDIR"
      IntOp $R0 $R0 + 1
      ${IfNot} ${FileExists} "$INSTDIR\*.*"
      ${OrIf} $R0 >= 20
        ${Break}
      ${EndIf}
      Sleep 250
    ${Loop}
  ${EndIf}
SectionEnd

Function un.onInit
  SetShellVarContext current
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/REMOVEGAME" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${UnSecGame} ${SF_SELECTED}
  ${EndIf}
FunctionEnd
