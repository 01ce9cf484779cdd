#pragma once
#include <string>
#include <vector>

#include "common/FileError.h"
#include "machine/MachineProfile.h"

// A machine profile as a small INI file that a person can read and edit:
// "key = value" lines under [machine], '#' comments, texts with escapes.
// Keys left out keep the classic values; an unknown key or a bad value is an
// error naming its line, so a typing slip never sends a program wrongly.

// The text of a profile's file.
std::string ProfileText(const MachineProfile& profile);
// Reads a profile's text; false with the reason ("line 7: ...").
bool ParseProfile(const std::string& text, MachineProfile& out, std::string& error);

// One "key = value" of a profile's file, on its own (the command line's
// options take the same keys). Bad and Unknown come with the reason.
enum class KeyResult { Set, Unknown, Bad };
KeyResult SetProfileKey(MachineProfile& profile, const std::string& key, const std::string& value,
                        std::string& error);

// The folder of the profiles: machines/ in the settings folder.
std::string MachinesFolder();
// Loads NAME from machines/NAME.ini, else the preset of that name.
bool LoadMachine(const std::string& name, MachineProfile& out, std::string& error);
// Writes machines/NAME.ini whole or not at all; presets are refused.
bool SaveMachine(const MachineProfile& profile, std::string& error);
// The names in machines/, sorted; presets not included.
std::vector<std::string> SavedMachines();
// A name is a file name: letters, digits, '-', '_' and '.', not starting with '.'.
bool ValidMachineName(const std::string& name);
