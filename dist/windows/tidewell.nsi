; The Windows installer: a 64-bit, all-users install under Program Files\Tidewell, with
; Start-menu entries and an entry in Add/Remove Programs. Built by the installer target of
; the Windows build, which passes what it made:
;   VERSION       the project's version (x.y.z)
;   CLI_EXE       tidewell-cli.exe
;   WIZARD_EXE    tidewell.exe, only when the build made the wizard
;   LICENCE_FILE  the licence text, with Windows line ends
;   OUTFILE       the setup program to write
;   ICON_FILE     the programs' icon, for the setup and the uninstaller
; tidewell-cli.exe goes beside the wizard, not on PATH: rewriting the system PATH from an
; installer truncates it when longer than NSIS's 1024-character strings.

!ifndef VERSION | CLI_EXE | LICENCE_FILE | OUTFILE | ICON_FILE
  !error "makensis needs -DVERSION, -DCLI_EXE, -DLICENCE_FILE, -DOUTFILE and -DICON_FILE"
!endif

Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true
RequestExecutionLevel admin

!define PRODUCT "Tidewell"
!define PUBLISHER "The Tidewell authors"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tidewell"
!define MENU_FOLDER "$SMPROGRAMS\Tidewell"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Tidewell"
; Installing again goes where the last install went.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2024 the Tidewell authors"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} setup"

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define MUI_ABORTWARNING
!define MUI_ICON "${ICON_FILE}"
!define MUI_UNICON "${ICON_FILE}"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENCE_FILE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; No "run now" on the finish page: the setup runs elevated, and the wizard would keep
; its settings in the administrator's profile rather than the user's.
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Shortcuts for every user of the machine, the 64-bit view of the registry.
!macro MachineWide
  SetShellVarContext all
  SetRegView 64
!macroend

Function .onInit
  !insertmacro MachineWide
FunctionEnd

Function un.onInit
  !insertmacro MachineWide
FunctionEnd

Section "Tidewell"
  SetOutPath "$INSTDIR"
  File "/oname=tidewell-cli.exe" "${CLI_EXE}"
!ifdef WIZARD_EXE
  File "/oname=tidewell.exe" "${WIZARD_EXE}"
!endif
  File "/oname=copyright.txt" "${LICENCE_FILE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "${MENU_FOLDER}"
!ifdef WIZARD_EXE
  CreateShortcut "${MENU_FOLDER}\Tidewell.lnk" "$INSTDIR\tidewell.exe"
!endif
  CreateShortcut "${MENU_FOLDER}\Uninstall Tidewell.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
!ifdef WIZARD_EXE
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tidewell.exe"
!endif
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Only what the setup put there: whatever else the user keeps in the folder stays, and
; so does the folder then.
Section "Uninstall"
  Delete "${MENU_FOLDER}\Tidewell.lnk"
  Delete "${MENU_FOLDER}\Uninstall Tidewell.lnk"
  RMDir "${MENU_FOLDER}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  Delete "$INSTDIR\tidewell.exe"
  Delete "$INSTDIR\tidewell-cli.exe"
  Delete "$INSTDIR\copyright.txt"
  Delete "$INSTDIR\uninstall.exe"
  ; Last, so that its going tells a waiting script the uninstaller is done.
  RMDir "$INSTDIR"
SectionEnd
