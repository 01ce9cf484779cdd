// sermida-cli send and receive: a connection with the command line as its host.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "cli/CliCommands.h"
#include "cli/CliHost.h"
#include "cli/CliPortOptions.h"
#include "cli/StopSignals.h"
#include "editor/text/ProgramRestart.h"
#include "transfer/TransferFigures.h"
#include "transfer/TransferState.h"

namespace {

bool ConnectHost(CliHost& host, const CliPortOptions& options) {
    if (options.noPace)
        ::setenv("SERMIDA_PTY_PACING", "0", 1);
    const LinkStatus status = host.connection.Connect(options.settings, options.device);
    if (status.Ok())
        return true;
    // The line's own message has said why; a line that is open but not set
    // up as asked is no line to trust a program to.
    CliError("cannot use the serial port " + host.connection.Port().Address() +
             (status.Opened() ? ": the line could not be set up as asked" : ""));
    return false;
}

// The arguments of send and receive: the [PORT] options, one count option
// (absent: the machine's own count) and FILE. Returns -1 when they are fine,
// else the exit code.
int ParseTransferArgs(CliArgs& args, CliPortOptions& options, const char* countOption,
                      const char* countHelp, int& (*machineCount)(MachineProfile&),
                      const char* usage) {
    bool bad = false;
    std::string value;
    // Taken first: a profile's own key of the same meaning must not see it.
    const bool given = TakeOption(args, countOption, value, bad);
    if (!ParsePortOptions(args, options))
        return EXIT_USAGE;
    int count = 0;
    if (given && (!ParseInt(value, count) || count < 0))
        return CliUsageError(std::string(countOption) + " takes " + countHelp);
    if (given)
        machineCount(options.machine) = count;
    if (bad || args.size() != 1 || args[0].rfind("--", 0) == 0)
        return CliUsageError(usage);
    return -1;
}

// "lines 1 to 41 of 300 went out whole", or that none did.
std::string WholeLines(int whole, int total) {
    if (whole == 0)
        return "no line of " + std::to_string(total) + " went out whole";
    return "lines 1 to " + std::to_string(whole) + " of " + std::to_string(total) +
           " went out whole";
}

int ReportTransmission(const Transmitter::Outcome& o, const std::string& elapsed) {
    const std::string whole = WholeLines(o.linesWhole, o.total);
    const std::string next = std::to_string(o.linesWhole + 1);
    switch (o.end) {
    case Transmitter::End::Failed:
        CliError("transmission stopped: line " + next + " could not be written" +
                 (o.lost ? ": the serial device is gone" : "") + "; " + whole);
        return EXIT_FAILED;
    case Transmitter::End::Cut:
        std::fprintf(stderr,
                     "stopped at once: line %s was cut, part of it went out; %s, elapsed %s\n",
                     next.c_str(), whole.c_str(), elapsed.c_str());
        return EXIT_STOPPED;
    case Transmitter::End::NoStart:
        CliError("the controller sent no DC1 to say it was ready: nothing was sent");
        return EXIT_FAILED;
    case Transmitter::End::Stopped:
        std::fprintf(stderr, "stopped: %s; line %s was not sent, elapsed %s\n", whole.c_str(),
                     next.c_str(), elapsed.c_str());
        return EXIT_STOPPED;
    default:
        std::fprintf(stderr, "%d/%d lines, elapsed %s\n", o.sent, o.planned, elapsed.c_str());
        return EXIT_OK;
    }
}

// FILE.partial, or the first FILE.partial.N that does not exist yet.
std::string FreePartialName(const std::string& file) {
    std::string name = file + ".partial";
    struct stat st {};
    for (int n = 1; ::lstat(name.c_str(), &st) == 0; ++n)
        name = file + ".partial." + std::to_string(n);
    return name;
}

// Where a restart begins: --from-line N, --from-block N120 or
// --from-tool-change LINE (the tool change at or before it). -1: the whole
// program; false after a usage error.
struct RestartOption {
    std::string option, value;
};

bool TakeRestart(CliArgs& args, RestartOption& out, bool& bad) {
    for (const char* name : {"--from-line", "--from-block", "--from-tool-change"})
        if (TakeOption(args, name, out.value, bad)) {
            if (!out.option.empty())
                return false; // only one of them
            out.option = name;
        }
    return true;
}

// The document line (0-based) a restart begins at; -1 with the reason.
int RestartLine(const CTextBuffer& text, const RestartOption& r, std::string& why) {
    if (r.option == "--from-block") {
        const int line = FindBlock(text, r.value);
        if (line < 0)
            why = "no block " + r.value + " in the program";
        return line;
    }
    int n = 0;
    if (!ParseInt(r.value, n) || n < 1 || n > text.CountLines()) {
        why = r.option + " takes a line from 1 to " + std::to_string(text.CountLines());
        return -1;
    }
    if (r.option == "--from-line")
        return n - 1;
    const int line = ToolChangeBefore(text, n - 1);
    if (line < 0)
        why = "no tool change (T word or M6) at or before line " + r.value;
    return line;
}

// What a restart sends, shown before it starts: the program's start and the
// first lines from the restart on.
void ShowRestart(const CTextBuffer& text, const LineRanges& ranges) {
    std::fprintf(stderr, "restart: lines");
    for (const auto& [first, end] : ranges)
        std::fprintf(stderr, " %d-%d", first + 1, end);
    std::fprintf(stderr, " of %d\n", text.CountLines());
    for (const auto& range : ranges)
        for (const PreviewLine& p : RangePreview(text, range))
            if (p.number > 0)
                std::fprintf(stderr, "%7d  %s\n", p.number, std::string(p.text).c_str());
            else
                std::fprintf(stderr, "    ...\n");
}

} // namespace

