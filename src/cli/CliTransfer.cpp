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
// (absent: machineCount of the machine, 0 without one) and FILE. Returns -1
// when they are fine, else the exit code.
int ParseTransferArgs(CliArgs& args, CliPortOptions& options, const char* countOption,
                      const char* countHelp, int MachineProfile::*machineCount, int& count,
                      const char* usage) {
    if (!ParsePortOptions(args, options))
        return EXIT_USAGE;
    bool bad = false;
    std::string value;
    count = options.machine.*machineCount;
    if (TakeOption(args, countOption, value, bad) && (!ParseInt(value, count) || count < 0))
        return CliUsageError(std::string(countOption) + " takes " + countHelp);
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
    case Transmitter::End::Stopped:
        std::fprintf(stderr, "stopped: %s; line %s was not sent, elapsed %s\n", whole.c_str(),
                     next.c_str(), elapsed.c_str());
        return EXIT_STOPPED;
    default:
        std::fprintf(stderr, "%d/%d lines, elapsed %s\n", o.total, o.total, elapsed.c_str());
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

} // namespace

int RunSend(const CliArgs& input) {
    CliArgs args = input;
    CliPortOptions options;
    int chunk = 0;
    if (int code =
            ParseTransferArgs(args, options, "--xoff-chunk", "a number of bytes (0: whole lines)",
                              &MachineProfile::xoffCharacters, chunk,
                              "send takes [PORT] [--machine NAME] [--xoff-chunk N] FILE");
        code >= 0)
        return code;

    CliHost host;
    FileError error;
    if (!host.buffer.LoadFromDisk(args[0], LINE_END_DETECT, &error)) {
        CliError("cannot load " + args[0] + ": " + error.Describe());
        return EXIT_FAILED;
    }
    if (!ConnectHost(host, options))
        return EXIT_FAILED;
    host.connection.SetXoffChunk(chunk);
    host.connection.SetWireRules(options.machine.wire);
    // The first stop ends at the line boundary, the second cuts the line.
    StopSignals stops(host.loop);
    if (!host.connection.StartTransmit())
        return EXIT_FAILED;

    const bool live = ::isatty(STDERR_FILENO);
    SendFigures figures;
    figures.Start(std::chrono::steady_clock::now());
    int stopsGiven = 0;
    while (!host.transmitEnded) {
        // Woken by the end and by a stop; a person watching sees the figures.
        host.loop.RunFor(live ? std::chrono::milliseconds(100) : std::chrono::hours(1));
        for (; stopsGiven < stops.Count(); ++stopsGiven)
            host.connection.Stop();
        if (live && !host.transmitEnded) {
            figures.Sample(host.connection.SentLines(), host.connection.TotalLines(),
                           std::chrono::steady_clock::now());
            const std::optional<int64_t> left = figures.SecondsLeft();
            std::fprintf(stderr, "\r%d/%d lines %d%%, left %s, elapsed %s%s\033[K", figures.Sent(),
                         figures.Total(), figures.Percent(),
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
    return ReportTransmission(host.connection.LastTransmit(),
                              HoursMinutesSeconds(host.connection.OperationSeconds()));
}

int RunReceive(const CliArgs& input) {
    CliArgs args = input;
    CliPortOptions options;
    int idle = 0;
    if (int code = ParseTransferArgs(
            args, options, "--idle-timeout", "seconds", &MachineProfile::receiveIdleSeconds, idle,
            "receive takes [PORT] [--machine NAME] [--idle-timeout SEC] FILE");
        code >= 0)
        return code;

    CliHost host;
    if (!ConnectHost(host, options))
        return EXIT_FAILED;
    host.connection.SetReceiveFraming(options.machine.receiveStart, options.machine.receiveEnd);
    StopSignals stops(host.loop);
    if (!host.connection.StartReceive())
        return EXIT_FAILED;

    // Nothing here looks for anything: the loop sleeps until the idle time
    // after the last byte is up, or a stop signal or the line's loss wakes it.
    using Clock = std::chrono::steady_clock;
    const auto idleTime = idle > 0 ? std::chrono::seconds(idle) : std::chrono::hours(24);
    const auto started = Clock::now();
    while (stops.Count() == 0 && !host.connection.WasLost()) {
        const auto idleSince = std::max(started, host.connection.LastArrival());
        const auto left = idleSince + idleTime - Clock::now();
        if (idle > 0 && left <= Clock::duration::zero())
            break;
        host.loop.RunFor(std::chrono::ceil<std::chrono::milliseconds>(left));
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
