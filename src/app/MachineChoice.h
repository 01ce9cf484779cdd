#pragma once
#include <QString>
#include <string>

#include "machine/MachineProfile.h"
#include "serial/PortSettings.h"

// What the window needs around a view's machine: its name as shown, loading
// it with the operator told why it failed, and the line it wants.
namespace machine_choice {

inline constexpr const char* kClassic = "classic";

// "经典 (Sermida.ini)" for the classic machine, else its name.
QString Title(const std::string& name);
// "机床配置“NAME”有误：WHY".
QString ErrorText(const std::string& name, const std::string& error);
// LoadMachine, read afresh; on failure the operator is shown ErrorText.
bool Load(const std::string& name, MachineProfile& out);

// A line to open: settings, and a device path that replaces the port map's
// device (empty: the port map's).
struct Line {
    PortSettings settings;
    std::string address;
};
// The line a machine wants when its view is on COM portNumber (-1: on a
// device, or on none). The classic machine's line is Sermida.ini's, as the
// settings dialog proposes it (its port too, without one given); a
// profile's is its own, on the given port unless the profile names a device.
Line LineFor(const MachineProfile& machine, int portNumber);
bool SameLine(const Line& a, const Line& b);

} // namespace machine_choice
