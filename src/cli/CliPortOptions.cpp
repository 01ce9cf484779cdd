#include "cli/CliPortOptions.h"

#include "machine/ProfileFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "settings/SettingsFile.h"
#include "settings/SettingsProposal.h"

std::string RangeMessage(const std::string& name, long min, long max) {
    return name + " takes a number from " + std::to_string(min) + " to " + std::to_string(max);
}

bool ParseInt(const std::string& text, int& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end || errno || v < INT32_MIN || v > INT32_MAX)
        return false;
    value = int(v);
    return true;
}

bool TakeOption(CliArgs& args, const std::string& name, std::string& value, bool& bad) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != name)
            continue;
        if (i + 1 >= args.size()) {
            bad = true;
            return false;
        }
        value = args[i + 1];
        args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
        return true;
    }
    return false;
}

bool TakeFlag(CliArgs& args, const std::string& name) {
    for (size_t i = 0; i < args.size(); ++i)
        if (args[i] == name) {
            args.erase(args.begin() + long(i));
            return true;
        }
    return false;
}

namespace {

// The line's own options above say which port and how fast; what a profile
// holds beyond the line is taken under its file's keys, "--end-of-block LF"
// for "end_of_block = LF".
bool LineKey(const std::string& key) {
    for (const char* k : {"name", "comment", "port", "device", "baud", "data", "stop", "parity"})
        if (key == k)
            return true;
    return false;
}

bool TakeMachineKeys(CliArgs& args, MachineProfile& machine) {
    for (size_t i = 0; i < args.size();) {
        std::string key = args[i].rfind("--", 0) == 0 ? args[i].substr(2) : std::string();
        std::replace(key.begin(), key.end(), '-', '_');
        std::string error;
        if (key.empty() || LineKey(key) || i + 1 >= args.size() ||
            SetProfileKey(machine, key, args[i + 1], error) == KeyResult::Unknown) {
            ++i;
            continue;
        }
        if (!error.empty()) {
            std::replace(error.begin(), error.end(), '_', '-');
            CliUsageError(args[i] + ": " + error);
            return false;
        }
        args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
    }
    return true;
}

} // namespace

bool ParsePortOptions(CliArgs& args, CliPortOptions& out) {
    // Starting values as the settings dialog would propose them for a view
    // that was never connected: the saved line settings, else the defaults.
    SettingsTokens saved;
    const bool found = LoadSettingsFile(saved);
    const DialogProposal proposal = ProposeSelections(PortSettings{}, found ? &saved : nullptr);
    const DialogSelection selection = SelectionOfProposal(proposal);
    out.settings = SettingsOfChoice(
        {selection.port, proposal.baud, selection.dataBits, selection.stopBits, selection.parity});
    bool bad = false;
    std::string v;
    if (TakeOption(args, "--machine", v, bad)) {
        std::string error;
        if (!LoadMachine(v, out.machine, error)) {
            CliUsageError(error);
            return false;
        }
        // The classic machine is the line the settings dialog keeps.
        if (out.machine.name != "classic") {
            out.settings = out.machine.line;
            out.device = out.machine.device;
        }
    }
    if (TakeOption(args, "--port", v, bad)) {
        std::string digits = v.rfind("COM", 0) == 0 || v.rfind("com", 0) == 0 ? v.substr(3) : v;
        int n = 0;
        if (!ParseInt(digits, n) || n < 1 || n > 9) {
            CliUsageError("--port takes COM1 to COM9");
            return false;
        }
        out.settings.portNumber = n;
    }
    if (TakeOption(args, "--device", v, bad))
        out.device = v;
    int n = 0;
    if (TakeOption(args, "--baud", v, bad)) {
        if (!ParseInt(v, n) || n < kMinBaud || n > kMaxBaud) {
            CliUsageError(RangeMessage("--baud", kMinBaud, kMaxBaud));
            return false;
        }
        out.settings.baudRate = n;
    }
    if (TakeOption(args, "--data", v, bad)) {
        if (!ParseInt(v, n) || n < 5 || n > 8) {
            CliUsageError("--data takes 5 to 8");
            return false;
        }
        out.settings.dataBits = uint8_t(n);
    }
    if (TakeOption(args, "--stop", v, bad)) {
        if (!ParseInt(v, n) || (n != 1 && n != 2)) {
            CliUsageError("--stop takes 1 or 2");
            return false;
        }
        out.settings.stopBits = uint8_t(n);
    }
    if (TakeOption(args, "--parity", v, bad)) {
        if (v != "N" && v != "O" && v != "E") {
            CliUsageError("--parity takes N, O or E");
            return false;
        }
        out.settings.parity = v[0];
    }
    out.noPace = TakeFlag(args, "--no-pace");
    if (!TakeMachineKeys(args, out.machine))
        return false;
    out.settings.rtsCts = out.machine.Line().rtsCts;
    if (bad) {
        CliUsageError("an option is missing its value");
        return false;
    }
    return true;
}
