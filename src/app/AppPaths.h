#pragma once
#include <QString>

// Where the program finds what it ships (the manual, the samples): beside the
// program in a build, under share/sermida when installed, or in the source
// tree. Empty when none of them has it.
QString AppDataFile(const QString& relative);

// Loads Qt's own Chinese texts (standard buttons, file and print dialogs),
// the system's first and then any installed beside the program, and makes
// Chinese the default locale. False when no translation was found.
bool LoadChineseTranslations();
