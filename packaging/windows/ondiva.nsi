; The Windows installer: per user, no administrator rights, into the user's own
; programs folder, where the catalogue beside the program may be written.
;
;   makensis -DVERSION=1.0 -DSOURCE=<program folder> -DFILES=<file list .nsh> -DTOOL=<helper .nsh>
;            -DICON=<ondiva.ico> -DSIZE_KB=<size> -DOUTFILE=<setup.exe> ondiva.nsi
;
; SOURCE is the program folder scripts/windows/package.sh lays out; FILES names
; each of its files and folders (scripts/windows/installer-files.sh), for the
; installer to install and the uninstaller to delete exactly those; TOOL names
; the program's catalogue helper, ondiva-catalogue.exe, and the DLLs it loads.
;
; Every decision about the catalogue is the helper's, the program's own tested
; code, run from $PLUGINSDIR before anything is installed: whether a file is a
; catalogue that can be brought, whether the folder holds none, the untouched
; demo catalogue or a catalogue of the user's own, and the copy itself (read
; back, flushed and swapped in, the source untouched). The installer only maps
; its exit status to a message. A page after the folder's asks which catalogue
; the program opens: with none in the folder, the demo catalogue or the
; catalogue of an earlier version; over the untouched demo catalogue, keeping
; it or bringing the earlier one; over a catalogue of the user's own, only
; keeping it (the program's File menu brings another one later). At its first
; start the program offers to convert an Access catalogue. Silent installs take
; the file as /CATALOGUE=path. Installing again replaces the program but never
; the user's catalogue. Uninstalling removes what the installer put there and
; leaves the catalogue, any Access original kept beside it and every other file.
;
; The installer leaves in the folder installed-files.txt, the names of the files
; it laid out (never a catalogue). Installing again deletes the files an earlier
; version listed there that this one no longer has; the uninstaller deletes its
; own files and those listed. A listed name that leaves the folder or names a
; catalogue or its lock is never deleted.
;
; Exit codes of a silent install:
;   0  installed;
;   2  nothing installed: a /CATALOGUE= file that cannot be used, or one that
;      could not be copied;
;   3  installed, but the folder already held a catalogue of the user's own,
;      which is kept: the /CATALOGUE= file was not brought (the reason is in
;      the install log, and in install.log in the program folder).

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
!include "${TOOL}"

!define PRODUCT "Ondiva Magazine"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Ondiva"
; What the installer writes beside the program besides its files.
!define MANIFEST "installed-files.txt"
!define INSTALL_LOG "install.log"

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
LangString CatalogueKeepDemoOption ${LANG_ENGLISH} "&Keep the demo catalogue installed in this folder"
LangString CatalogueKeepDemoOption ${LANG_ITALIAN} "&Mantenere il catalogo dimostrativo installato in questa cartella"
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
LangString CatalogueNoteDemo ${LANG_ENGLISH} "This folder holds the demo catalogue, unchanged. The catalogue of an earlier version takes its place as qx.mdb: the original stays where it is, as it is. An Access catalogue (Access 97 or 2000–2003) is converted at the program's first start, after it asks."
LangString CatalogueNoteDemo ${LANG_ITALIAN} "In questa cartella c'è il catalogo dimostrativo, mai modificato. Il catalogo di una versione precedente ne prende il posto come qx.mdb: l'originale resta dov'è, com'è. Un catalogo Access (Access 97 o 2000–2003) viene convertito al primo avvio del programma, dopo una domanda."
LangString CatalogueNoteInstalled ${LANG_ENGLISH} "$INSTDIR holds a catalogue of your own: it is kept as it is, and installing again never replaces it.$\r$\n$\r$\nTo bring the catalogue of an earlier version later, use the command $\"Open earlier catalogue…$\" of the program's File menu."
LangString CatalogueNoteInstalled ${LANG_ITALIAN} "In $INSTDIR c'è un catalogo dell'utente: resta com'è, e una nuova installazione non lo sostituisce mai.$\r$\n$\r$\nPer portare in seguito il catalogo di una versione precedente, usare il comando «Open earlier catalogue…» del menu File del programma."
LangString CatalogueNoneChosen ${LANG_ENGLISH} "Choose the catalogue of the earlier version (Browse...), or keep the demo catalogue."
LangString CatalogueNoneChosen ${LANG_ITALIAN} "Scegliere il catalogo della versione precedente (Sfoglia...), oppure tenere il catalogo dimostrativo."
LangString CatalogueMissing ${LANG_ENGLISH} "There is no file $CatalogueSource."
LangString CatalogueMissing ${LANG_ITALIAN} "Il file $CatalogueSource non esiste."
LangString CatalogueUnreadable ${LANG_ENGLISH} "The file $CatalogueSource cannot be read: another program may hold it, or you may not be allowed to read it."
LangString CatalogueUnreadable ${LANG_ITALIAN} "Impossibile leggere il file $CatalogueSource: forse un altro programma lo tiene aperto, o manca il permesso di leggerlo."
LangString CatalogueNotOne ${LANG_ENGLISH} "$CatalogueSource is not a catalogue: it is neither an Access file (Access 97 or 2000–2003) nor a catalogue of this program, or it is damaged. Choose the qx.mdb of the earlier version."
LangString CatalogueNotOne ${LANG_ITALIAN} "$CatalogueSource non è un catalogo: non è né un file Access (Access 97 o 2000–2003) né un catalogo di questo programma, oppure è danneggiato. Scegliere il file qx.mdb della versione precedente."
LangString CatalogueNewerAccess ${LANG_ENGLISH} "$CatalogueSource is a file of Access 2007 or later, which the program cannot read. Open it in Access and save it in the Access 2002–2003 format (.mdb), then choose that file."
LangString CatalogueNewerAccess ${LANG_ITALIAN} "$CatalogueSource è un file di Access 2007 o successivo, che il programma non sa leggere. Aprirlo in Access e salvarlo nel formato di Access 2002–2003 (.mdb), poi scegliere quel file."
LangString CatalogueUnfinished ${LANG_ENGLISH} "Beside $CatalogueSource lies the journal of a change that was not finished (a file of the same name ending in -journal or -wal): the catalogue cannot be copied whole now. Start the program that uses it (a search is enough) to complete the change, then try again."
LangString CatalogueUnfinished ${LANG_ITALIAN} "Accanto a $CatalogueSource c'è il giornale di una modifica non terminata (un file con lo stesso nome che finisce con -journal o -wal): ora il catalogo non si può copiare per intero. Avviare il programma che lo usa (basta una ricerca) per completare la modifica, poi riprovare."
LangString CatalogueInUse ${LANG_ENGLISH} "Beside the catalogue lies $CatalogueLock: the earlier program may still have it open, and a copy made now could miss its latest changes.$\r$\n$\r$\nClose the earlier program, then choose Yes to go on; No to choose again."
LangString CatalogueInUse ${LANG_ITALIAN} "Accanto al catalogo c'è $CatalogueLock: il programma precedente potrebbe averlo ancora aperto, e una copia fatta ora potrebbe non avere le ultime modifiche.$\r$\n$\r$\nChiudere il programma precedente, poi scegliere Sì per proseguire, No per scegliere di nuovo."
LangString CatalogueInUseNote ${LANG_ENGLISH} "$CatalogueLock lies beside the catalogue: the earlier program may still have it open."
LangString CatalogueInUseNote ${LANG_ITALIAN} "Accanto al catalogo c'è $CatalogueLock: il programma precedente potrebbe averlo ancora aperto."
LangString CatalogueCopied ${LANG_ENGLISH} "Catalogue copied from $CatalogueSource; the original stays as it was."
LangString CatalogueCopied ${LANG_ITALIAN} "Catalogo copiato da $CatalogueSource; l'originale resta com'era."
LangString CatalogueNotCopied ${LANG_ENGLISH} "The catalogue $CatalogueSource could not be copied into $INSTDIR (the disk may be full, or writing there not allowed): nothing was installed, and the catalogue there and the original stay as they were."
LangString CatalogueNotCopied ${LANG_ITALIAN} "Impossibile copiare il catalogo $CatalogueSource in $INSTDIR (forse il disco è pieno, o manca il permesso di scrivere): non è stato installato niente, e il catalogo che c'era e l'originale restano com'erano."
LangString CatalogueBusy ${LANG_ENGLISH} "A window of the program is working on the catalogue in $INSTDIR: close the program, then install again. Nothing was installed."
LangString CatalogueBusy ${LANG_ITALIAN} "Una finestra del programma sta lavorando sul catalogo in $INSTDIR: chiudere il programma, poi ripetere l'installazione. Non è stato installato niente."
LangString CatalogueFolderReadOnly ${LANG_ENGLISH} "The folder $INSTDIR cannot be written: nothing was installed."
LangString CatalogueFolderReadOnly ${LANG_ITALIAN} "Non è permesso scrivere nella cartella $INSTDIR: non è stato installato niente."
LangString CatalogueToolFailed ${LANG_ENGLISH} "The catalogue could not be checked (the helper ondiva-catalogue ended with $ToolExit). Nothing was installed."
LangString CatalogueToolFailed ${LANG_ITALIAN} "Impossibile controllare il catalogo (il programma ondiva-catalogue è terminato con $ToolExit). Non è stato installato niente."
LangString CatalogueKept ${LANG_ENGLISH} "Keeping the catalogue already installed: $INSTDIR\qx.mdb"
LangString CatalogueKept ${LANG_ITALIAN} "Il catalogo già installato resta com'è: $INSTDIR\qx.mdb"
LangString CatalogueKeptNotCopied ${LANG_ENGLISH} "$CatalogueSource was not copied: $INSTDIR\qx.mdb is a catalogue of the user's own, and installing never replaces it. The program's File menu brings another catalogue (Open earlier catalogue…)."
LangString CatalogueKeptNotCopied ${LANG_ITALIAN} "$CatalogueSource non è stato copiato: $INSTDIR\qx.mdb è un catalogo dell'utente, e un'installazione non lo sostituisce mai. Un altro catalogo si porta con il menu File del programma (Open earlier catalogue…)."
LangString CatalogueNotInstalled ${LANG_ENGLISH} "The catalogue could not be installed into $INSTDIR."
LangString CatalogueNotInstalled ${LANG_ITALIAN} "Impossibile installare il catalogo in $INSTDIR."
LangString StaleRemoved ${LANG_ENGLISH} "Removed, no longer part of the program: $R0"
LangString StaleRemoved ${LANG_ITALIAN} "Rimosso, non fa più parte del programma: $R0"
LangString CatalogueLeft ${LANG_ENGLISH} "The catalogue stays in $INSTDIR: delete it yourself if you no longer need it."
LangString CatalogueLeft ${LANG_ITALIAN} "Il catalogo resta in $INSTDIR: eliminarlo a mano se non serve più."

; The catalogue chosen: keep (the one in the folder), demo, or earlier (a copy
; of CatalogueSource, brought in by the helper).
Var CatalogueChoice
Var CatalogueSource
Var CatalogueLock
; Whether CatalogueSource has an Access lock file beside it (the helper's check said 1).
Var CatalogueInUse
; What the folder holds, as the helper's status says: none, demo or own.
Var CatalogueStatus
Var FolderMade
; The exit status of the install: 0, or 3 when the user's catalogue was kept
; instead of the one named.
Var ExitStatus
; The helper's exit status ("error" if it could not start) and its sentence.
Var ToolExit
Var ToolSaid
; The catalogue page's controls: the first choice (keep, or the demo
; catalogue), the earlier version's, its path and its button.
Var StayButton
Var EarlierButton
Var PathBox
Var BrowseButton

; Runs the helper from $PLUGINSDIR with ARGUMENTS: ToolExit and ToolSaid.
!macro CatalogueTool ARGUMENTS
    nsExec::ExecToStack '"$PLUGINSDIR\ondiva-catalogue.exe" ${ARGUMENTS}'
    Pop $ToolExit
    Pop $ToolSaid
    Call ToolSentence
!macroend

; The folder as the helper's argument: a path ending in a backslash (a drive's
; root) would escape the closing quote, so it gets a "." after it.
!macro FolderArgument VAR
    StrCpy ${VAR} "$INSTDIR" "" -1
    ${If} ${VAR} == "\"
        StrCpy ${VAR} "$INSTDIR."
    ${Else}
        StrCpy ${VAR} "$INSTDIR"
    ${EndIf}
