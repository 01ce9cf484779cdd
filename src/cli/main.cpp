// sermida-cli: the program's core without a window, for scripts and tests.
#include <csignal>
#include <cstdio>
#include <cstring>

#include "cli/CliCommands.h"

namespace {

constexpr const char* kHelp =
    R"(Usage: sermida-cli COMMAND [ARGS]

Move CNC part programs between this computer and a machine controller.

Commands:
  info FILE          print the lines, line-end style and size of FILE as the
                     editor loads it
  resave FILE [OUT]  load FILE as the editor does and save it as the editor
                     does to OUT (default: FILE itself)

Options:
  -h, --help         show this help

Exit status: 0 success, 1 failure (the reason on stderr), 2 usage error.
)";

struct Command {
    const char* name;
    int (*run)(const CliArgs&);
};

constexpr Command kCommands[] = {
    {"info", RunInfo},
    {"resave", RunResave},
};

} // namespace

int main(int argc, char** argv) {
    // A write past the file-size limit must fail the save, not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);

    if (argc < 2)
        return CliUsageError("no command given");
    const char* name = argv[1];
    if (!std::strcmp(name, "-h") || !std::strcmp(name, "--help") || !std::strcmp(name, "help")) {
        std::fputs(kHelp, stdout);
        return EXIT_OK;
    }
    CliArgs args(argv + 2, argv + argc);
    for (const Command& cmd : kCommands)
        if (!std::strcmp(name, cmd.name))
            return cmd.run(args);
    return CliUsageError(std::string("unknown command '") + name + "'");
}
