// sermida-cli vcnc: a virtual controller at the far end of the cable, so that
// a transfer can be tried, and tested, without a machine.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <random>

#include "cli/CliCommands.h"
#include "cli/CliPortOptions.h"
#include "cli/VcncControllerModel.h"
#include "cli/VcncLine.h"
#include "cli/VcncModel.h"
#include "cli/VcncPunch.h"

namespace {

using Clock = std::chrono::steady_clock;

// A new PC program on the link opens the line, flushes it and only then
// starts receiving: punching waits this long after it appears, as an
// operator waits before pressing the punch key.
constexpr auto kPunchSettle = std::chrono::milliseconds(500);
constexpr auto kPeerCheck = std::chrono::milliseconds(100);

volatile std::sig_atomic_t stopSignal = 0;

void OnStopSignal(int sig) {
    stopSignal = sig;
}

struct VcncOptions {
    std::string device, link, save, punch;
    int baud = 9600;
    int buffer = 256;
    int xoffRoom = 10;
    long rate = -1; // -1: the character rate of the baud rate
    int idleExit = 0;
    int dwellMs = 0; // now and then it stops reading for up to this long
    int seed = 1;
    VcncPunchOptions punchOptions;
    const ControllerSpec* model = nullptr; // --model: a strict controller
    int bitsPerCharacter = 10;             // start, data, parity, stop
};

constexpr const char* kUsage =
    "vcnc takes --device PATH | --link PATH [--baud N] [--buffer BYTES] [--xoff-room N] "
    "[--rate CHARS_PER_S] [--save FILE] [--punch FILE [--frame] [--utf8] [--lf]] "
    "[--idle-exit SEC] [--dwell MS [--seed N]] [--model "
    "fanuc|fanuc-lfcrcr|haas|sinumerik|heidenhain|mazak|okuma]";

std::string ModelNames() {
    std::string names;
    for (const ControllerSpec& s : ControllerSpecs())
        names += (names.empty() ? "" : ", ") + std::string(s.name);
    return names;
}

// Returns -1 when the arguments are fine, else the exit code.
int ParseVcncArgs(CliArgs args, VcncOptions& o) {
    bool bad = false;
    std::string value;
    TakeOption(args, "--device", o.device, bad);
    TakeOption(args, "--link", o.link, bad);
    TakeOption(args, "--save", o.save, bad);
    TakeOption(args, "--punch", o.punch, bad);
    if (TakeOption(args, "--model", value, bad)) {
        o.model = FindControllerSpec(value);
        if (!o.model)
            return CliUsageError("--model takes " + ModelNames());
        // The controller's own buffer and room after DC3, unless given.
        o.buffer = o.model->buffer;
        o.xoffRoom = o.model->xoffRoom;
        o.bitsPerCharacter = 1 + o.model->dataBits + (o.model->parity != 'N') + o.model->stopBits;
    }
    struct IntOption {
        const char* name;
        int* target;
        int min, max;
    };
    int rate = -1;
    const IntOption ints[] = {
        {"--baud", &o.baud, kMinBaud, kMaxBaud},
        {"--buffer", &o.buffer, 2, 1 << 24},
        {"--xoff-room", &o.xoffRoom, 0, 1 << 23},
        {"--rate", &rate, 0, int(VcncInputBuffer::kMaxRate)},
        {"--idle-exit", &o.idleExit, 1, 1'000'000},
        {"--dwell", &o.dwellMs, 1, 3'600'000},
        {"--seed", &o.seed, 0, 1'000'000'000},
    };
    for (const IntOption& opt : ints)
        if (TakeOption(args, opt.name, value, bad) &&
            (!ParseInt(value, *opt.target) || *opt.target < opt.min || *opt.target > opt.max))
            return CliUsageError(RangeMessage(opt.name, opt.min, opt.max));
    o.punchOptions.frame = TakeFlag(args, "--frame");
    o.punchOptions.utf8 = TakeFlag(args, "--utf8");
    o.punchOptions.lf = TakeFlag(args, "--lf");
    if (bad || !args.empty())
        return CliUsageError(kUsage);
    if (o.device.empty() == o.link.empty())
        return CliUsageError("vcnc needs one of --device PATH and --link PATH");
    if (o.punch.empty() && (o.punchOptions.frame || o.punchOptions.utf8 || o.punchOptions.lf))
        return CliUsageError("--frame, --utf8 and --lf go with --punch FILE");
    if (o.xoffRoom >= o.buffer / 2)
        return CliUsageError("--xoff-room must be less than half of --buffer");
    o.rate = rate >= 0 ? rate : o.baud / o.bitsPerCharacter;
    if (o.model && o.model->rtsCts && rate < 0)
        o.rate = 0;
    if (o.dwellMs > 0 && o.rate == 0)
        return CliUsageError("--dwell needs a controller that reads at a rate (--rate above 0)");
    return -1;
}

void CatchStopSignals(sigset_t& waitMask) {
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sigset_t stops;
    sigemptyset(&stops);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(sig, &sa, nullptr);
        sigaddset(&stops, sig);
    }
    // Blocked except inside ppoll: a signal can never slip in between the
    // check of the flag and the wait.
    ::sigprocmask(SIG_BLOCK, &stops, &waitMask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigdelset(&waitMask, sig);
}

// Event lines on stderr, only for a person watching.
class EventLog {
public:
    explicit EventLog(Clock::time_point start) : start(start), live(::isatty(STDERR_FILENO)) {}
    __attribute__((format(printf, 2, 3))) void Say(const char* format, ...) const {
        if (!live)
            return;
        const double t = std::chrono::duration<double>(Clock::now() - start).count();
        std::fprintf(stderr, "[%8.3f] ", t);
        va_list args;
        va_start(args, format);
        std::vfprintf(stderr, format, args);
        va_end(args);
        std::fputc('\n', stderr);
    }

private:
    Clock::time_point start;
    bool live;
};

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

// Writes what the device takes now; returns the count, or -1 on a real error.
ssize_t WriteSome(int fd, std::string_view bytes) {
    if (bytes.empty())
        return 0;
    for (;;) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

// Bytes that have arrived on the line and wait to be read.
int64_t WaitingInput(int fd) {
    // The kernel's hand-over buffer is not in the count until a poll moves it.
    pollfd p{fd, POLLIN, 0};
    ::poll(&p, 1, 0);
    int n = 0;
    return ::ioctl(fd, FIONREAD, &n) == 0 ? n : 0;
}

timespec Until(Clock::time_point now, Clock::time_point when) {
    const auto ns = std::max<int64_t>(
        0, std::chrono::duration_cast<std::chrono::nanoseconds>(when - now).count());
    return {time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
}

} // namespace

int RunVcnc(const CliArgs& args) {
    VcncOptions o;
    if (int code = ParseVcncArgs(args, o); code >= 0)
        return code;

    std::string text, error;
    if (!o.punch.empty() && !LoadPunchText(o.punch, o.punchOptions.lf, text, error)) {
        CliError("cannot load " + o.punch + ": " + error);
        return EXIT_FAILED;
    }
    const std::string punchBytes = PunchBytes(text, o.punchOptions);

    int saveFd = -1;
    if (!o.save.empty()) {
        saveFd = ::open(o.save.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (saveFd < 0) {
            CliError("cannot write " + o.save + ": " + std::strerror(errno));
            return EXIT_FAILED;
        }
    }
    // Before the link exists: a stop signal from then on must remove it.
    sigset_t waitMask;
    CatchStopSignals(waitMask);
    VcncLine line;
    const bool opened =
        o.link.empty() ? line.OpenDevice(o.device, o.baud, error) : line.OpenLink(o.link, error);
    if (!opened) {
        CliError(error);
        if (saveFd >= 0)
            ::close(saveFd);
        return EXIT_FAILED;
    }
    const auto start = Clock::now();
    EventLog log(start);
    if (line.IsLink())
        log.Say("%s -> %s", o.link.c_str(), line.OtherEnd().c_str());
    VcncInputBuffer input(o.buffer, o.xoffRoom, o.rate);
    if (o.model)
        input.HoldEvery(o.model->holdEvery);
    std::optional<VcncPunchPacer> punch;
    Clock::time_point peerSince{}; // meaningful while peer
    auto lastTraffic = start;
    auto nextPeerCheck = start;
    auto nextProgress = start;
    std::string flowOut; // flow-control characters the device has not taken yet
    // When the line last had nothing to read: what comes next arrived after it.
    auto seenEmpty = start;
    const auto charTime = std::chrono::nanoseconds(o.bitsPerCharacter * 1'000'000'000LL / o.baud);
    std::optional<ControllerModel> model;
    if (o.model)
        model.emplace(*o.model);
    bool lineChecked = false; // the PC end's line, once per PC program
    // Dwells: every half to two seconds, the controller stops reading for a
    // random time up to --dwell, as one running a program does in long moves.
    std::mt19937 random(uint32_t(o.seed));
    auto nextDwell = start;
    int64_t holdsOverrun = 0;
    size_t described = 0;
    const auto tellViolations = [&] {
        // Said whether or not a person watches: the summary only counts them.
        for (; model && described < model->Described().size(); ++described)
            std::fprintf(stderr, "vcnc: violation: %s\n", model->Described()[described].c_str());
    };
    int64_t lines = 0;
    bool failed = false;
    bool peer = false;

    auto now = start;
    // Input: every byte is saved and goes to the controller's buffer, until
    // the line has nothing more; false when the line or the save file failed.
    char chunk[65536];
    const auto readInput = [&] {
        for (;;) {
            const ssize_t n = ::read(line.Fd(), chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                seenEmpty = Clock::now();
                return true;
            }
            if (n <= 0) {
                CliError("the line has gone: " +
                         std::string(n == 0 ? "end of file" : std::strerror(errno)));
                return false;
            }
            now = Clock::now();
            lastTraffic = now;
            if (saveFd >= 0 && !WriteAll(saveFd, chunk, size_t(n))) {
                CliError("cannot write " + o.save + ": " + std::strerror(errno));
                return false;
            }
            lines += std::count(chunk, chunk + n, '\n');
            if (model) {
                TtyLineSetup pcEnd;
                if (!lineChecked && line.PeerLine(pcEnd))
                    model->CheckLine(pcEnd, o.baud);
                lineChecked = true;
                model->Feed(std::string_view(chunk, size_t(n)));
            }
            const int64_t before = input.Received();
            const int64_t overflowBefore = input.Overflow();
            // The bytes came no faster than the line, since the line was last
            // seen empty (or since the last of them were taken in).
            const int64_t lost = input.ReceiveAtLineRate(n, seenEmpty, now, charTime);
            seenEmpty = now;
            if (lost > 0)
                log.Say("%s: %lld bytes lost after byte %lld",
                        input.Overflow() > overflowBefore ? "overflow" : "late", (long long)lost,
                        (long long)(before + n - lost));
            if (model && input.HoldsOverrun() > holdsOverrun) {
                holdsOverrun = input.HoldsOverrun();
                model->HoldOverrun(input.AfterDc3());
            }
            tellViolations();
        }
    };

    while (!stopSignal && !failed) {
        now = Clock::now();
        if (now >= nextPeerCheck) {
            nextPeerCheck = now + kPeerCheck;
            const bool present = line.PeerPresent();
            if (present != peer && line.IsLink())
                log.Say(present ? "PC end opened" : "PC end closed");
            if (present && !peer)
                peerSince = line.IsLink() ? now : start - kPunchSettle;
            // The PC program has gone: what it sent was one program.
            if (!present && peer && model) {
                model->Finish();
                lineChecked = false;
                tellViolations();
            }
            peer = present;
        }
        if (!o.punch.empty() && !punch && peer && now - peerSince >= kPunchSettle) {
            punch.emplace(punchBytes, o.rate, now);
            log.Say("punching %zu bytes", punchBytes.size());
        }

        if (!readInput())
            break;
        input.Drain(now);
        if (o.dwellMs > 0 && now >= nextDwell) {
            const auto dwell = std::chrono::milliseconds(random() % uint32_t(o.dwellMs + 1));
            input.Dwell(now, now + dwell);
            nextDwell = now + dwell + std::chrono::milliseconds(500 + random() % 1501);
        }
        // A controller on RTS/CTS holds with its CTS, which a pseudo-terminal
        // cannot carry: it sends no DC3, and reads at the line's rate.
        if (char c = input.TakeFlowByte(); c && !(o.model && o.model->rtsCts))
            flowOut += c;
        if (now >= nextProgress && now - lastTraffic < std::chrono::seconds(1)) {
            nextProgress = now + std::chrono::seconds(1);
            log.Say("received %lld bytes", (long long)input.Received());
        }

        // Output: flow control first, then the punch at its rate.
        bool outputBlocked = false;
        if (!flowOut.empty()) {
            // What came while this controller was busy is read first: the
            // DC3 must not go out after bytes it never looked at, or they
            // would count as sent after it. (The line's own buffer holds only
            // a few kilobytes: more than that could not be counted as on the
            // wire.)
            const bool hold = flowOut.find(VcncInputBuffer::DC3) != std::string::npos;
            if (hold && !readInput()) {
                failed = true;
                break;
            }
            const ssize_t n = WriteSome(line.Fd(), flowOut);
            if (n < 0) {
                CliError(std::string("cannot write to the line: ") + std::strerror(errno));
                failed = true;
                break;
            }
            // What the PC had sent before the DC3 reached the line is not
            // held against it.
            if (std::memchr(flowOut.data(), VcncInputBuffer::DC3, size_t(n))) {
                input.Dc3OnLine(WaitingInput(line.Fd()));
                log.Say("DC3 sent, room %d of %d", input.Room(), input.Capacity());
            }
            if (std::memchr(flowOut.data(), VcncInputBuffer::DC1, size_t(n)))
                log.Say("DC1 sent, %d of %d bytes waiting", input.Level(), input.Capacity());
            flowOut.erase(0, size_t(n));
            outputBlocked = !flowOut.empty();
        }
        if (punch && !punch->Done() && flowOut.empty()) {
            const std::string_view due = punch->Due(now);
            const ssize_t n = WriteSome(line.Fd(), due);
            if (n < 0) {
                CliError(std::string("cannot write to the line: ") + std::strerror(errno));
                failed = true;
                break;
            }
            punch->Sent(size_t(n));
            if (n > 0)
                lastTraffic = now;
            outputBlocked = size_t(n) < due.size();
            if (punch->Done())
                log.Say("punched %zu bytes", punch->SentCount());
        }

        // Still to go out: a flow-control character, or the punch, also while
        // it waits for a PC that has just opened the line.
        const bool sending =
            !flowOut.empty() || (punch ? !punch->Done() : !o.punch.empty() && peer);
        const auto idleExit = std::chrono::seconds(o.idleExit);
        const auto idleSince = VcncIdleSince(lastTraffic, input, sending);
        if (o.idleExit > 0 && idleSince && now - *idleSince >= idleExit)
            break;

        // Sleep until the next thing that can happen.
        auto wake = nextPeerCheck;
        if (auto change = input.NextFlowChange())
            wake = std::min(wake, *change);
        if (punch && !punch->Done() && !outputBlocked)
            wake = std::min(wake, punch->NextDue());
        if (o.idleExit > 0 && idleSince)
            wake = std::min(wake, *idleSince + idleExit);
        if (o.dwellMs > 0)
            wake = std::min(wake, nextDwell);
        pollfd pfd{line.Fd(), short(POLLIN | (outputBlocked ? POLLOUT : 0)), 0};
        const timespec timeout = Until(now, wake);
        ::ppoll(&pfd, 1, &timeout, &waitMask);
    }

    line.Close();
    log.Say("most characters after a DC3 was on the line: %lld, in %d holds",
            (long long)input.MostAfterDc3(), input.XoffSent());
    if (model) {
        model->Finish();
        tellViolations();
    }
    if (saveFd >= 0 && ::close(saveFd) != 0 && !failed) {
        CliError("cannot write " + o.save + ": " + std::strerror(errno));
        failed = true;
    }
    std::printf("received: %lld bytes, lines: %lld, xoff: %d, overflow: %lld, late: %lld, "
                "punched: %zu bytes",
                (long long)input.Received(), (long long)lines, input.XoffSent(),
                (long long)input.Overflow(), (long long)input.Late(),
                punch ? punch->SentCount() : size_t(0));
    if (model)
        std::printf(", violations: %lld", (long long)model->Violations());
    std::printf("\n");
    std::fflush(stdout);
    if (failed)
        return EXIT_FAILED;
    const bool violated = model && model->Violations() > 0;
    return input.Overflow() > 0 || violated ? EXIT_OVERFLOW : EXIT_OK;
}
