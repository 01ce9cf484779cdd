// sermida-cli send and receive: the transfer engine with the CLI as its host.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>

#include "cli/CliCommands.h"
#include "cli/CliHost.h"
#include "cli/CliPortOptions.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnSignal(int) { interrupted = 1; }

void CatchStopSignals() {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}

std::string Clock(long long seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return text;
}

// A device that has gone away (unplugged, or the far end of a pseudo-terminal
// closed) is hung up: it no longer answers even the question of its settings.
bool DeviceGone(const CSerialPort& port) {
    TtyLineSetup setup;
    return !port.ReadBackLine(setup);
}

bool ConnectHost(CliHost& host, const CliPortOptions& options) {
    if (options.noPace)
        ::setenv("SERMIDA_PTY_PACING", "0", 1);
    const PortSettings& s = options.settings;
    host.engine.port.Configure(&host.engine, s.portNumber, s.baudRate, s.dataBits, s.stopBits,
                               s.parity, 1);
    host.engine.port.SetDevicePath(options.device);
    if (host.engine.Connect())
        return true;
    CliError("cannot use the serial port " + host.engine.port.DevicePath());
    return false;
}

// The arguments of send and receive: the [PORT] options, one count option
// (absent: 0) and FILE. Returns -1 when they are fine, else the exit code.
int ParseTransferArgs(CliArgs& args, CliPortOptions& options, const char* countOption,
                      const char* countHelp, int& count, const char* usage) {
    if (!ParsePortOptions(args, options))
        return EXIT_USAGE;
    bool bad = false;
    std::string value;
    count = 0;
    if (TakeOption(args, countOption, value, bad) && (!ParseInt(value, count) || count < 0))
        return CliUsageError(std::string(countOption) + " takes " + countHelp);
    if (bad || args.size() != 1 || args[0].rfind("--", 0) == 0)
        return CliUsageError(usage);
    return -1;
}

} // namespace

int RunSend(const CliArgs& input) {
    CliArgs args = input;
    CliPortOptions options;
    int chunk = 0;
    if (int code = ParseTransferArgs(args, options, "--xoff-chunk",
                                     "a number of bytes (0: whole lines)", chunk,
                                     "send takes [PORT] [--xoff-chunk N] FILE");
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
    host.engine.SetXoffChunk(chunk);
    CatchStopSignals();
    if (!host.engine.StartTransmit())
        return EXIT_FAILED;

    const bool live = ::isatty(STDERR_FILENO);
    bool stopped = false;
    while (!host.transmitEnded) {
        host.loop.RunFor(std::chrono::milliseconds(100));
        host.ApplyMarks();
        if (interrupted && !stopped) {
            host.engine.Stop();
            stopped = true;
        }
        if (live && !host.transmitEnded)
            std::fprintf(stderr, "\r%d/%d lines, elapsed %s", host.engine.sentLines.load(),
                         host.engine.totalLines.load(),
                         Clock(host.engine.OperationSeconds()).c_str());
    }
    host.engine.JoinSender();
    host.loop.RunPending();
    const int total = host.engine.totalLines;
    const std::string elapsed = Clock(host.engine.OperationSeconds());
    if (live)
        std::fputc('\n', stderr);
    if (host.engine.FailedLine() > 0) {
        // Say why, when the reason is that the device went away (the engine
        // also ends a transmission that such a device held).
        const bool lost = DeviceGone(host.engine.port);
        CliError("transmission stopped: line " + std::to_string(host.engine.FailedLine()) +
                 " could not be written" + (lost ? ": the serial device is gone" : ""));
        return EXIT_FAILED;
    }
    if (stopped) {
        std::fprintf(stderr, "stopped after line %d of %d, elapsed %s\n", host.caretLine, total,
                     elapsed.c_str());
        return 130;
    }
    std::fprintf(stderr, "%d/%d lines, elapsed %s\n", total, total, elapsed.c_str());
    return EXIT_OK;
}

int RunReceive(const CliArgs& input) {
    CliArgs args = input;
    CliPortOptions options;
    int idle = 0;
    if (int code = ParseTransferArgs(args, options, "--idle-timeout", "seconds", idle,
                                     "receive takes [PORT] [--idle-timeout SEC] FILE");
        code >= 0)
        return code;

    CliHost host;
    if (!ConnectHost(host, options))
        return EXIT_FAILED;
    CatchStopSignals();
    if (!host.engine.StartReceive())
        return EXIT_FAILED;

    using Clock = std::chrono::steady_clock;
    auto lastByte = Clock::now();
    bool gone = false;
    while (!interrupted) {
        host.loop.RunFor(std::chrono::milliseconds(50));
        if (host.engine.receiveActivity.exchange(false))
            lastByte = Clock::now();
        else if (idle > 0 && Clock::now() - lastByte >= std::chrono::seconds(idle))
            break;
        // Nothing more can come: keep what came and end.
        if (DeviceGone(host.engine.port)) {
            gone = true;
            break;
        }
    }
    // Decode what has arrived and move every queued byte into the document
    // before receiving ends: nothing that came is dropped.
    host.loop.RunPending();
    host.engine.FlushReceived();
    host.engine.StopReceive();
    host.loop.RunPending();
    FileError error;
    if (!host.buffer.SaveToDisk(args[0], LINE_END_DETECT, true, &error)) {
        CliError("cannot save " + args[0] + ": " + error.Describe());
        return EXIT_FAILED;
    }
    std::fprintf(stderr, "received %lld bytes, %d lines, in %.3f s\n", host.appendedBytes,
                 host.buffer.CountLines(),
                 std::chrono::duration<double>(host.lastAppend - host.firstAppend).count());
    // Like an idle time-out, a device that is gone means nothing more comes.
    if (gone)
        std::fprintf(stderr, "the serial device is gone: reception ended\n");
    return EXIT_OK;
}
