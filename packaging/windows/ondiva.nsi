; The Windows installer: per user, no administrator rights, into the user's own
; programs folder, where the catalogue beside the program may be written.
;
;   makensis -DVERSION=1.0 -DSOURCE=<program folder> -DICON=<ondiva.ico> -DSIZE_KB=<size>
;            -DOUTFILE=<setup.exe> ondiva.nsi
;
; SOURCE is the program folder scripts/windows/package.sh lays out. Installing
; again (an upgrade or a repair) replaces the program but never the catalogue
; qx.mdb: it holds the user's rows and the updates recorded. Uninstalling
; removes the program and leaves the catalogue, and any Access original kept
; beside it, where they are.

; A 64-bit installer for a 64-bit program: it also runs where only 64-bit
; programs may (and under a 64-bit-only Wine).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include "MUI2.nsh"

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
    File "${SOURCE}/ondiva.exe"
    File "${SOURCE}/ondiva-accessreader.exe"
    File "${SOURCE}/ondiva-accessreader64.exe"
    File "${SOURCE}/qt.conf"
    File "${SOURCE}/*.dll"
    File /r "${SOURCE}/plugins"
    File /r "${SOURCE}/translations"
    File /r "${SOURCE}/licenses"

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

Section "Uninstall"
    SetShellVarContext current
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$INSTDIR\ondiva.exe"
    Delete "$INSTDIR\ondiva-accessreader.exe"
    Delete "$INSTDIR\ondiva-accessreader64.exe"
    Delete "$INSTDIR\qt.conf"
    Delete "$INSTDIR\*.dll"
    RMDir /r "$INSTDIR\plugins"
    RMDir /r "$INSTDIR\translations"
    RMDir /r "$INSTDIR\licenses"
    Delete "$INSTDIR\uninstall.exe"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    ; Only an empty folder goes: the catalogue and its Access original stay.
    RMDir "$INSTDIR"
    IfFileExists "$INSTDIR\qx.mdb" 0 +2
        DetailPrint "$(CatalogueLeft)"
SectionEnd
