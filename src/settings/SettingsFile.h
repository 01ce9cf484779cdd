#pragma once
#include <string>

#include "serial/PortSettings.h"

// The five line parameters of the last successful connection, as the texts
// that Sermida.ini holds: port "COM1".."COM9", baud rate, data bits, stop bits
// and parity word. Here the parity word is UTF-8 ("无", "奇校验", "偶校验");
// on disk it is GBK.
struct SettingsTokens {
    std::string port;
    std::string baud;
    std::string dataBits;
    std::string stopBits;
    std::string parity;
};

// Sermida.ini in the settings folder.
std::string SettingsFilePath();

// Reads the first line of Sermida.ini. A token that is missing, not in its
// position's accepted set (exact, case-sensitive) or longer than 31 bytes is
// replaced by that position's default. Returns false, leaving tokens as they
// were, when the file cannot be read. Never shows anything.
bool LoadSettingsFile(SettingsTokens& tokens);

// Writes "port baud data stop parity", one blank apart, with no line end; the
// parity word goes to disk as GBK. The old file stays whole when writing
// fails. Returns whether the file was written; callers show nothing either way.
bool SaveSettingsFile(const SettingsTokens& tokens);

// The tokens a successful connection stores: "COM%d", "%ld", "%d", "%d" and
// the parity word ("错误" for a character other than N, O, E).
SettingsTokens TokensOfSettings(const PortSettings& settings);
