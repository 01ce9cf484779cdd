// sermida-cli machines: the presets and the profiles saved in the settings
// folder, one a line, with what each sends.
#include <cstdio>

#include "cli/CliCommands.h"
#include "machine/ProfileFile.h"

namespace {

void PrintMachine(const MachineProfile& p, const char* kind) {
    const PortSettings& l = p.line;
    std::printf("%-18s %-6s %7d %d%c%d  %-7s %-6s %s\n", p.name.c_str(), kind, l.baudRate,
                int(l.dataBits), l.parity, int(l.stopBits), FlowName(p.flow),
                EndOfBlockName(p.wire.endOfBlock), p.comment.c_str());
}

} // namespace

int RunMachines(const CliArgs& args) {
    if (args.size() == 1) { // one machine's whole profile, as its file holds it
        MachineProfile p;
        std::string error;
        if (!LoadMachine(args[0], p, error)) {
            CliError(error);
            return EXIT_FAILED;
        }
        std::fputs(ProfileText(p).c_str(), stdout);
        return EXIT_OK;
    }
    if (!args.empty())
        return CliUsageError("machines takes [NAME]");
    std::printf("%-18s %-6s %7s %-5s %-7s %-6s %s\n", "NAME", "KIND", "BAUD", "LINE", "FLOW", "EOB",
                "COMMENT");
    for (const MachineProfile& p : Presets())
        PrintMachine(p, "preset");
    for (const std::string& name : SavedMachines()) {
        MachineProfile p;
        std::string error;
        if (LoadMachine(name, p, error))
            PrintMachine(p, "saved");
        else
            CliError(error); // listed as broken, never silently skipped
    }
    return EXIT_OK;
}