int RunSend(const CliArgs& input) {
    CliArgs args = input;
    CliPortOptions options;
    RestartOption restart;
    bool badRestart = false;
    if (!TakeRestart(args, restart, badRestart))
        return CliUsageError("send takes one of --from-line, --from-block and --from-tool-change");
    if (badRestart)
        return CliUsageError("an option is missing its value");
    if (int code = ParseTransferArgs(
            args, options, "--xoff-chunk", "a number of bytes (0: whole lines)",
            [](MachineProfile& m) -> int& { return m.xoffCharacters; },
            "send takes [PORT] [--machine NAME] [--xoff-chunk N] [--from-line N | --from-block "
            "N120 | --from-tool-change LINE] [--KEY VALUE of a profile] FILE");
        code >= 0)
        return code;

    CliHost host;
    FileError error;
    if (!host.buffer.LoadFromDisk(args[0], LINE_END_DETECT, &error)) {
        CliError("cannot load " + args[0] + ": " + error.Describe());
        return EXIT_FAILED;
    }
    LineRanges ranges;
    if (!restart.option.empty()) {
        std::string why;
        const int line = RestartLine(host.buffer, restart, why);
        if (line < 0)
            return CliUsageError(why);
        ranges = RestartRanges(host.buffer, line);
        ShowRestart(host.buffer, ranges);
    }
    if (!ConnectHost(host, options))
        return EXIT_FAILED;
    host.connection.UseMachine(options.machine);
    // The first stop ends at the line boundary, the second cuts the line.
    StopSignals stops(host.loop);
    if (!host.connection.StartTransmit(ranges))
        return EXIT_FAILED;

    const bool live = ::isatty(STDERR_FILENO);
    SendFigures figures;
    figures.Start(std::chrono::steady_clock::now());
    int stopsGiven = 0;
    bool stalled = false; // stopped for a stall: a failure, not the operator's stop
    while (!host.transmitEnded) {
        // Woken by the end and by a stop; a person watching sees the figures.
        // A machine with a stall limit is looked at every second.
        const bool watched = host.connection.StallLimitSeconds() > 0;
        host.loop.RunFor(live      ? std::chrono::milliseconds(100)
                         : watched ? std::chrono::milliseconds(1000)
                                   : std::chrono::milliseconds(3'600'000));
        for (; stopsGiven < stops.Count(); ++stopsGiven)
            host.connection.Stop();
        const auto now = std::chrono::steady_clock::now();
        const bool held = host.connection.State() == HeldByPeer;
        const int64_t still = host.connection.StallSeconds(now);
        if (host.connection.CheckStall(now)) {
            stalled = host.connection.StopsOnStall();
            std::fprintf(stderr, "%swarning: nothing has moved for %s (%s)%s\n", live ? "\r" : "",
                         MinutesSeconds(still).c_str(),
                         held ? "held by the controller, no DC1" : "the line takes nothing",
                         stalled ? "; stopping" : "");
        }
        if (live && !host.transmitEnded) {
            figures.Sample(host.connection.SentLines(), host.connection.TotalLines(),
                           std::chrono::steady_clock::now());
            const std::optional<int64_t> left = figures.SecondsLeft();
            const std::string at =
                host.connection.TransmitIsPartial()
                    ? ", program line " + std::to_string(host.connection.ProgramLine())
                    : std::string();
            std::fprintf(stderr, "\r%d/%d lines %d%%%s, left %s, elapsed %s%s\033[K",
                         figures.Sent(), figures.Total(), figures.Percent(), at.c_str(),
                         left ? MinutesSeconds(*left).c_str() : "--:--",
                         HoursMinutesSeconds(host.connection.OperationSeconds()).c_str(),
                         host.connection.State() == HeldByPeer ? ", held by the controller"
                         : host.connection.State() == Paused   ? ", paused"
                                                               : "");
        }
    }
    host.loop.RunPending();
    if (live)
        std::fputc('\n', stderr);
    const int code = ReportTransmission(host.connection.LastTransmit(),
                                        HoursMinutesSeconds(host.connection.OperationSeconds()));
    return stalled && code == EXIT_STOPPED ? EXIT_FAILED : code;
}

