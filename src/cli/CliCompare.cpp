// `compare [--keep-...] A B`: a program punched back from the machine against
// the stored one, leaving out what the controller changes by itself.
#include <cstdio>

#include "cli/CliCommands.h"
#include "editor/buffer/CTextBuffer.h"
#include "editor/text/ProgramCompare.h"

namespace {

// Exit status as diff(1) has it: 1 says "they differ", so a file that cannot
// be read must not give 1 as well.
constexpr int kCompareTrouble = 2;

} // namespace

int RunCompare(const CliArgs& args) {
    CompareOptions options;
    std::vector<std::string> files;
    bool optionsEnd = false;
    for (const std::string& arg : args) {
        if (!optionsEnd && arg == "--")
            optionsEnd = true;
        else if (!optionsEnd && arg == "--keep-comments")
            options.keepComments = true;
        else if (!optionsEnd && arg == "--keep-blanks")
            options.keepBlanks = true;
        else if (!optionsEnd && arg == "--keep-percent")
            options.keepPercent = true;
        else if (!optionsEnd && arg == "--keep-spaces")
            options.keepSpaces = true;
        else if (!optionsEnd && arg.size() > 1 && arg[0] == '-')
            return CliUsageError("compare: unknown option '" + arg + "'");
        else
            files.push_back(arg);
    }
    if (files.size() != 2)
        return CliUsageError("compare takes two FILEs");

    CTextBuffer buffers[2];
    for (int i = 0; i < 2; ++i) {
        FileError error;
        if (!buffers[i].LoadFromDisk(files[size_t(i)], LINE_END_DETECT, &error)) {
            CliError("cannot load " + files[size_t(i)] + ": " + error.Describe());
            return kCompareTrouble;
        }
    }
    const std::vector<std::string_view> a = ProgramLines(buffers[0]);
    const std::vector<std::string_view> b = ProgramLines(buffers[1]);
    const CompareResult result = ComparePrograms(a, b, options);
    if (result.Equal())
        return EXIT_OK;
    const std::string listing = UnifiedDiff(result, a, b, files[0], files[1]);
    if (std::fwrite(listing.data(), 1, listing.size(), stdout) != listing.size() ||
        std::fflush(stdout) != 0) {
        CliError("cannot write the differences");
        return kCompareTrouble;
    }
    return EXIT_FAILED;
}
