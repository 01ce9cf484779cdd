#include "machine/ProfileFile.h"

#include <algorithm>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <type_traits>

#include "common/AtomicFile.h"
#include "common/SettingsFolder.h"
#include "common/TextFields.h"

namespace {

bool ParseYesNo(const std::string& text, bool& out) {
    if (text == "yes" || text == "true" || text == "1")
        out = true;
    else if (text == "no" || text == "false" || text == "0")
        out = false;
    else
        return false;
    return true;
}

const char* YesNo(bool on) {
    return on ? "yes" : "no";
}

// One key's value into the profile; the reason when it does not fit.
std::string Apply(const std::string& key, const std::string& value, MachineProfile& p) {
    std::string bytes, why;
    // The target changes only when the value fits.
    const auto number = [&](auto& target, long min, long max) {
        long n = 0;
        if (!ParseNumber(value, min, max, n))
            return "\"" + key + "\" takes a number from " + std::to_string(min) + " to " +
                   std::to_string(max);
        target = static_cast<std::remove_reference_t<decltype(target)>>(n);
        return std::string();
    };
    const auto flag = [&](bool& target) {
        return ParseYesNo(value, target) ? std::string() : "\"" + key + "\" takes yes or no";
    };
    const auto text = [&](std::string& target) {
        if (!Unescape(value, bytes, &why))
            return "\"" + key + "\": " + why;
        target = bytes;
        return std::string();
    };
    if (key == "name")
        return (p.name = value, std::string());
    if (key == "comment")
        return (p.comment = value, std::string());
    if (key == "port") {
        if (value.size() != 4 || value.compare(0, 3, "COM") != 0 || value[3] < '1' ||
            value[3] > '9')
            return "\"port\" takes COM1 to COM9";
        p.line.portNumber = value[3] - '0';
        return {};
    }
    if (key == "device")
        return (p.device = value, std::string());
    if (key == "baud")
        return number(p.line.baudRate, 50, 4000000);
    if (key == "data")
        return number(p.line.dataBits, 5, 8);
    if (key == "stop")
        return number(p.line.stopBits, 1, 2);
    if (key == "parity") {
        if (value != "N" && value != "O" && value != "E")
            return "\"parity\" takes N, O or E";
        p.line.parity = value[0];
        return {};
    }
    if (key == "flow")
        return ParseFlow(value, p.flow) ? std::string()
                                        : "\"flow\" takes xonxoff, rtscts, both or none";
    if (key == "xoff_characters")
        return number(p.xoffCharacters, 0, 4096);
    if (key == "end_of_block")
        return ParseEndOfBlock(value, p.wire.endOfBlock)
                   ? std::string()
                   : "\"end_of_block\" takes CRLF, LF, CR or LFCRCR";
    if (key == "strip_semicolon_comments")
        return flag(p.wire.stripSemicolonComments);
    if (key == "strip_paren_comments")
        return flag(p.wire.stripParenComments);
    if (key == "strip_spaces")
        return flag(p.wire.stripSpaces);
    if (key == "skip_blank_lines")
        return flag(p.wire.skipBlankLines);
    if (key == "leader")
        return text(p.wire.leader);
    if (key == "trailer")
        return text(p.wire.trailer);
    if (key == "delay_before_start_ms")
        return number(p.wire.delayBeforeStartMs, 0, 60000);
    if (key == "delay_after_line_ms")
        return number(p.wire.delayAfterLineMs, 0, 60000);
    if (key == "delay_per_character_ms")
        return number(p.wire.delayPerCharacterMs, 0, 60000);
    if (key == "delay_after_dc1_ms")
        return number(p.wire.delayAfterDc1Ms, 0, 60000);
    if (key == "wait_for_dc1")
        return flag(p.wire.waitForDc1);
    if (key == "dc1_timeout_seconds")
        return number(p.wire.dc1TimeoutSeconds, 0, 86400);
    if (key == "stall_limit_seconds")
        return number(p.wire.stallLimitSeconds, 0, 86400);
    if (key == "stop_on_stall")
        return flag(p.wire.stopOnStall);
    if (key == "receive_start")
        return text(p.receive.start);
    if (key == "receive_end")
        return text(p.receive.end);
    if (key == "receive_strip_controls")
        return flag(p.receive.stripControls);
    if (key == "receive_end_of_line")
        return ParseLineEnd(value, p.receive.lineEnd) ? std::string()
                                                      : "\"receive_end_of_line\" takes LF or CR";
    if (key == "receive_idle_seconds")
        return number(p.receive.idleSeconds, 0, 86400);
    return "unknown key \"" + key + "\"";
}

} // namespace

KeyResult SetProfileKey(MachineProfile& profile, const std::string& key, const std::string& value,
                        std::string& error) {
    error = Apply(key, value, profile);
    if (error.empty())
        return KeyResult::Set;
    return error.rfind("unknown key", 0) == 0 ? KeyResult::Unknown : KeyResult::Bad;
}

