#pragma once
#include <string>

// The folder that holds Sermida.ini, Sermida.ports and the editor's settings:
// $SERMIDA_HOME when set; else the program's own folder when Sermida.ini is
// there or the folder is writable; else $XDG_CONFIG_HOME/Sermida
// (~/.config/Sermida). Created when missing. No trailing slash.
std::string SettingsFolder();

// The same choice from the given environment values (null when unset) and
// executable folder.
std::string SettingsFolderOf(const char* sermidaHome, const std::string& exeFolder,
                             const char* xdgConfigHome, const char* home);

// The folder of the running executable.
std::string ExecutableFolder();
