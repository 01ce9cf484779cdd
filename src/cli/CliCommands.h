#pragma once
#include <string>
#include <vector>

// Exit codes shared by every subcommand.
enum : int {
    EXIT_OK = 0,
    EXIT_FAILED = 1,
    EXIT_USAGE = 2,
};

using CliArgs = std::vector<std::string>;

int RunInfo(const CliArgs& args);
int RunResave(const CliArgs& args);
int RunSend(const CliArgs& args);
int RunReceive(const CliArgs& args);
int RunVcnc(const CliArgs& args);
int RunPrint(const CliArgs& args);

// Prints "sermida-cli: <text>" on stderr.
void CliError(const std::string& text);
// A usage error: the message, a hint to --help, exit code 2.
int CliUsageError(const std::string& text);
