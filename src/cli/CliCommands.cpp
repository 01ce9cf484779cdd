#include "cli/CliCommands.h"

#include <cstdio>

#include "editor/buffer/CTextBuffer.h"

void CliError(const std::string& text) {
    std::fprintf(stderr, "sermida-cli: %s\n", text.c_str());
}

int CliUsageError(const std::string& text) {
    CliError(text);
    std::fprintf(stderr, "Try 'sermida-cli --help'.\n");
    return EXIT_USAGE;
}

namespace {

bool LoadOrSay(CTextBuffer& buffer, const std::string& path) {
    FileError error;
    if (buffer.LoadFromDisk(path, LINE_END_DETECT, &error))
        return true;
    CliError("cannot load " + path + ": " + error.Describe());
    return false;
}

} // namespace

int RunInfo(const CliArgs& args) {
    if (args.size() != 1)
        return CliUsageError("info takes exactly one FILE");
    CTextBuffer buffer;
    if (!LoadOrSay(buffer, args[0]))
        return EXIT_FAILED;
    const int lines = buffer.CountLines();
    long long bytes = 0;
    for (int i = 0; i < lines; ++i)
        bytes += buffer.LineSize(i);
    bytes += static_cast<long long>(lines - 1) * LineBreakBytes(buffer.GetLineEndMode()).size();
    std::printf("lines: %d\nline-end: %s\nbytes: %lld\nencoding: %s\n", lines,
                LineEndName(buffer.GetLineEndMode()), bytes, EncodingName(buffer.Encoding()));
    return EXIT_OK;
}

int RunResave(const CliArgs& args) {
    if (args.empty() || args.size() > 2)
        return CliUsageError("resave takes FILE and an optional OUT");
    const std::string& out = args.size() == 2 ? args[1] : args[0];
    CTextBuffer buffer;
    if (!LoadOrSay(buffer, args[0]))
        return EXIT_FAILED;
    FileError error;
    if (!buffer.SaveToDisk(out, LINE_END_DETECT, true, &error)) {
        CliError("cannot save " + out + ": " + error.Describe());
        return EXIT_FAILED;
    }
    return EXIT_OK;
}
