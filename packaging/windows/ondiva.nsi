; The Windows installer: per user, no administrator rights, into the user's own
; programs folder, where the catalogue beside the program may be written.
;
;   makensis -DVERSION=1.0 -DSOURCE=<program folder> -DFILES=<file list .nsh> -DICON=<ondiva.ico>
;            -DSIZE_KB=<size> -DOUTFILE=<setup.exe> ondiva.nsi
;
; SOURCE is the program folder scripts/windows/package.sh lays out; FILES names
; each of its files and folders (scripts/windows/installer-files.sh), for the
; installer to install and the uninstaller to delete exactly those. A page after
; the folder's asks which catalogue the program opens: the demo catalogue, or
; the catalogue of an earlier version, copied (never moved) into the program
; folder as qx.mdb; at its first start the program offers to convert an Access
; one. Silent installs take that file as /CATALOGUE=path. Installing again (an
; upgrade or a repair) replaces the program but never the catalogue qx.mdb: it
; holds the user's rows and the updates recorded. Uninstalling removes what the
; installer put there and leaves the catalogue, any Access original kept beside
; it and every other file where they are.
;
; Exit codes of a silent install: 0 installed, 2 not installed (a /CATALOGUE=
; file that cannot be used, or a catalogue that could not be copied).

; A 64-bit installer for a 64-bit program: it also runs where only 64-bit
; programs may (and under a 64-bit-only Wine).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include "MUI2.nsh"
!include "nsDialogs.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WordFunc.nsh"
!include "${FILES}"

!define PRODUCT "Ondiva Magazine"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Ondiva"
; The catalogue is copied and checked a megabyte at a time.
!define CHUNK 1048576

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
Page custom CataloguePage CataloguePageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The installer speaks the system's language: Italian on an Italian Windows,
; English (the first one, the default) anywhere else.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Italian"

