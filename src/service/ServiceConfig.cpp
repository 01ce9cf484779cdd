#include "service/ServiceConfig.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "common/SettingsFolder.h"
#include "common/TextFields.h"
#include "dnc/ProgramName.h"
#include "dnc/TransferLog.h"
#include "machine/ProfileFile.h"
#include "serial/PortMap.h"

namespace {

// An int field within [min, max].
bool Number(const std::string& value, int min, int max, int& out) {
    long n = 0;
    if (!ParseNumber(value, min, max, n))
        return false;
    out = int(n);
    return true;
}

std::string Range(int min, int max) {
    return "takes a number from " + std::to_string(min) + " to " + std::to_string(max);
}

// One key of [service]; false with the reason.
bool ServiceKey(ServiceConfig& c, const std::string& key, const std::string& value,
                std::string& why) {
    if (key == "name") {
        if (!ValidMachineName(value)) {
            why = "name takes letters, digits, '-', '_' and '.'";
            return false;
        }
        c.name = value;
    } else if (key == "library") {
        c.library = value;
    } else if (key == "log") {
        c.log = value;
    } else {
        why = "unknown key '" + key + "' in [service]";
        return false;
    }
    return true;
}

bool BrokerKey(ShopBrokerSettings& b, const std::string& key, const std::string& value,
               std::string& why) {
    std::map<std::string, std::string*> texts = {
        {"host", &b.host},         {"client_id", &b.clientId}, {"username", &b.username},
        {"password", &b.password}, {"tls_ca", &b.caFile},      {"tls_cert", &b.certFile},
        {"tls_key", &b.keyFile},   {"prefix", &b.prefix},
    };
    if (auto t = texts.find(key); t != texts.end()) {
        *t->second = value;
        if (key.rfind("tls_", 0) == 0)
            b.tls = true;
        return true;
    }
    if (key == "port" || key == "keepalive_seconds") {
        int& target = key == "port" ? b.port : b.keepaliveSeconds;
        const int min = key == "port" ? 1 : 5, max = key == "port" ? 65535 : 3600;
        if (!Number(value, min, max, target)) {
            why = key + " " + Range(min, max);
            return false;
        }
        return true;
    }
    why = "unknown key '" + key + "' in [broker]";
    return false;
}

struct Section {
    // Skipped: a machine's section when only the service's own are read.
    enum Kind { None, Service, Broker, Machine, Skipped } kind = None;
};

bool Parse(const std::string& text, bool withMachines, ServiceConfig& out, std::string& error);

bool LoadFile(const std::string& path, bool withMachines, ServiceConfig& out, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": cannot be read";
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (!Parse(text.str(), withMachines, out, error)) {
        error = path + ": " + error;
        return false;
    }
    // Folders are the config's own: relative to its file, not to wherever
    // the service (or the desktop program reading it) was started.
    std::string folder = path.substr(0, path.find_last_of('/') + 1);
    if (folder.empty() || folder[0] != '/') {
        char* cwd = ::getcwd(nullptr, 0);
        folder = std::string(cwd ? cwd : ".") + "/" + folder;
        std::free(cwd);
    }
    const auto anchor = [&folder](std::string& p) {
        if (!p.empty() && p[0] != '/')
            p = folder + p;
    };
    anchor(out.library);
    anchor(out.log);
    for (ServedMachine& m : out.machines)
        anchor(m.library);
    return true;
}

} // namespace

std::string DefaultServiceConfigPath() {
    return SettingsFolder() + "/dnc.ini";
}

std::string DefaultServiceLibrary() {
    return SettingsFolder() + "/dnc/programs";
}

std::string LineIdentity(const MachineProfile& profile) {
    std::string device = profile.device;
    if (device.empty())
        device = DevicePathOfPort(profile.line.portNumber);
    if (device.find("://") != std::string::npos)
        return device;
    // Two names for one device (a link, a relative path) are one port.
    if (char* real = ::realpath(device.c_str(), nullptr)) {
        device = real;
        std::free(real);
    }
    return device;
}

bool ParseServiceConfig(const std::string& text, ServiceConfig& out, std::string& error) {
    return Parse(text, true, out, error);
}

bool LoadServiceConfig(const std::string& path, ServiceConfig& out, std::string& error) {
    return LoadFile(path, true, out, error);
}

bool LoadServiceSettings(const std::string& path, ServiceConfig& out, std::string& error) {
    return LoadFile(path, false, out, error);
}

