#pragma once
#include <string>
#include <vector>

#include "machine/ReceiveRules.h"
#include "machine/WireRules.h"
#include "serial/PortSettings.h"

// Everything a machine's controller needs of the line and of the program: one
// per machine in the shop, kept as machines/NAME.ini in the settings folder.
// The classic profile is the program's own behaviour with Sermida.ini.
struct MachineProfile {
    enum class Flow { XonXoff, RtsCts, Both, None };

    std::string name;
    std::string comment;
    bool preset = false; // shipped with the program: read-only

    // The line. An empty device means the port map's device for the port.
    PortSettings line{1, 9600, 8, 1, 'N'};
    std::string device;
    Flow flow = Flow::XonXoff;
    // After a DC3 the controller takes at most this many more characters;
    // 0: whole lines, as the classic profile sends them.
    int xoffCharacters = 0;

    WireRules wire;
    ReceiveRules receive;

    // Whether our own code obeys the controller's DC3 and DC1.
    bool ObeysXonXoff() const { return flow == Flow::XonXoff || flow == Flow::Both; }
    // The line to open: the profile's settings, with RTS/CTS when it asks.
    PortSettings Line() const;
};

const char* FlowName(MachineProfile::Flow flow); // "xonxoff", "rtscts", "both", "none"
bool ParseFlow(const std::string& name, MachineProfile::Flow& out);

// The presets, the classic one first. Their names are what --machine takes.
const std::vector<MachineProfile>& Presets();
const MachineProfile* FindPreset(const std::string& name);