!macroend

Function .onInit
    StrCpy $CatalogueChoice demo
    StrCpy $CatalogueInUse 0
    StrCpy $ExitStatus 0
    InitPluginsDir
    !insertmacro ONDIVA_CATALOGUE_TOOL
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
            !insertmacro CatalogueTool 'check "$CatalogueSource"'
            ${If} $ToolExit == 1
                StrCpy $CatalogueInUse 1
            ${ElseIf} $ToolExit != 0
                SetErrorLevel 2
                Quit
            ${EndIf}
        ${EndIf}
    ${EndIf}
FunctionEnd

; A path relative to the folder the installer was started from (setup.exe /S
; /CATALOGUE=qx.mdb) made whole while that is still the current folder; and the
; name of the Access lock file beside it, for the messages.
Function AbsoluteCatalogueSource
    ${If} $CatalogueSource != ""
        System::Call 'kernel32::GetFullPathNameW(w "$CatalogueSource", i ${NSIS_MAX_STRLEN}, w .r1, p 0) i .r2'
        ${If} $2 > 0
        ${AndIf} $2 < ${NSIS_MAX_STRLEN}
            StrCpy $CatalogueSource $1
        ${EndIf}
    ${EndIf}
    ${GetParent} $CatalogueSource $0
    ${GetBaseName} $CatalogueSource $1
    StrCpy $CatalogueLock "$0\$1.ldb"