std::string ProfileText(const MachineProfile& p) {
    std::ostringstream o;
    o << "# Sermida machine profile\n[machine]\n";
    o << "name = " << p.name << "\n";
    o << "comment = " << p.comment << "\n";
    if (!p.device.empty())
        o << "device = " << p.device << "\n";
    else
        o << "port = COM" << p.line.portNumber << "\n";
    o << "baud = " << p.line.baudRate << "\n";
    o << "data = " << int(p.line.dataBits) << "\n";
    o << "parity = " << p.line.parity << "\n";
    o << "stop = " << int(p.line.stopBits) << "\n";
    o << "flow = " << FlowName(p.flow) << "\n";
    o << "xoff_characters = " << p.xoffCharacters << "\n";
    o << "end_of_block = " << EndOfBlockName(p.wire.endOfBlock) << "\n";
    o << "strip_semicolon_comments = " << YesNo(p.wire.stripSemicolonComments) << "\n";
    o << "strip_paren_comments = " << YesNo(p.wire.stripParenComments) << "\n";
    o << "strip_spaces = " << YesNo(p.wire.stripSpaces) << "\n";
    o << "skip_blank_lines = " << YesNo(p.wire.skipBlankLines) << "\n";
    o << "leader = " << Escape(p.wire.leader) << "\n";
    o << "trailer = " << Escape(p.wire.trailer) << "\n";
    o << "delay_before_start_ms = " << p.wire.delayBeforeStartMs << "\n";
    o << "delay_after_line_ms = " << p.wire.delayAfterLineMs << "\n";
    o << "delay_per_character_ms = " << p.wire.delayPerCharacterMs << "\n";
    o << "delay_after_dc1_ms = " << p.wire.delayAfterDc1Ms << "\n";
    o << "wait_for_dc1 = " << YesNo(p.wire.waitForDc1) << "\n";
    o << "dc1_timeout_seconds = " << p.wire.dc1TimeoutSeconds << "\n";
    o << "stall_limit_seconds = " << p.wire.stallLimitSeconds << "\n";
    o << "stop_on_stall = " << YesNo(p.wire.stopOnStall) << "\n";
    o << "receive_start = " << Escape(p.receive.start) << "\n";
    o << "receive_end = " << Escape(p.receive.end) << "\n";
    o << "receive_strip_controls = " << YesNo(p.receive.stripControls) << "\n";
    o << "receive_end_of_line = " << LineEndName(p.receive.lineEnd) << "\n";
    o << "receive_idle_seconds = " << p.receive.idleSeconds << "\n";
    return o.str();
}

bool ParseProfile(const std::string& text, MachineProfile& out, std::string& error) {
    MachineProfile p;
    std::istringstream in(text);
    std::string raw;
    int number = 0;
    bool inMachine = false;
    while (std::getline(in, raw)) {
        ++number;
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        const std::string where = "line " + std::to_string(number) + ": ";
        if (line.front() == '[') {
            inMachine = line == "[machine]";
            if (!inMachine) {
                error = where + "unknown section " + line;
                return false;
            }
            continue;
        }
        const size_t eq = line.find('=');
        if (!inMachine || eq == std::string::npos) {
            error = where + (inMachine ? "expected key = value" : "expected [machine] first");
            return false;
        }
        // Values keep their inner spaces; a leader of spaces is written escaped.
        if (std::string why; SetProfileKey(p, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)),
                                           why) != KeyResult::Set) {
            error = where + why;
            return false;
        }
    }
    if (!inMachine) {
        error = "no [machine] section";
        return false;
    }
    out = p;
    return true;
}

std::string MachinesFolder() {
    return SettingsFolder() + "/machines";
}

bool ValidMachineName(const std::string& name) {
    if (name.empty() || name.size() > 64 || name[0] == '.')
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_' || c == '.';
    });
}

bool LoadMachine(const std::string& name, MachineProfile& out, std::string& error) {
    if (!ValidMachineName(name)) {
        error = "\"" + name + "\" is not a machine name (letters, digits, - _ .)";
        return false;
    }
    const std::string path = MachinesFolder() + "/" + name + ".ini";
    std::ifstream file(path, std::ios::binary);
    if (file) {
        std::ostringstream text;
        text << file.rdbuf();
        if (!ParseProfile(text.str(), out, error)) {
            error = path + ": " + error;
            return false;
        }
        out.name = name; // the file's name is the machine's
        out.preset = false;
        return true;
    }
    if (const MachineProfile* preset = FindPreset(name)) {
        out = *preset;
        return true;
    }
    error = "no machine \"" + name + "\" (sermida-cli machines lists them)";
    return false;
}

bool SaveMachine(const MachineProfile& profile, std::string& error) {
    if (profile.preset || FindPreset(profile.name)) {
        error = "\"" + profile.name + "\" is a preset: save it under a name of its own";
        return false;
    }
    if (!ValidMachineName(profile.name)) {
        error = "\"" + profile.name + "\" is not a machine name (letters, digits, - _ .)";
        return false;
    }
    const std::string folder = MachinesFolder();
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        error = "cannot make " + folder + ": " + std::strerror(errno);
        return false;
    }
    AtomicFile file;
    FileError failure;
    if (!file.Open(folder + "/" + profile.name + ".ini", &failure) ||
        !file.Write(ProfileText(profile), &failure) || !file.Commit(&failure)) {
        error = failure.Describe();
        return false;
    }
    return true;
}

std::vector<std::string> SavedMachines() {
    std::vector<std::string> names;
    DIR* dir = ::opendir(MachinesFolder().c_str());
    if (!dir)
        return names;
    while (const dirent* e = ::readdir(dir)) {
        const std::string file = e->d_name;
        if (file.size() > 4 && file.compare(file.size() - 4, 4, ".ini") == 0 &&
            ValidMachineName(file.substr(0, file.size() - 4)))
            names.push_back(file.substr(0, file.size() - 4));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}
