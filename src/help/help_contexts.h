/* Help context numbers: the controls of the program carry them, and the help
   project maps them to its topics ([MAP] includes this file, [ALIAS] names the
   pages). Plain #define lines only, so the help compiler can read it too. */
#ifndef SONAVIX_HELP_CONTEXTS_H
#define SONAVIX_HELP_CONTEXTS_H

#define IDH_HAUPTFENSTER 1000
#define IDH_FOLGEN 2000
#define IDH_FORMEL 2100
#define IDH_OEIS 2200
#define IDH_KARTEN 3000
#define IDH_ABSPIELEN 3100
#define IDH_STIMMEN 3200
#define IDH_ANSICHT 3300
#define IDH_BARRIEREFREIHEIT 4000
#define IDH_SETUPDATEIEN 5000
#define IDH_PARTITUR 5100
#define IDH_GANZE_FOLGEN 5200
#define IDH_KOMMANDOZEILE 5300
#define IDH_FUELLEN 5400
#define IDH_AUDIOEXPORT 5500
#define IDH_AUSDRUCK 5800
#define IDH_DATENDATEI 5700
#define IDH_AUDIOFORMATE 5600
#define IDH_MIDIEINGANG 5900

#endif