FunctionEnd

; nsExec reads the helper's sentence, written in UTF-8, as text of the ANSI
; code page: its bytes are taken back and read as UTF-8, and the line end cut
; off. A sentence that does not come back whole is left out.
Function ToolSentence
    Push $0
    Push $1
    Push $2
    System::Alloc 4096
    Pop $0
    System::Call 'kernel32::WideCharToMultiByte(i 0, i 0, w "$ToolSaid", i -1, p r0, i 4096, p 0, p 0) i .r1'
    StrCpy $2 ""
    ${If} $1 > 0
        ; MB_ERR_INVALID_CHARS: bytes that are not UTF-8 fail the conversion.
        System::Call 'kernel32::MultiByteToWideChar(i 65001, i 8, p r0, i -1, w .r2, i ${NSIS_MAX_STRLEN}) i .r1'
        ${If} $1 <= 0
            StrCpy $2 ""
        ${EndIf}
    ${EndIf}
    System::Free $0
    ${Do}
        StrCpy $0 $2 1 -1
        ${If} $0 == "$\r"
        ${OrIf} $0 == "$\n"
            StrCpy $2 $2 -1
        ${Else}
            ${Break}
        ${EndIf}
    ${Loop}
    StrCpy $ToolSaid $2
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; CatalogueStatus from the helper: none, demo (the untouched demo catalogue) or
; own. A helper that cannot tell makes a qx.mdb there the user's own.
Function ReadCatalogueStatus
    !insertmacro FolderArgument $0
    !insertmacro CatalogueTool 'status "$0"'
    ${If} $ToolExit == 4
        StrCpy $CatalogueStatus demo
    ${ElseIf} $ToolExit == 3
        StrCpy $CatalogueStatus own
    ${ElseIf} $ToolExit == 0
    ${AndIfNot} ${FileExists} "$INSTDIR\qx.mdb"
        StrCpy $CatalogueStatus none
    ${ElseIf} ${FileExists} "$INSTDIR\qx.mdb"
        StrCpy $CatalogueStatus own
    ${Else}
        StrCpy $CatalogueStatus none
    ${EndIf}