int RunReceive(const CliArgs& input) {
    CliArgs args = input;
    CliPortOptions options;
    if (int code = ParseTransferArgs(
            args, options, "--idle-timeout", "seconds",
            [](MachineProfile& m) -> int& { return m.receive.idleSeconds; },
            "receive takes [PORT] [--machine NAME] [--idle-timeout SEC] [--KEY VALUE of a "
            "profile] FILE");
        code >= 0)
        return code;

    CliHost host;
    if (!ConnectHost(host, options))
        return EXIT_FAILED;
    host.connection.UseMachine(options.machine);
    StopSignals stops(host.loop);
    if (!host.connection.StartReceive())
        return EXIT_FAILED;

    // Nothing here looks for anything: the loop sleeps until the idle time
    // after the last byte is up, or a stop signal or the line's loss wakes it.
    while (stops.Count() == 0 && !host.connection.WasLost()) {
        const std::chrono::milliseconds left = host.connection.ReceiveIdleLeft();
        if (left.count() == 0)
            break;
        host.loop.RunFor(std::min<std::chrono::milliseconds>(left, std::chrono::hours(1)));
    }
    // Everything that has arrived goes into the document before receiving
    // ends: nothing that came is dropped.
    host.loop.RunPending();
    host.connection.FlushReceived();
    host.connection.StopReceive();
    const bool gone = host.connection.WasLost();
    const LineErrors errors = host.connection.LastReceiveErrors();

    // A program cut short or damaged on the line never takes FILE's place:
    // it is kept beside it, and the exit status says which.
    const std::string target = gone || errors.Any() ? FreePartialName(args[0]) : args[0];
    FileError error;
    if (!host.buffer.SaveToDisk(target, LINE_END_DETECT, true, &error)) {
        CliError("cannot save " + target + ": " + error.Describe());
        return EXIT_FAILED;
    }
    std::fprintf(stderr, "received %lld bytes, %d lines, in %.3f s\n", host.appendedBytes,
                 host.buffer.CountLines(),
                 std::chrono::duration<double>(host.lastAppend - host.firstAppend).count());
    if (gone) {
        CliError("the serial device is gone: the program may be cut; what arrived is in " + target +
                 ", " + args[0] + " was left as it was");
        return EXIT_CUT;
    }
    if (errors.Any()) {
        CliError(std::to_string(errors.badCharacters) + " characters arrived damaged (shown as ?)" +
                 (errors.overruns > 0 ? ", " + std::to_string(errors.overruns) + " overruns" : "") +
                 "; what arrived is in " + target + ", " + args[0] + " was left as it was");
        return EXIT_FAILED;
    }
    return EXIT_OK;
}