LangString CataloguePageTitle ${LANG_ENGLISH} "Catalogue"
LangString CataloguePageTitle ${LANG_ITALIAN} "Catalogo"
LangString CataloguePageSubtitle ${LANG_ENGLISH} "Choose the catalogue the program will open."
LangString CataloguePageSubtitle ${LANG_ITALIAN} "Scegliere il catalogo che il programma aprirà."
LangString CatalogueKeepOption ${LANG_ENGLISH} "&Keep the catalogue already installed in this folder"
LangString CatalogueKeepOption ${LANG_ITALIAN} "&Mantenere il catalogo già installato in questa cartella"
LangString CatalogueDemoOption ${LANG_ENGLISH} "Start with the &demo catalogue (a few hundred invented rows)"
LangString CatalogueDemoOption ${LANG_ITALIAN} "Iniziare con il catalogo &dimostrativo (qualche centinaio di righe inventate)"
LangString CatalogueEarlierOption ${LANG_ENGLISH} "&Bring the catalogue of an earlier version (qx.mdb):"
LangString CatalogueEarlierOption ${LANG_ITALIAN} "&Portare il catalogo di una versione precedente (qx.mdb):"
LangString CatalogueBrowse ${LANG_ENGLISH} "B&rowse..."
LangString CatalogueBrowse ${LANG_ITALIAN} "&Sfoglia..."
LangString CatalogueFilter ${LANG_ENGLISH} "Catalogue (qx.mdb)|qx.mdb|Access files (*.mdb)|*.mdb"
LangString CatalogueFilter ${LANG_ITALIAN} "Catalogo (qx.mdb)|qx.mdb|File Access (*.mdb)|*.mdb"
LangString CatalogueNote ${LANG_ENGLISH} "The file is copied into the program's folder as qx.mdb: the original stays where it is, as it is. An Access catalogue (Access 97 or 2000–2003) is converted at the program's first start, after it asks."
LangString CatalogueNote ${LANG_ITALIAN} "Il file viene copiato nella cartella del programma come qx.mdb: l'originale resta dov'è, com'è. Un catalogo Access (Access 97 o 2000–2003) viene convertito al primo avvio del programma, dopo una domanda."
LangString CatalogueNoteInstalled ${LANG_ENGLISH} "A catalogue is already installed in $INSTDIR: installing again never replaces it. To use another one, first move qx.mdb out of that folder."
LangString CatalogueNoteInstalled ${LANG_ITALIAN} "In $INSTDIR c'è già un catalogo: una nuova installazione non lo sostituisce mai. Per usarne un altro, spostare prima qx.mdb fuori da quella cartella."
LangString CatalogueNoneChosen ${LANG_ENGLISH} "Choose the catalogue of the earlier version (Browse...), or start with the demo catalogue."
LangString CatalogueNoneChosen ${LANG_ITALIAN} "Scegliere il catalogo della versione precedente (Sfoglia...), oppure iniziare con il catalogo dimostrativo."
LangString CatalogueMissing ${LANG_ENGLISH} "There is no file $CatalogueSource."
LangString CatalogueMissing ${LANG_ITALIAN} "Il file $CatalogueSource non esiste."
LangString CatalogueUnreadable ${LANG_ENGLISH} "The file $CatalogueSource cannot be read: another program may hold it, or you may not be allowed to read it."
LangString CatalogueUnreadable ${LANG_ITALIAN} "Impossibile leggere il file $CatalogueSource: forse un altro programma lo tiene aperto, o manca il permesso di leggerlo."
LangString CatalogueNotOne ${LANG_ENGLISH} "$CatalogueSource is not a catalogue: it is neither an Access file (Access 97 or 2000–2003) nor a catalogue of this program. Choose the qx.mdb of the earlier version."
LangString CatalogueNotOne ${LANG_ITALIAN} "$CatalogueSource non è un catalogo: non è né un file Access (Access 97 o 2000–2003) né un catalogo di questo programma. Scegliere il file qx.mdb della versione precedente."
LangString CatalogueInUse ${LANG_ENGLISH} "Beside the catalogue lies $CatalogueLock: the earlier program may still have it open, and a copy made now could miss its latest changes.$\r$\n$\r$\nClose the earlier program, then choose Yes to go on; No to choose again."
LangString CatalogueInUse ${LANG_ITALIAN} "Accanto al catalogo c'è $CatalogueLock: il programma precedente potrebbe averlo ancora aperto, e una copia fatta ora potrebbe non avere le ultime modifiche.$\r$\n$\r$\nChiudere il programma precedente, poi scegliere Sì per proseguire, No per scegliere di nuovo."
LangString CatalogueInUseNote ${LANG_ENGLISH} "$CatalogueLock lies beside the catalogue: the earlier program may still have it open."
LangString CatalogueInUseNote ${LANG_ITALIAN} "Accanto al catalogo c'è $CatalogueLock: il programma precedente potrebbe averlo ancora aperto."
LangString CatalogueCopied ${LANG_ENGLISH} "Catalogue copied from $CatalogueSource; the original stays as it was."
LangString CatalogueCopied ${LANG_ITALIAN} "Catalogo copiato da $CatalogueSource; l'originale resta com'era."
LangString CatalogueNotCopied ${LANG_ENGLISH} "The catalogue $CatalogueSource could not be copied whole into $INSTDIR: nothing was installed, and the original stays as it was."
LangString CatalogueNotCopied ${LANG_ITALIAN} "Impossibile copiare per intero il catalogo $CatalogueSource in $INSTDIR: non è stato installato niente, e l'originale resta com'era."
LangString CatalogueKept ${LANG_ENGLISH} "Keeping the catalogue already installed: $INSTDIR\qx.mdb"
LangString CatalogueKept ${LANG_ITALIAN} "Il catalogo già installato resta com'è: $INSTDIR\qx.mdb"
LangString CatalogueKeptNotCopied ${LANG_ENGLISH} "$CatalogueSource was not copied: installing again never replaces the catalogue."
LangString CatalogueKeptNotCopied ${LANG_ITALIAN} "$CatalogueSource non è stato copiato: una nuova installazione non sostituisce mai il catalogo."
LangString CatalogueNotInstalled ${LANG_ENGLISH} "The catalogue could not be installed into $INSTDIR."
LangString CatalogueNotInstalled ${LANG_ITALIAN} "Impossibile installare il catalogo in $INSTDIR."
LangString CatalogueLeft ${LANG_ENGLISH} "The catalogue stays in $INSTDIR: delete it yourself if you no longer need it."
LangString CatalogueLeft ${LANG_ITALIAN} "Il catalogo resta in $INSTDIR: eliminarlo a mano se non serve più."

