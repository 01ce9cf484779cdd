#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "serial/PortSettings.h"
#include "settings/SettingsFile.h"

// The texts the settings dialog selects when it opens, one per combo box.
struct DialogProposal {
    std::string port;
    std::string baud;
    std::string dataBits;
    std::string stopBits;
    std::string parity;
};

// Per box: the view's current value when it is an accepted one, else the
// file's token when the file was found (file non-null), else the default.
DialogProposal ProposeSelections(const PortSettings& current, const SettingsTokens* file);

// The combo box's select-string rule: index of the first entry that begins
// with text, ignoring ASCII case; -1 when none does (the box is then left
// without a selection).
int SelectStringIndex(const std::vector<std::string_view>& list, std::string_view text);

// A proposal as list indices of the five boxes, -1 for no selection.
struct DialogSelection {
    int port = -1;
    int baud = -1;
    int dataBits = -1;
    int stopBits = -1;
    int parity = -1;
};
DialogSelection SelectionOfProposal(const DialogProposal& proposal);

// What the dialog holds when OK is pressed: the selection index of the four
// index-read boxes (-1 for none) and the text shown in the baud box.
struct DialogChoice {
    int portIndex = -1;
    std::string baudText;
    int dataBitsIndex = -1;
    int stopBitsIndex = -1;
    int parityIndex = -1;
};

// The line parameters OK connects with. A box without a selection gives that
// box's default (COM1, 8, 1, none); a baud text whose decimal value is 0 gives
// 38400.
PortSettings SettingsOfChoice(const DialogChoice& choice);
