// `print FILE OUT.pdf`: printing needs the editor's view and Qt, which this
// program does without, so the GUI executable beside it does the work.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/CliCommands.h"
#include "common/SettingsFolder.h"

int RunPrint(const CliArgs& args) {
    if (args.size() != 2)
        return CliUsageError("print takes FILE and OUT.pdf");
    const std::string program = ExecutableFolder() + "/sermida";
    const char* argv[] = {"sermida", "--print", args[0].c_str(), args[1].c_str(), nullptr};
    execv(program.c_str(), const_cast<char* const*>(argv));
    CliError("cannot run " + program + ": " + std::strerror(errno));
    return EXIT_FAILED;
}