; The catalogue chosen: keep (the one installed), demo, or earlier (a copy of
; CatalogueSource, of the kind CheckCatalogue found).
Var CatalogueChoice
Var CatalogueSource
Var CatalogueKind
Var CatalogueLock
Var FolderMade
; The catalogue page's controls.
Var KeepButton
Var DemoButton
Var EarlierButton
Var PathBox
; The copy and its check: two handles, two buffers, what each read returned.
Var SourceHandle
Var TargetHandle
Var SourceBuffer
Var TargetBuffer
Var SourceRead
Var TargetRead
Var CallResult

Function .onInit
    StrCpy $CatalogueChoice demo
    ; /CATALOGUE=path, with the path quoted or not; Windows quotes the whole
    ; argument instead ("/CATALOGUE=C:\a b\qx.mdb"), which GetOptions would not
    ; see as an option: it is turned into the first form.
    ${GetParameters} $0
    ${WordReplace} $0 '"/CATALOGUE=' '/CATALOGUE="' "+" $0
    ClearErrors
    ${GetOptions} $0 "/CATALOGUE=" $CatalogueSource
    ${IfNot} ${Errors}
        ${WordReplace} $CatalogueSource '"' "" "+" $CatalogueSource
        Call AbsoluteCatalogueSource
        StrCpy $CatalogueChoice earlier
        ; A file that cannot be used ends a silent install here, before anything
        ; is written; the window's page says why.
        ${If} ${Silent}
            Call CheckCatalogue
            ${If} $CatalogueKind != jet3
            ${AndIf} $CatalogueKind != jet4
            ${AndIf} $CatalogueKind != sqlite
                SetErrorLevel 2
                Quit
            ${EndIf}
        ${EndIf}
    ${EndIf}
FunctionEnd

; A path relative to the folder the installer was started from (setup.exe /S
; /CATALOGUE=qx.mdb) made whole while that is still the current folder.
Function AbsoluteCatalogueSource
    ${If} $CatalogueSource != ""
        System::Call 'kernel32::GetFullPathNameW(w "$CatalogueSource", i ${NSIS_MAX_STRLEN}, w .r1, p 0) i .r2'
        ${If} $2 > 0
        ${AndIf} $2 < ${NSIS_MAX_STRLEN}
            StrCpy $CatalogueSource $1
        ${EndIf}
    ${EndIf}
FunctionEnd

