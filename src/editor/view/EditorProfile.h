#pragma once
#include <QSettings>
#include <memory>

// The program's profile: the editor's remembered choices (groups "Editor/Find",
// "Editor/Replace", ...), an INI file in the settings folder. Sermida.ini is
// not it: that file has a fixed format of its own.
std::unique_ptr<QSettings> OpenProfile();

// Whether document views show line numbers ("Editor/View"); off unless the
// operator turned them on, so the classic look stays.
bool LoadLineNumbersShown();
void SaveLineNumbersShown(bool on);