namespace {

bool Parse(const std::string& text, bool withMachines, ServiceConfig& out, std::string& error) {
    ServiceConfig c;
    std::istringstream in(text);
    std::string raw;
    int number = 0;
    Section::Kind section = Section::None;
    bool profileGiven = false;
    std::map<std::string, int> names, lines; // machine name, line identity -> line
    const auto fail = [&](const std::string& why) {
        error = "line " + std::to_string(number) + ": " + why;
        return false;
    };
    while (std::getline(in, raw)) {
        ++number;
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        if (line.front() == '[') {
            if (section == Section::Machine && !profileGiven)
                return fail("machine " + c.machines.back().name + " has no profile");
            if (line == "[service]") {
                section = Section::Service;
            } else if (line == "[broker]") {
                section = Section::Broker;
                if (c.broker.host.empty())
                    c.broker.host = "localhost";
            } else if (line.rfind("[machine ", 0) == 0 && line.back() == ']' && !withMachines) {
                section = Section::Skipped;
            } else if (line.rfind("[machine ", 0) == 0 && line.back() == ']') {
                section = Section::Machine;
                ServedMachine m;
                m.name = Trim(line.substr(9, line.size() - 10));
                m.line = number;
                if (!ValidMachineName(m.name))
                    return fail("a machine's name takes letters, digits, '-', '_' and '.'");
                if (names.count(m.name))
                    return fail("machine " + m.name + " is already on line " +
                                std::to_string(names[m.name]));
                names[m.name] = number;
                c.machines.push_back(std::move(m));
                profileGiven = false;
            } else {
                return fail("unknown section " + line);
            }
            continue;
        }
        if (section == Section::Skipped)
            continue;
        const size_t eq = line.find('=');
        if (section == Section::None || eq == std::string::npos)
            return fail(section == Section::None ? "expected a [section] first"
                                                 : "expected key = value");
        const std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
        std::string why;
        if (section == Section::Service) {
            if (!ServiceKey(c, key, value, why))
                return fail(why);
            continue;
        }
        if (section == Section::Broker) {
            if (!BrokerKey(c.broker, key, value, why))
                return fail(why);
            continue;
        }
        ServedMachine& m = c.machines.back();
        if (key == "profile") {
            if (profileGiven)
                return fail("profile is given twice");
            if (!LoadMachine(value, m.profile, why))
                return fail(why);
            profileGiven = true;
            continue;
        }
        if (!profileGiven)
            return fail("profile must come first in a machine's section");
        if (key == "library") {
            m.library = value;
        } else if (key == "request_number") {
            if (value == "none") {
                m.requestNumber.clear();
            } else {
                const std::vector<std::string> names = RequestedNames(value);
                if (names.empty() || names[0][0] != 'O')
                    return fail("request_number takes a program number such as O9999, or none");
                m.requestNumber = names[0];
            }
        } else if (key == "request_delay_seconds") {
            if (!Number(value, 0, 3600, m.requestDelaySeconds))
                return fail("request_delay_seconds " + Range(0, 3600));
        } else if (key == "name_pattern") {
            NamePattern pattern;
            if (!pattern.Set(value, why))
                return fail("name_pattern: " + why);
            m.namePattern = value;
        } else if (SetProfileKey(m.profile, key, value, why) != KeyResult::Set) {
            return fail(why);
        }
    }
    if (section == Section::Machine && !profileGiven)
        return fail("machine " + c.machines.back().name + " has no profile");
    if (c.machines.empty() && withMachines) {
        error = "no [machine NAME] section: nothing to serve";
        return false;
    }
    if (c.library.empty())
        c.library = DefaultServiceLibrary();
    if (c.log.empty())
        c.log = TransferLog::DefaultFolder();
    c.broker.service = c.name;
    for (ServedMachine& m : c.machines) {
        if (m.library.empty())
            m.library = c.library + "/" + m.name;
        const std::string identity = LineIdentity(m.profile);
        if (auto seen = lines.find(identity); seen != lines.end()) {
            error = "line " + std::to_string(m.line) + ": machine " + m.name + " is on " +
                    identity + ", as the machine on line " + std::to_string(seen->second) + " is";
            return false;
        }
        lines[identity] = m.line;
    }
    // Whoever reads only the service's own sections checks the broker where
    // it connects: a TLS file the service can read may be closed to others.
    if (!c.broker.host.empty() && withMachines) {
        std::string why;
        if (!CheckShopBrokerSettings(c.broker, why)) {
            error = "[broker]: " + why;
            return false;
        }
    }
    out = std::move(c);
    return true;
}

} // namespace