; Reads the head of CatalogueSource into CatalogueKind: jet3 or jet4 for an
; Access 97 or 2000–2003 file ("Standard Jet DB" at byte 4, the version at byte
; 20: 0 or 1; Access 2007's "Standard ACE DB" is not one), sqlite for a
; catalogue of this program; none, missing, unreadable or other for a file
; that cannot be used. CatalogueLock becomes the Access lock file beside it.
; The file is opened sharing reading and writing: the earlier program may
; still hold it open.
Function CheckCatalogue
    Push $0
    Push $1
    Push $2
    Push $3
    StrCpy $CatalogueKind other
    ${GetParent} $CatalogueSource $0
    ${GetBaseName} $CatalogueSource $1
    StrCpy $CatalogueLock "$0\$1.ldb"
    ${If} $CatalogueSource == ""
        StrCpy $CatalogueKind none
    ${ElseIfNot} ${FileExists} $CatalogueSource
    ${OrIf} ${FileExists} "$CatalogueSource\*"
        StrCpy $CatalogueKind missing
    ${Else}
        System::Call 'kernel32::CreateFileW(w "$CatalogueSource", i 0x80000000, i 7, p 0, i 3, i 0, p 0) p .r0'
        ${If} $0 = -1
            StrCpy $CatalogueKind unreadable
        ${Else}
            System::Call '*(&i32) p .r1'
            System::Call 'kernel32::ReadFile(p r0, p r1, i 32, *i .r2, p 0) i .r3'
            ${If} $3 = 0
                StrCpy $CatalogueKind unreadable
            ${ElseIf} $2 >= 21
                System::Call '*$1(&m15 .r2, &i1 .r3)'
                ${If} $2 S== "SQLite format 3"
                ${AndIf} $3 = 0
                    StrCpy $CatalogueKind sqlite
                ${Else}
                    System::Call '*$1(i, &m15 .r2, &i1 .r3)'
                    ${If} $2 S== "Standard Jet DB"
                    ${AndIf} $3 = 0
                        System::Call '*$1(i, &m15, &i1, &i1 .r3)'
                        ${If} $3 = 0
                            StrCpy $CatalogueKind jet3
                        ${ElseIf} $3 = 1
                            StrCpy $CatalogueKind jet4
                        ${EndIf}
                    ${EndIf}
                ${EndIf}
            ${EndIf}
            System::Free $1
            System::Call 'kernel32::CloseHandle(p r0)'
        ${EndIf}
    ${EndIf}
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; The page after the folder's: the catalogue installed stays (and is the only
; choice) when there is one; otherwise the demo catalogue, or a copy of the
; catalogue of an earlier version.
Function CataloguePage
    !insertmacro MUI_HEADER_TEXT "$(CataloguePageTitle)" "$(CataloguePageSubtitle)"
    nsDialogs::Create 1018
    Pop $0
    ${If} $0 == error
        Abort
    ${EndIf}
    StrCpy $1 0
    ${If} ${FileExists} "$INSTDIR\qx.mdb"
        ${NSD_CreateRadioButton} 0 0 100% 12u "$(CatalogueKeepOption)"
        Pop $KeepButton
        ${NSD_AddStyle} $KeepButton ${WS_GROUP}
        StrCpy $1 16
    ${Else}
        StrCpy $KeepButton ""
    ${EndIf}
    ${NSD_CreateRadioButton} 0 $1u 100% 12u "$(CatalogueDemoOption)"
    Pop $DemoButton
    ${If} $KeepButton == ""
        ${NSD_AddStyle} $DemoButton ${WS_GROUP}
    ${EndIf}
    IntOp $1 $1 + 16
    ${NSD_CreateRadioButton} 0 $1u 100% 12u "$(CatalogueEarlierOption)"
    Pop $EarlierButton
    IntOp $1 $1 + 15
    ${NSD_CreateText} 12u $1u -80u 13u "$CatalogueSource"
    Pop $PathBox
    ${NSD_AddStyle} $PathBox ${WS_GROUP}
    IntOp $2 $1 - 1
    ${NSD_CreateButton} -64u $2u 64u 15u "$(CatalogueBrowse)"
    Pop $2
    IntOp $1 $1 + 24
    ${If} $KeepButton != ""
        ${NSD_CreateLabel} 0 $1u 100% 40u "$(CatalogueNoteInstalled)"
        Pop $0
        ${NSD_Check} $KeepButton
        EnableWindow $DemoButton 0
        EnableWindow $EarlierButton 0
        EnableWindow $PathBox 0
        EnableWindow $2 0
    ${Else}
        ${NSD_CreateLabel} 0 $1u 100% 40u "$(CatalogueNote)"
        Pop $0
        ${If} $CatalogueChoice == earlier
            ${NSD_Check} $EarlierButton
        ${Else}
            ${NSD_Check} $DemoButton
        ${EndIf}
        ${NSD_OnClick} $2 CatalogueBrowse
        ${NSD_OnChange} $PathBox CatalogueTyped
    ${EndIf}
    nsDialogs::Show
FunctionEnd

; A file chosen or typed chooses the earlier version's catalogue.
Function CatalogueTyped
    Pop $0
    ${NSD_Uncheck} $DemoButton
    ${NSD_Check} $EarlierButton
FunctionEnd

Function CatalogueBrowse
    Pop $0
    ${NSD_GetText} $PathBox $0
    nsDialogs::SelectFileDialog open "$0" "$(CatalogueFilter)"
    Pop $0
    ${If} $0 != ""
        ${NSD_SetText} $PathBox $0
        Call CatalogueTyped
    ${EndIf}
FunctionEnd

