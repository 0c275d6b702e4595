; The setup program of the Veltrano desktop program, for 64-bit Windows.
;
; It puts Veltrano.exe and its help file Veltrano.chm (which the program looks
; for beside itself) into Program Files\Veltrano, makes the folder
; Documents\Veltrano of the user who installs and a Start-menu shortcut that
; starts the program there (the program keeps its projects in the folder it
; starts in, so they land among the user's documents), and lists the program
; in Add/Remove Programs with an uninstaller. The uninstaller takes away the
; program, the shortcut and the list entry, never Documents\Veltrano: that
; folder holds the user's projects.
;
; "setup.exe /S" installs silently (/D=FOLDER, last, chooses another folder);
; "Uninstall.exe /S" uninstalls silently.
;
; The build (cmake/packaging.cmake) runs makensis with VERSION, VERSION_MAJOR,
; VERSION_MINOR, EXE_FILE, CHM_FILE, ICON_FILE and OUT_FILE defined.

!macro REQUIRE NAME
  !ifndef ${NAME}
    !error "makensis needs -D${NAME}=... (the build gives it)"
  !endif
!macroend
!insertmacro REQUIRE VERSION
!insertmacro REQUIRE VERSION_MAJOR
!insertmacro REQUIRE VERSION_MINOR
!insertmacro REQUIRE EXE_FILE
!insertmacro REQUIRE CHM_FILE
!insertmacro REQUIRE ICON_FILE
!insertmacro REQUIRE OUT_FILE

Unicode true
; A 64-bit setup program, like the program it installs: it sees the real
; Program Files and the 64-bit registry without redirection.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Veltrano"
!define SHORTCUT_NAME "Veltrano.lnk"

Name "Veltrano ${VERSION}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\Veltrano"
; A new version goes where the last one was put.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Veltrano ${VERSION}"

VIProductVersion "${VERSION_MAJOR}.${VERSION_MINOR}.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "Veltrano"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Veltrano ${VERSION} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "The Veltrano developers"
VIAddVersionKey /LANG=1033 "LegalCopyright" "All rights reserved by the Veltrano developers"

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define MUI_ICON "${ICON_FILE}"
!define MUI_UNICON "${ICON_FILE}"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Veltrano"
    ; The shortcut and the projects folder belong to the user who installs.
    SetShellVarContext current
    SetRegView 64

    SetOutPath "$INSTDIR"
    File "/oname=Veltrano.exe" "${EXE_FILE}"
    File "/oname=Veltrano.chm" "${CHM_FILE}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    ; A shortcut starts its program in the output folder current when it is
    ; made: the user's own Documents\Veltrano, made here if it is missing.
    CreateDirectory "$DOCUMENTS\Veltrano"
    SetOutPath "$DOCUMENTS\Veltrano"
    CreateShortcut "$SMPROGRAMS\${SHORTCUT_NAME}" "$INSTDIR\Veltrano.exe" "" \
        "$INSTDIR\Veltrano.exe" 0 SW_SHOWNORMAL "" "Grab links or texts from a web site"
    SetOutPath "$INSTDIR"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Veltrano"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMajor" ${VERSION_MAJOR}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMinor" ${VERSION_MINOR}
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Veltrano developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Veltrano.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    ; Another user may uninstall: the uninstaller finds the shortcut here.
    WriteRegStr HKLM "${UNINSTALL_KEY}" "StartMenuShortcut" "$SMPROGRAMS\${SHORTCUT_NAME}"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
    SetShellVarContext current
    SetRegView 64

    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "StartMenuShortcut"
    ; Only ever a shortcut of ours.
    StrCpy $1 $0 "" -13
    StrCmp $1 "\${SHORTCUT_NAME}" 0 +2
        Delete "$0"
    Delete "$SMPROGRAMS\${SHORTCUT_NAME}"

    ; File by file: the folder may have been one the user chose and shares
    ; with other things, which stay.
    Delete "$INSTDIR\Veltrano.exe"
    Delete "$INSTDIR\Veltrano.chm"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"

    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    ; Documents\Veltrano, the user's projects, stays.
SectionEnd