FunctionEnd

; The page after the folder's. A catalogue of the user's own: only keeping it.
; Otherwise the demo catalogue (kept, or laid out) by default, or the
; catalogue of an earlier version.
Function CataloguePage
    !insertmacro MUI_HEADER_TEXT "$(CataloguePageTitle)" "$(CataloguePageSubtitle)"
    Call ReadCatalogueStatus
    nsDialogs::Create 1018
    Pop $0
    ${If} $0 == error
        Abort
    ${EndIf}
    StrCpy $EarlierButton ""
    ${If} $CatalogueStatus == own
        ${NSD_CreateRadioButton} 0 0 100% 12u "$(CatalogueKeepOption)"
        Pop $StayButton
        ${NSD_AddStyle} $StayButton ${WS_GROUP}
        ${NSD_Check} $StayButton
        ${NSD_CreateLabel} 0 24u 100% 64u "$(CatalogueNoteInstalled)"
        Pop $0
        nsDialogs::Show
        Return
    ${EndIf}
    ${If} $CatalogueStatus == demo
        ${NSD_CreateRadioButton} 0 0 100% 12u "$(CatalogueKeepDemoOption)"
    ${Else}
        ${NSD_CreateRadioButton} 0 0 100% 12u "$(CatalogueDemoOption)"
    ${EndIf}
    Pop $StayButton
    ${NSD_AddStyle} $StayButton ${WS_GROUP}
    ${NSD_CreateRadioButton} 0 16u 100% 12u "$(CatalogueEarlierOption)"
    Pop $EarlierButton
    ${NSD_CreateText} 12u 31u -80u 13u "$CatalogueSource"
    Pop $PathBox
    ${NSD_AddStyle} $PathBox ${WS_GROUP}
    ${NSD_CreateButton} -64u 30u 64u 15u "$(CatalogueBrowse)"
    Pop $BrowseButton
    ${If} $CatalogueStatus == demo
        ${NSD_CreateLabel} 0 55u 100% 48u "$(CatalogueNoteDemo)"
    ${Else}
        ${NSD_CreateLabel} 0 55u 100% 48u "$(CatalogueNote)"
    ${EndIf}
    Pop $0
    ${If} $CatalogueChoice == earlier
        ${NSD_Check} $EarlierButton
    ${Else}
        ${NSD_Check} $StayButton
    ${EndIf}
    ${NSD_OnClick} $BrowseButton CatalogueBrowse
    ${NSD_OnChange} $PathBox CatalogueTyped
    nsDialogs::Show
