#pragma once
// Qt's own dialogs (file dialogs, "Abbrechen", replace questions) in German,
// whatever the system locale: the whole interface is German.

class QCoreApplication;

// Installs Qt's German translations into app; false when they are not installed.
bool LoadQtGermanTranslations(QCoreApplication& app);
