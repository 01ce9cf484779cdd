#include "cli/CliPortOptions.h"

#include <cerrno>
#include <cstdlib>

#include "settings/SettingsFile.h"

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

bool ParsePortOptions(CliArgs& args, CliPortOptions& out) {
    out.settings = PortSettings{1, 38400, 8, 1, 'N'};
    SettingsTokens saved;
    if (LoadSettingsFile(saved)) {
        int n = 0;
        if (saved.port.rfind("COM", 0) == 0 && ParseInt(saved.port.substr(3), n))
            out.settings.portNumber = n;
        if (ParseInt(saved.baud, n))
            out.settings.baudRate = n;
        if (ParseInt(saved.dataBits, n))
            out.settings.dataBits = uint8_t(n);
        if (ParseInt(saved.stopBits, n))
            out.settings.stopBits = uint8_t(n);
        out.settings.parity = saved.parity.find("奇") != std::string::npos   ? 'O'
                              : saved.parity.find("偶") != std::string::npos ? 'E'
                                                                             : 'N';
    }
    bool bad = false;
    std::string v;
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
        if (!ParseInt(v, n) || n <= 0) {
            CliUsageError("--baud takes a positive number");
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
    if (bad) {
        CliUsageError("an option is missing its value");
        return false;
    }
    return true;
}
