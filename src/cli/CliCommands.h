#pragma once
#include <string>
#include <vector>

// Exit codes shared by every subcommand.
enum : int {
    EXIT_OK = 0,
    EXIT_FAILED = 1,
    EXIT_USAGE = 2,
    EXIT_OVERFLOW = 3,  // vcnc: the controller's input buffer overflowed
    EXIT_CUT = 4,       // receive: the device went away, the program may be cut
    EXIT_STOPPED = 130, // send: stopped by Ctrl+C (SIGINT's own status)
};

using CliArgs = std::vector<std::string>;

int RunInfo(const CliArgs& args);
int RunResave(const CliArgs& args);
int RunSend(const CliArgs& args);
int RunReceive(const CliArgs& args);
int RunVcnc(const CliArgs& args);
int RunPrint(const CliArgs& args);
int RunMachines(const CliArgs& args);
int RunCompare(const CliArgs& args);
int RunLog(const CliArgs& args);
int RunServe(const CliArgs& args);

// Prints "sermida-cli: <text>" on stderr.
void CliError(const std::string& text);
// A usage error: the message, a hint to --help, exit code 2.
int CliUsageError(const std::string& text);