FunctionEnd

; A file chosen or typed chooses the earlier version's catalogue.
Function CatalogueTyped
    Pop $0
    ${NSD_Uncheck} $StayButton
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

; Leaving the page with the earlier version's catalogue: the helper checks the
; file; one it cannot use is refused with the reason, and an Access lock file
; beside it asks whether to go on (No, the default, chooses again).
Function CataloguePageLeave
    ${If} $EarlierButton == ""
        StrCpy $CatalogueChoice keep
        Return
    ${EndIf}
    ${NSD_GetText} $PathBox $CatalogueSource
    ${WordReplace} $CatalogueSource '"' "" "+" $CatalogueSource
    Call AbsoluteCatalogueSource
    ${NSD_GetState} $EarlierButton $0
    ${If} $0 <> ${BST_CHECKED}
        ${If} $CatalogueStatus == demo
            StrCpy $CatalogueChoice keep
        ${Else}
            StrCpy $CatalogueChoice demo
        ${EndIf}
        Return
    ${EndIf}
    StrCpy $CatalogueChoice earlier
    ${If} $CatalogueSource == ""
        MessageBox MB_ICONEXCLAMATION "$(CatalogueNoneChosen)"
        Abort
    ${EndIf}
    !insertmacro CatalogueTool 'check "$CatalogueSource"'
    StrCpy $CatalogueInUse 0
    ${Select} $ToolExit
    ${Case} 0
    ${Case} 1
        StrCpy $CatalogueInUse 1
        ${IfNot} ${Cmd} `MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "$(CatalogueInUse)" IDYES`
            Abort
        ${EndIf}
    ${Case} 10
        MessageBox MB_ICONEXCLAMATION "$(CatalogueMissing)"
        Abort
    ${Case} 11
        MessageBox MB_ICONEXCLAMATION "$(CatalogueUnreadable)"
        Abort
    ${Case} 12
        MessageBox MB_ICONEXCLAMATION "$(CatalogueNotOne)"
        Abort
    ${Case} 13
        MessageBox MB_ICONEXCLAMATION "$(CatalogueNewerAccess)"
        Abort
    ${Case} 14
        MessageBox MB_ICONEXCLAMATION "$(CatalogueUnfinished)"
        Abort
    ${CaseElse}
        MessageBox MB_ICONSTOP "$(CatalogueToolFailed)"
        Abort
    ${EndSelect}
