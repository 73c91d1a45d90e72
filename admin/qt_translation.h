// Qt's own Polish texts (standard buttons and dialogs) for morvil_admin.
#pragma once

class QTranslator;

// Loads "qt_pl" from the working directory, else from Qt's installed translations, and installs
// the translator whether or not either was found.
void installQtTranslation(QTranslator& translator);
