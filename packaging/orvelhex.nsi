; Installer of Orvel DICOM Hexarium, built by scripts/dist.py:
;   makensis -DVERSION=1.1.3 -DPUBLISHER=... -DWEB_ADDRESS=... -DWIN64_DIR=... -DWIN32_DIR=...
;            -DICON=... -DOUTFILE=... [-DAMD64_STUB] packaging/orvelhex.nsi
; WIN64_DIR and WIN32_DIR hold each width's viewer, orveldump.exe, README.txt and LICENSE.txt;
; ICON is the viewer's icon file. One installer carries both widths and installs the one the machine runs
; natively. It installs for the current user only (no administrator rights) and registers
; "Open with" for .dcm files without taking the extension's default program.
;
; The released installer is a 32-bit program, so it runs on every Windows. AMD64_STUB builds
; the same script as a 64-bit program, for test machines that can only run 64-bit Windows
; programs; RunningX64 is then true at compile time and the 64-bit branch is taken.

!ifndef VERSION | PUBLISHER | WEB_ADDRESS | WIN64_DIR | WIN32_DIR | ICON | OUTFILE
    !error "VERSION, PUBLISHER, WEB_ADDRESS, WIN64_DIR, WIN32_DIR, ICON and OUTFILE must be defined"
!endif

!ifdef AMD64_STUB
    Target amd64-unicode
!else
    Unicode true
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include x64.nsh

!define PRODUCT "Orvel DICOM Hexarium"
; The ProgID of .dcm files opened by the viewer, and the key of its Apps & features entry.
!define PROGID "Quillborn.OrvelHexarium.dcm"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvelDICOMHexarium"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
; The viewer keeps its recent files under Software\<PUBLISHER>\<program name>.
!define SETTINGS_ROOT "Software\${PUBLISHER}"
; SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST): Explorer rereads the associations.
!define NOTIFY_ASSOCIATIONS "shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; A second installation goes where the first one is.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
SetCompressor /SOLID lzma
ManifestDPIAware true
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}"

; The viewer file of the width installed: orvelhex64.exe or orvelhex32.exe.
Var Viewer

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\$Viewer"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${WIN64_DIR}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

; The uninstaller's one question, on its first page: whether the recent-file list goes too.
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_COMPONENTSPAGE_TEXT_TOP "${PRODUCT} will be removed from $INSTDIR. Your list of recently opened files stays unless you tick the box below."
!define MUI_COMPONENTSPAGE_TEXT_COMPLIST "Also remove:"
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

Function .onInit
    SetShellVarContext current
    ${If} ${RunningX64}
        SetRegView 64
        StrCpy $Viewer "orvelhex64.exe"
    ${Else}
        StrCpy $Viewer "orvelhex32.exe"
    ${EndIf}
FunctionEnd

Section "-Program"
    SetOutPath "$INSTDIR"
    ${If} ${RunningX64}
        File "${WIN64_DIR}\orvelhex64.exe"
        File "${WIN64_DIR}\orveldump.exe"
        File "${WIN64_DIR}\README.txt"
        ; A 32-bit viewer left by an earlier installation on this machine goes.
        Delete "$INSTDIR\orvelhex32.exe"
    ${Else}
        File "${WIN32_DIR}\orvelhex32.exe"
        File "${WIN32_DIR}\orveldump.exe"
        File "${WIN32_DIR}\README.txt"
    ${EndIf}
    File "${WIN64_DIR}\LICENSE.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortcut "${SHORTCUT}" "$INSTDIR\$Viewer" "" "$INSTDIR\$Viewer" 0 SW_SHOWNORMAL "" "Shows a DICOM file's bytes beside its structure"

    ; "Open with" for .dcm: the program's own ProgID, listed under the extension's
    ; OpenWithProgids. The extension's default value (its default program) is left alone.
    WriteRegStr HKCU "Software\Classes\${PROGID}" "" "DICOM file"
    WriteRegStr HKCU "Software\Classes\${PROGID}" "FriendlyTypeName" "DICOM file"
    WriteRegStr HKCU "Software\Classes\${PROGID}\DefaultIcon" "" "$\"$INSTDIR\$Viewer$\",0"
    WriteRegStr HKCU "Software\Classes\${PROGID}\shell\open" "FriendlyAppName" "${PRODUCT}"
    WriteRegStr HKCU "Software\Classes\${PROGID}\shell\open\command" "" "$\"$INSTDIR\$Viewer$\" $\"%1$\""
    WriteRegStr HKCU "Software\Classes\.dcm\OpenWithProgids" "${PROGID}" ""
    System::Call "${NOTIFY_ASSOCIATIONS}"

    ; Apps & features.
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "URLInfoAbout" "${WEB_ADDRESS}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$\"$INSTDIR\$Viewer$\",0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\uninstall.exe$\""
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\uninstall.exe$\" /S"
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "-un.Program"
    Delete "$INSTDIR\orvelhex64.exe"
    Delete "$INSTDIR\orvelhex32.exe"
    Delete "$INSTDIR\orveldump.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\uninstall.exe"
    ; Only when empty: files the user put there stay.
    RMDir "$INSTDIR"
    Delete "${SHORTCUT}"

    ; The ProgID is ours alone; under .dcm only our entry goes, and the keys only when
    ; nothing else is left in them.
    DeleteRegKey HKCU "Software\Classes\${PROGID}"
    DeleteRegValue HKCU "Software\Classes\.dcm\OpenWithProgids" "${PROGID}"
    DeleteRegKey /ifempty HKCU "Software\Classes\.dcm\OpenWithProgids"
    DeleteRegKey /ifempty HKCU "Software\Classes\.dcm"
    System::Call "${NOTIFY_ASSOCIATIONS}"

    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.My list of recently opened files" SecRecentFiles
    ; The settings key is named after the program file, without ".exe".
    StrCpy $0 $Viewer -4
    DeleteRegKey HKCU "${SETTINGS_ROOT}\$0"
    DeleteRegKey /ifempty HKCU "${SETTINGS_ROOT}"
SectionEnd

; The uninstaller: the program's files and keys always; the recent-file list only when
; the user ticks its box (or passes /RemoveRecentFiles to a silent uninstall).
Function un.onInit
    SetShellVarContext current
    ${If} ${RunningX64}
        SetRegView 64
        StrCpy $Viewer "orvelhex64.exe"
    ${Else}
        StrCpy $Viewer "orvelhex32.exe"
    ${EndIf}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/RemoveRecentFiles" $1
    ${IfNot} ${Errors}
        SectionSetFlags ${SecRecentFiles} ${SF_SELECTED}
    ${EndIf}
FunctionEnd