FunctionEnd

; Appends $R0 to install.log in the program folder, UTF-16 as Notepad reads it:
; a silent install shows no log of its own.
Function LogLine
    Push $R1
    ClearErrors
    FileOpen $R1 "$INSTDIR\${INSTALL_LOG}" a
    ${IfNot} ${Errors}
        FileSeek $R1 0 END
        FileWriteUTF16LE /BOM $R1 "$R0$\r$\n"
        FileClose $R1
    ${EndIf}
    Pop $R1
FunctionEnd

; The catalogue goes in first, so that one that cannot be copied stops the
; install before the program is laid out. The helper brings an earlier
; version's catalogue in (only over none or the untouched demo catalogue); the
; demo catalogue goes in under a name of its own and takes qx.mdb only once
; complete, and Rename never replaces a file: a catalogue there already stays.
Function InstallCatalogue
    ${If} $CatalogueChoice == keep
        DetailPrint "$(CatalogueKept)"
        Return
    ${EndIf}
    ${If} $CatalogueChoice == earlier
        ${If} $CatalogueInUse = 1
            DetailPrint "$(CatalogueInUseNote)"
        ${EndIf}
        !insertmacro FolderArgument $0
        !insertmacro CatalogueTool 'bring "$CatalogueSource" "$0"'
        ${If} $ToolSaid != ""
            DetailPrint "$ToolSaid"
        ${EndIf}
        ${Select} $ToolExit
        ${Case} 0
            DetailPrint "$(CatalogueCopied)"
            Return
        ${Case} 3
            ; The user's own catalogue stays; the program is installed, and the
            ; install ends with status 3, the reason written down.
            DetailPrint "$(CatalogueKept)"
            DetailPrint "$(CatalogueKeptNotCopied)"
            StrCpy $R0 "$(CatalogueKept)"
            Call LogLine
            StrCpy $R0 "$(CatalogueKeptNotCopied)"
            Call LogLine
            ${If} $ToolSaid != ""
                StrCpy $R0 "ondiva-catalogue: $ToolSaid"
                Call LogLine
            ${EndIf}
            StrCpy $ExitStatus 3
            Return
        ${Case} 1
            StrCpy $0 "$(CatalogueInUseNote)"
        ${Case} 10
            StrCpy $0 "$(CatalogueMissing)"
        ${Case} 11
            StrCpy $0 "$(CatalogueUnreadable)"
        ${Case} 12
            StrCpy $0 "$(CatalogueNotOne)"
        ${Case} 13
            StrCpy $0 "$(CatalogueNewerAccess)"
        ${Case} 14
            StrCpy $0 "$(CatalogueUnfinished)"
        ${Case} 20
            StrCpy $0 "$(CatalogueNotCopied)"
        ${Case} 21
            StrCpy $0 "$(CatalogueBusy)"
        ${Case} 22
            StrCpy $0 "$(CatalogueFolderReadOnly)"
        ${CaseElse}
            StrCpy $0 "$(CatalogueToolFailed)"
        ${EndSelect}
        DetailPrint "$0"
        MessageBox MB_ICONSTOP "$0" /SD IDOK
        Goto failed
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\qx.mdb"
        DetailPrint "$(CatalogueKept)"
        Return
    ${EndIf}
    Delete "$INSTDIR\qx.mdb.installing"
    File "/oname=qx.mdb.installing" "${SOURCE}/qx.mdb"
    ClearErrors
    Rename "$INSTDIR\qx.mdb.installing" "$INSTDIR\qx.mdb"
    ${IfNot} ${Errors}
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