; Leaving the page with the earlier version's catalogue: a file that is not one
; is refused, and a lock file beside it asks whether to go on.
Function CataloguePageLeave
    ${If} $KeepButton != ""
        StrCpy $CatalogueChoice keep
        Return
    ${EndIf}
    ${NSD_GetText} $PathBox $CatalogueSource
    ${WordReplace} $CatalogueSource '"' "" "+" $CatalogueSource
    Call AbsoluteCatalogueSource
    ${NSD_GetState} $EarlierButton $0
    ${If} $0 <> ${BST_CHECKED}
        StrCpy $CatalogueChoice demo
        Return
    ${EndIf}
    StrCpy $CatalogueChoice earlier
    Call CheckCatalogue
    ${Select} $CatalogueKind
    ${Case} none
        MessageBox MB_ICONEXCLAMATION "$(CatalogueNoneChosen)"
        Abort
    ${Case} missing
        MessageBox MB_ICONEXCLAMATION "$(CatalogueMissing)"
        Abort
    ${Case} unreadable
        MessageBox MB_ICONEXCLAMATION "$(CatalogueUnreadable)"
        Abort
    ${Case} other
        MessageBox MB_ICONEXCLAMATION "$(CatalogueNotOne)"
        Abort
    ${EndSelect}
    ${If} $CatalogueKind != sqlite
    ${AndIf} ${FileExists} $CatalogueLock
        MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "$(CatalogueInUse)" IDYES +2
        Abort
    ${EndIf}
FunctionEnd

; Copies CatalogueSource to qx.mdb.installing in the program folder, a
; megabyte at a time, without touching the source; $0 becomes 1 once the copy
; is written and flushed.
Function CopyCatalogue
    StrCpy $0 0
    System::Call 'kernel32::CreateFileW(w "$CatalogueSource", i 0x80000000, i 7, p 0, i 3, i 0, p 0) p .s'
    Pop $SourceHandle
    ; CREATE_NEW: a file already there is never written over.
    System::Call 'kernel32::CreateFileW(w "$INSTDIR\qx.mdb.installing", i 0x40000000, i 0, p 0, i 1, i 0x80, p 0) p .s'
    Pop $TargetHandle
    System::Alloc ${CHUNK}
    Pop $SourceBuffer
    ${If} $SourceHandle <> -1
    ${AndIf} $TargetHandle <> -1
    ${AndIf} $SourceBuffer <> 0
        ${Do}
            System::Call 'kernel32::ReadFile(p $SourceHandle, p $SourceBuffer, i ${CHUNK}, *i .s, p 0) i .s'
            Pop $CallResult
            Pop $SourceRead
            ${If} $CallResult = 0
                ${Break}
            ${ElseIf} $SourceRead = 0
                System::Call 'kernel32::FlushFileBuffers(p $TargetHandle) i .s'
                Pop $0
                ${Break}
            ${EndIf}
            System::Call 'kernel32::WriteFile(p $TargetHandle, p $SourceBuffer, i $SourceRead, *i .s, p 0) i .s'
            Pop $CallResult
            Pop $TargetRead
            ${IfThen} $CallResult = 0 ${|} ${Break} ${|}
        ${LoopWhile} $TargetRead = $SourceRead
    ${EndIf}
    ${If} $0 <> 0
        StrCpy $0 1
    ${EndIf}
    System::Free $SourceBuffer
    System::Call 'kernel32::CloseHandle(p $SourceHandle)'
    System::Call 'kernel32::CloseHandle(p $TargetHandle)'
FunctionEnd

