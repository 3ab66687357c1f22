#!/usr/bin/env bash
# Writes examples/aggiornamento-n62.txt: an update file in Windows-1252 with
# CR LF line ends, as older editors save it. Fields are separated by TAB.
set -euo pipefail
cd "$(dirname "$0")/.."
iconv -f UTF-8 -t WINDOWS-1252 <<'END' | sed 's/$/\r/' >examples/aggiornamento-n62.txt
n.62
ARTICOLI(BOF)
L’età d’oro dei sintetizzatori	Chiara Ricci	62
“Suonare” una stanza — acustica per tutti	Alessia De Luca	62
Quanto costa uno studio? Da 500 € in su	Gianni Lombardi	62
Caffè, cuffie e creatività	Francesca Esposito	62
ARTICOLI(EOF)
Software per Windows
Sequencer Perché No	Freeware	62
Mixer d'Epoca	Demo	62
SOFTWARE_WIN(EOF)
Software per Mac
Arpeggiatore Œuvre	Shareware	62
SOFTWARE_MAC(EOF)
Grooves
Swing dell’ultimo tram	62
GROOVES(EOF)
END