; The names of a list of installed files, for the installer and the uninstaller.
!macro ManifestFunctions UN
; $R0, a line of the list, becomes the name it holds, without its line end and
; with backslashes; $R1 becomes 1 when that name may be deleted: a name inside
; the program folder (not absolute, no drive, no "..", no wildcard, no end that
; Windows would drop) that names no catalogue, copy of one or lock of one (no
; ".mdb" anywhere in it: qx.mdb, qx.mdb.lock, qx.mdb-journal, an Access original).
Function ${UN}DeletableName
    Push $R3
    Push $R4
    Push $R5
    StrCpy $R1 0
    ${Do}
        StrCpy $R3 $R0 1 -1
        ${If} $R3 == "$\r"
        ${OrIf} $R3 == "$\n"
            StrCpy $R0 $R0 -1
        ${Else}
            ${Break}
        ${EndIf}
    ${Loop}
    ${WordReplace} $R0 "/" "\" "+" $R0
    StrCpy $R3 $R0 1
    StrCpy $R4 $R0 1 -1
    ${If} $R0 == ""
    ${OrIf} $R3 == "\"
    ${OrIf} $R4 == "\"
    ${OrIf} $R4 == "."
    ${OrIf} $R4 == " "
        Goto done
    ${EndIf}
    StrLen $R4 $R0
    StrCpy $R5 0
    ${DoWhile} $R5 < $R4
        StrCpy $R3 $R0 1 $R5
        ${If} $R3 == ":"
        ${OrIf} $R3 == "*"
        ${OrIf} $R3 == "?"
        ${OrIf} $R3 == '"'
        ${OrIf} $R3 == "<"
        ${OrIf} $R3 == ">"
        ${OrIf} $R3 == "|"
            Goto done
        ${EndIf}
        StrCpy $R3 $R0 2 $R5
        ${If} $R3 == ".."
            Goto done
        ${EndIf}
        StrCpy $R3 $R0 4 $R5
        ${If} $R3 == ".mdb"
            Goto done
        ${EndIf}
        IntOp $R5 $R5 + 1
    ${Loop}
    StrCpy $R1 1
done:
    Pop $R5
    Pop $R4
    Pop $R3
FunctionEnd

; The folders of $R0 (a deletable name) from the innermost out, each removed
; if it is empty.
Function ${UN}RemoveEmptyFolders
    Push $R3
    ${GetParent} $R0 $R3
    ${DoWhile} $R3 != ""
        RMDir "$INSTDIR\$R3"
        ${GetParent} $R3 $R3
    ${Loop}
    Pop $R3
FunctionEnd
!macroend
!insertmacro ManifestFunctions ""
!insertmacro ManifestFunctions "un."

