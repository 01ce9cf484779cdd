// `log [--dir DIR] [filters] [--json]`: the transfers the DNC service wrote
// down, picked out by machine, program, direction, result and time.
#include <algorithm>
#include <cstdio>

#include "cli/CliCommands.h"
#include "common/MessageSink.h"
#include "dnc/TransferFilter.h"
#include "dnc/TransferLog.h"

namespace {

// A hand-edited or damaged log may hold anything: a line end or a terminal
// escape must not reach the screen.
std::string Shown(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    return out;
}

// Columns taken by UTF-8 text: one per character (names are short and mostly ASCII).
size_t Columns(const std::string& text) {
    return size_t(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string PadRight(const std::string& text, size_t width) {
    const size_t used = Columns(text);
    return used >= width ? text : text + std::string(width - used, ' ');
}

struct Row {
    std::string time, machine, direction, program, lines, bytes, result, sha, reason;
};

Row RowOf(const TransferRecord& r) {
    return {LocalTimeText(r.end),
            Shown(r.machine),
            DirectionName(r.direction),
            Shown(r.program),
            std::to_string(r.lines),
            std::to_string(r.bytes),
            Shown(r.result),
            r.sha256.empty() ? "-" : Shown(r.sha256.substr(0, 8)),
            Shown(r.reason)};
}

void PrintTable(const std::vector<Row>& rows) {
    Row header{"TIME", "MACHINE", "DIR", "PROGRAM", "LINES", "BYTES", "RESULT", "SHA256", "REASON"};
    auto width = [&](std::string Row::*field) {
        size_t w = Columns(header.*field);
        for (const Row& row : rows)
            w = std::max(w, Columns(row.*field));
        return w;
    };
    const size_t wMachine = width(&Row::machine), wProgram = width(&Row::program),
                 wLines = width(&Row::lines), wBytes = width(&Row::bytes),
                 wResult = width(&Row::result);
    auto print = [&](const Row& row) {
        std::string line = PadRight(row.time, 19) + "  " + PadRight(row.machine, wMachine) + "  " +
                           PadRight(row.direction, 7) + "  " + PadRight(row.program, wProgram) +
                           "  " + std::string(wLines - Columns(row.lines), ' ') + row.lines + "  " +
                           std::string(wBytes - Columns(row.bytes), ' ') + row.bytes + "  " +
                           PadRight(row.result, wResult) + "  " + PadRight(row.sha, 8);
        if (!row.reason.empty())
            line += "  " + row.reason;
        std::printf("%s\n", line.c_str());
    };
    print(header);
    for (const Row& row : rows)
        print(row);
}

} // namespace

int RunLog(const CliArgs& args) {
    TransferFilter filter;
    std::string folder;
    bool json = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "--json") {
            json = true;
            continue;
        }
        static const char* const kValued[] = {"--dir",    "--machine", "--program", "--direction",
                                              "--result", "--since",   "--until"};
        if (std::find(std::begin(kValued), std::end(kValued), option) == std::end(kValued))
            return CliUsageError("log: unknown argument '" + option + "'");
        if (i + 1 >= args.size())
            return CliUsageError("log: " + option + " needs a value");
        const std::string& value = args[++i];
        if (option == "--dir") {
            if (value.empty())
                return CliUsageError("log: --dir needs a folder");
            folder = value;
        } else if (option == "--machine") {
            filter.machine = value;
        } else if (option == "--program") {
            filter.program = value;
        } else if (option == "--result") {
            filter.result = value;
        } else if (option == "--direction") {
            const auto direction = DirectionFromName(value);
            if (!direction)
                return CliUsageError("log: --direction takes send or receive");
            filter.direction = direction;
        } else {
            const auto span = ParseTimeSpan(value);
            if (!span)
                return CliUsageError("log: " + option + " takes a date (2026-12-01) or a time " +
                                     "(2026-12-01 14:30), not '" + value + "'");
            if (option == "--since")
                filter.since = span->begin;
            else
                filter.until = span->end;
        }
    }
    if (folder.empty())
        folder = TransferLog::DefaultFolder();

    const TransferLogContents contents = TransferLog(folder).Read();
    for (const std::string& problem : contents.problems)
        CliError(problem);
    if (contents.malformed > 0)
        CliError(Format("%d line%s in %s %s not a transfer and %s skipped", contents.malformed,
                        contents.malformed == 1 ? "" : "s", folder.c_str(),
                        contents.malformed == 1 ? "is" : "are",
                        contents.malformed == 1 ? "was" : "were"));

    std::vector<Row> rows;
    size_t matched = 0;
    for (const LoggedTransfer& t : contents.transfers) {
        if (!filter.Matches(t.record))
            continue;
        ++matched;
        if (json)
            std::printf("%s\n", t.json.c_str());
        else
            rows.push_back(RowOf(t.record));
    }
    if (!json && matched > 0)
        PrintTable(rows);
    if (std::fflush(stdout) != 0) {
        CliError("cannot write the transfers");
        return EXIT_FAILED;
    }
    if (matched == 0) {
        CliError("no transfer in " + folder + " matches");
        return EXIT_FAILED;
    }
    // Records may be missing from what was shown: say so in the status too.
    return contents.problems.empty() ? EXIT_OK : EXIT_FAILED;
}
