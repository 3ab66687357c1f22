; The Windows installer: per user, no administrator rights, into the user's own
; programs folder, where the catalogue beside the program may be written.
;
;   makensis -DVERSION=1.0 -DSOURCE=<program folder> -DFILES=<file list .nsh> -DICON=<ondiva.ico>
;            -DSIZE_KB=<size> -DOUTFILE=<setup.exe> ondiva.nsi
;
; SOURCE is the program folder scripts/windows/package.sh lays out; FILES names
; each of its files and folders (scripts/windows/installer-files.sh), for the
; installer to install and the uninstaller to delete exactly those. Installing
; again (an upgrade or a repair) replaces the program but never the catalogue
; qx.mdb: it holds the user's rows and the updates recorded. Uninstalling
; removes what the installer put there and leaves the catalogue, any Access
; original kept beside it and every other file where they are.

; A 64-bit installer for a 64-bit program: it also runs where only 64-bit
; programs may (and under a 64-bit-only Wine).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "${FILES}"

!define PRODUCT "Ondiva Magazine"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Ondiva"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Ondiva"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "${PRODUCT}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\ondiva.exe"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The installer speaks the system's language: Italian on an Italian Windows,
; English (the first one, the default) anywhere else.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Italian"

LangString CatalogueKept ${LANG_ENGLISH} "Keeping the catalogue already installed: $INSTDIR\qx.mdb"
LangString CatalogueKept ${LANG_ITALIAN} "Il catalogo già installato resta com'è: $INSTDIR\qx.mdb"
LangString CatalogueNotInstalled ${LANG_ENGLISH} "The catalogue could not be installed into $INSTDIR."
LangString CatalogueNotInstalled ${LANG_ITALIAN} "Impossibile installare il catalogo in $INSTDIR."
LangString CatalogueLeft ${LANG_ENGLISH} "The catalogue stays in $INSTDIR: delete it yourself if you no longer need it."
LangString CatalogueLeft ${LANG_ITALIAN} "Il catalogo resta in $INSTDIR: eliminarlo a mano se non serve più."

Section "Ondiva Magazine"
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    SetOverwrite on
    !insertmacro ONDIVA_INSTALL_FILES

    ; The catalogue only where none is: it goes in under a name of its own and
    ; takes qx.mdb only once complete, and Rename never replaces a file.
    IfFileExists "$INSTDIR\qx.mdb" catalogue_kept
        Delete "$INSTDIR\qx.mdb.installing"
        File "/oname=qx.mdb.installing" "${SOURCE}/qx.mdb"
        ClearErrors
        Rename "$INSTDIR\qx.mdb.installing" "$INSTDIR\qx.mdb"
        IfErrors 0 catalogue_done
        Delete "$INSTDIR\qx.mdb.installing"
        IfFileExists "$INSTDIR\qx.mdb" catalogue_kept
        MessageBox MB_ICONSTOP "$(CatalogueNotInstalled)" /SD IDOK
        Abort
    catalogue_kept:
        DetailPrint "$(CatalogueKept)"
    catalogue_done:

    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\ondiva.exe" "" "$INSTDIR\ondiva.exe" 0

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ondiva.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

; Deletes exactly the files the installer put there and then those of its
; folders left empty: the catalogue, an Access original kept beside it and any
; other file stay. The Start-menu entry and the uninstall entry go only when
; they are this folder's (a later install elsewhere has its own).
Section "Uninstall"
    SetShellVarContext current
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
        Delete "$SMPROGRAMS\${PRODUCT}.lnk"
        DeleteRegKey HKCU "${UNINSTALL_KEY}"
    ${EndIf}
    !insertmacro ONDIVA_UNINSTALL_FILES
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    ${If} ${FileExists} "$INSTDIR\qx.mdb"
        DetailPrint "$(CatalogueLeft)"
    ${EndIf}
SectionEnd