; $R1 becomes 1 when $R0 is a name this version installs or writes.
Function Shipped
    ${If} $R0 == "uninstall.exe"
    ${OrIf} $R0 == "${MANIFEST}"
    ${OrIf} $R0 == "${INSTALL_LOG}"
        StrCpy $R1 1
        Return
    ${EndIf}
    !insertmacro ONDIVA_SHIPPED
FunctionEnd

; Before the program is laid out: the files an earlier version listed that
; this one no longer has are deleted, and their folders once empty.
Function RemoveStale
    ClearErrors
    FileOpen $R2 "$INSTDIR\${MANIFEST}" r
    ${If} ${Errors}
        Return
    ${EndIf}
    ${Do}
        ClearErrors
        FileRead $R2 $R0
        ${If} ${Errors}
            ${Break}
        ${EndIf}
        Call DeletableName
        ${If} $R1 = 1
            Call Shipped
            ${If} $R1 = 0
            ${AndIf} ${FileExists} "$INSTDIR\$R0"
                Delete "$INSTDIR\$R0"
                DetailPrint "$(StaleRemoved)"
                Call RemoveEmptyFolders
            ${EndIf}
        ${EndIf}
    ${Loop}
    FileClose $R2
FunctionEnd

; The list of the files laid out, written whole under a name of its own before
; it takes its own.
Function WriteManifest
    Delete "$INSTDIR\${MANIFEST}.new"
    ClearErrors
    FileOpen $R2 "$INSTDIR\${MANIFEST}.new" w
    ${If} ${Errors}
        Return
    ${EndIf}
    !insertmacro ONDIVA_WRITE_MANIFEST
    FileWrite $R2 "uninstall.exe$\r$\n"
    ${If} ${FileExists} "$INSTDIR\${INSTALL_LOG}"
        FileWrite $R2 "${INSTALL_LOG}$\r$\n"
    ${EndIf}
    FileClose $R2
    Delete "$INSTDIR\${MANIFEST}"
    Rename "$INSTDIR\${MANIFEST}.new" "$INSTDIR\${MANIFEST}"
FunctionEnd

Section "Ondiva Magazine"
    SetShellVarContext current
    StrCpy $FolderMade 0
    ${IfNot} ${FileExists} "$INSTDIR\*"
        StrCpy $FolderMade 1
    ${EndIf}
    SetOutPath "$INSTDIR"
    Call InstallCatalogue
    Call RemoveStale

    SetOverwrite on
    !insertmacro ONDIVA_INSTALL_FILES
    WriteUninstaller "$INSTDIR\uninstall.exe"
    Call WriteManifest
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
    SetErrorLevel $ExitStatus
SectionEnd

; Deletes exactly the files the installer put there (its own list, and those
; the list of installed files names) and then those of its folders left empty:
; the catalogue, an Access original kept beside it and any other file stay.
; The Start-menu entry and the uninstall entry go only when they are this
; folder's (a later install elsewhere has its own).
Section "Uninstall"
    SetShellVarContext current
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
        Delete "$SMPROGRAMS\${PRODUCT}.lnk"
        DeleteRegKey HKCU "${UNINSTALL_KEY}"
    ${EndIf}
    !insertmacro ONDIVA_UNINSTALL_FILES
    ClearErrors
    FileOpen $R2 "$INSTDIR\${MANIFEST}" r
    ${IfNot} ${Errors}
        ${Do}
            ClearErrors
            FileRead $R2 $R0
            ${If} ${Errors}
                ${Break}
            ${EndIf}
            Call un.DeletableName
            ${If} $R1 = 1
                Delete "$INSTDIR\$R0"
                Call un.RemoveEmptyFolders
            ${EndIf}
        ${Loop}
        FileClose $R2
    ${EndIf}
    Delete "$INSTDIR\${MANIFEST}"
    Delete "$INSTDIR\${INSTALL_LOG}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    ${If} ${FileExists} "$INSTDIR\qx.mdb"
        DetailPrint "$(CatalogueLeft)"
    ${EndIf}
SectionEnd
