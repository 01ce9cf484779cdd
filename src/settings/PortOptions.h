#pragma once
#include <array>
#include <string>
#include <string_view>

#include "serial/PortSettings.h"

// What the operator may choose for a line, and what the settings file may
// hold. List texts are UTF-8, as the dialog shows them; the parity words are
// stored as GBK in the file (see SettingsFile.h).
namespace port_options {

// The lists of the dialog's five combo boxes, in their order.
inline constexpr std::array<std::string_view, 9> kPortList = {
    "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9"};
inline constexpr std::array<std::string_view, 8> kBaudList = {"115200", "57600", "38400", "19200",
                                                              "9600",   "7200",  "4800",  "2400"};
inline constexpr std::array<std::string_view, 4> kDataBitsList = {"5", "6", "7", "8"};
inline constexpr std::array<std::string_view, 2> kStopBitsList = {"1", "2"};
inline constexpr std::array<std::string_view, 3> kParityList = {"无", "奇校验", "偶校验"};

// Rates the settings file and the dialog's initial selection accept; three of
// them (8800, 14400, 56000) are not in the dialog's list.
inline constexpr std::array<int, 11> kAcceptedBaudRates = {2400,  4800,  7200,  8800,  9600,  14400,
                                                           19200, 38400, 56000, 57600, 115200};

inline constexpr std::string_view kDefaultPort = "COM1";
inline constexpr std::string_view kDefaultBaud = "38400";
inline constexpr std::string_view kDefaultDataBits = "8";
inline constexpr std::string_view kDefaultStopBits = "1";
inline constexpr std::string_view kDefaultParity = "无";

inline constexpr int kDefaultBaudRate = 38400;

// Parity word (UTF-8) of a parity character; "错误" for anything else.
std::string_view ParityWord(char parity);

} // namespace port_options