; Reads CatalogueSource and qx.mdb.installing side by side: $0 becomes 1 when
; they are the same size and the same bytes.
Function SameAsSource
    StrCpy $0 0
    System::Call 'kernel32::CreateFileW(w "$CatalogueSource", i 0x80000000, i 7, p 0, i 3, i 0, p 0) p .s'
    Pop $SourceHandle
    System::Call 'kernel32::CreateFileW(w "$INSTDIR\qx.mdb.installing", i 0x80000000, i 1, p 0, i 3, i 0, p 0) p .s'
    Pop $TargetHandle
    System::Alloc ${CHUNK}
    Pop $SourceBuffer
    System::Alloc ${CHUNK}
    Pop $TargetBuffer
    System::Call 'kernel32::GetFileSizeEx(p $SourceHandle, *l .s) i .s'
    Pop $CallResult
    Pop $SourceRead
    System::Call 'kernel32::GetFileSizeEx(p $TargetHandle, *l .s) i .s'
    Pop $CallResult
    Pop $TargetRead
    ${If} $SourceHandle <> -1
    ${AndIf} $TargetHandle <> -1
    ${AndIf} $SourceBuffer <> 0
    ${AndIf} $TargetBuffer <> 0
    ${AndIf} $SourceRead S== $TargetRead
        ${Do}
            System::Call 'kernel32::ReadFile(p $SourceHandle, p $SourceBuffer, i ${CHUNK}, *i .s, p 0) i .s'
            Pop $CallResult
            Pop $SourceRead
            ${IfThen} $CallResult = 0 ${|} ${Break} ${|}
            System::Call 'kernel32::ReadFile(p $TargetHandle, p $TargetBuffer, i ${CHUNK}, *i .s, p 0) i .s'
            Pop $CallResult
            Pop $TargetRead
            ${IfThen} $CallResult = 0 ${|} ${Break} ${|}
            ${IfThen} $SourceRead <> $TargetRead ${|} ${Break} ${|}
            ${If} $SourceRead = 0
                StrCpy $0 1
                ${Break}
            ${EndIf}
            System::Call 'ntdll::RtlCompareMemory(p $SourceBuffer, p $TargetBuffer, p $SourceRead) p .s'
            Pop $CallResult
        ${LoopWhile} $CallResult = $SourceRead
    ${EndIf}
    System::Free $SourceBuffer
    System::Free $TargetBuffer
    System::Call 'kernel32::CloseHandle(p $SourceHandle)'
    System::Call 'kernel32::CloseHandle(p $TargetHandle)'
FunctionEnd

; The catalogue goes in first, so that one that cannot be copied stops the
; install before the program is laid out. It goes in under a name of its own
; and takes qx.mdb only once complete (and checked, for a copy), and Rename
; never replaces a file: a catalogue there already always stays.
Function InstallCatalogue
    ${If} ${FileExists} "$INSTDIR\qx.mdb"
        DetailPrint "$(CatalogueKept)"
        ${If} $CatalogueChoice == earlier
            DetailPrint "$(CatalogueKeptNotCopied)"
        ${EndIf}
        Return
    ${EndIf}
    Delete "$INSTDIR\qx.mdb.installing"
    ${If} $CatalogueChoice == earlier
        Call CheckCatalogue
        ${If} $CatalogueKind != sqlite
        ${AndIf} ${FileExists} $CatalogueLock
            DetailPrint "$(CatalogueInUseNote)"
        ${EndIf}
        Call CopyCatalogue
        ${If} $0 = 1
            Call SameAsSource
        ${EndIf}
        ${If} $0 <> 1
            Delete "$INSTDIR\qx.mdb.installing"
            MessageBox MB_ICONSTOP "$(CatalogueNotCopied)" /SD IDOK
            Goto failed
        ${EndIf}
    ${Else}
        File "/oname=qx.mdb.installing" "${SOURCE}/qx.mdb"
    ${EndIf}
    ClearErrors
    Rename "$INSTDIR\qx.mdb.installing" "$INSTDIR\qx.mdb"
    ${IfNot} ${Errors}
        ${If} $CatalogueChoice == earlier
            DetailPrint "$(CatalogueCopied)"
        ${EndIf}
        Return
    ${EndIf}
    Delete "$INSTDIR\qx.mdb.installing"
    ${If} ${FileExists} "$INSTDIR\qx.mdb"
        DetailPrint "$(CatalogueKept)"
        Return
    ${EndIf}
    MessageBox MB_ICONSTOP "$(CatalogueNotInstalled)" /SD IDOK
failed:
    ; The folder goes again if the install made it (it is empty: the catalogue
    ; is the first file); it cannot while it is the current directory.
    SetOutPath "$TEMP"
    ${If} $FolderMade = 1
        RMDir "$INSTDIR"
    ${EndIf}
    SetErrorLevel 2
    Abort
FunctionEnd

Section "Ondiva Magazine"
    SetShellVarContext current
    StrCpy $FolderMade 0
    ${IfNot} ${FileExists} "$INSTDIR\*"
        StrCpy $FolderMade 1
    ${EndIf}
    SetOutPath "$INSTDIR"
    Call InstallCatalogue

    SetOverwrite on
    !insertmacro ONDIVA_INSTALL_FILES
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
