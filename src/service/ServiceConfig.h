#pragma once
#include <string>
#include <vector>

#include "machine/MachineProfile.h"
#include "shopnet/ShopSettings.h"

// What `sermida-cli serve` runs, from a small INI file ('#' starts a comment
// line; values run to the line's end):
//
//   [service]
//   name = cell-a                  keeps services on one broker apart
//   library = /srv/nc              each machine's programs in library/<machine>
//   log = /var/log/sermida         the daily transfer logs
//   [broker]                       left out: no broker
//   host = 127.0.0.1
//   port = 1883
//   username, password, client_id, tls_ca, tls_cert, tls_key, prefix
//   [machine lathe1]
//   profile = fanuc-iso            a preset, or machines/<name>.ini
//   device = rfc2217://10.0.0.5:4001
//   request_number = O9999         a punched request program ("none": off)
//   request_delay_seconds = 5      time to switch the control to read mode
//   name_pattern = ^\(NAME=(\w+)\)  the program's name, instead of O-numbers
//   library = /srv/nc/lathe        instead of <service library>/lathe1
//
// Any other key of a profile's file may follow `profile` in a machine's
// section and changes that machine's copy of it (baud = 19200). An unknown
// key, a missing profile or two machines on one port is an error naming its
// line: the service does not start on a config it cannot follow.
struct ServedMachine {
    std::string name;
    MachineProfile profile;
    std::string library;
    std::string requestNumber = "O9999"; // empty: no requests
    int requestDelaySeconds = 5;
    std::string namePattern;
    int line = 0; // where its section begins
};

struct ServiceConfig {
    std::string name = "dnc";
    std::string library;
    std::string log;
    ShopBrokerSettings broker; // host empty: none
    std::vector<ServedMachine> machines;
};

// Where the config is when none is named: dnc.ini in the settings folder.
// The desktop program looks there too, for the library and the broker.
std::string DefaultServiceConfigPath();
// The service's library when its config names none: dnc/programs in the
// settings folder.
std::string DefaultServiceLibrary();

// Reads the config's text; false with "line N: reason".
bool ParseServiceConfig(const std::string& text, ServiceConfig& out, std::string& error);
// Reads the file; false with "FILE: line N: reason" or why it could not be read.
// Relative folders (library, log) are taken from the file's own folder.
bool LoadServiceConfig(const std::string& path, ServiceConfig& out, std::string& error);
// Only [service] and [broker] of the file: machine sections are passed over
// unread, and a config without any is fine; the broker's settings are not
// checked (CheckShopBrokerSettings). For a program that shows what the
// service does, and needs neither the machines' profiles nor their lines.
bool LoadServiceSettings(const std::string& path, ServiceConfig& out, std::string& error);
// Where a machine's line is, for telling two machines on one port apart:
// its address or device path (resolved), else its COM port's device.
std::string LineIdentity(const MachineProfile& profile);
