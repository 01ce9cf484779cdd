#pragma once
#include <string>

#include "cli/CliCommands.h"
#include "machine/MachineProfile.h"
#include "serial/PortSettings.h"

// The [PORT] options shared by send and receive: --port COMn | --device PATH,
// --baud N, --data 5..8, --stop 1|2, --parity N|O|E, --no-pace, --machine NAME.
// Values left out come from the machine, else the saved line settings, else
// COM1 38400 8 1 N.
// The rates sermida-cli takes for a line (send, receive and vcnc alike).
inline constexpr int kMinBaud = 50;
inline constexpr int kMaxBaud = 4'000'000;
// "--NAME takes a number from MIN to MAX", the usage message for such a value.
std::string RangeMessage(const std::string& name, long min, long max);

struct CliPortOptions {
    PortSettings settings;
    std::string device; // empty: the port map's device for the port number
    bool noPace = false;
    // --machine NAME: its line and wire rules; options given beside it win.
    MachineProfile machine;
};

// Takes the options it knows out of args (the rest stays, in order). False,
// after a usage message, for a bad value.
bool ParsePortOptions(CliArgs& args, CliPortOptions& out);

// Takes "--name VALUE" out of args; false when absent. bad is set when the
// option is there without a value.
bool TakeOption(CliArgs& args, const std::string& name, std::string& value, bool& bad);
bool TakeFlag(CliArgs& args, const std::string& name);
bool ParseInt(const std::string& text, int& value);
