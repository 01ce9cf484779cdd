#include "serial/CSerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/ErrnoText.h"
#include "common/MessageSink.h"
#include "serial/PortMap.h"
#include "serial/ProgressDeadline.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kOpenFailed =
    "无法打开串口%d(COM%d)，请检查串口是否正确安装，或是否已经被占用。错误码:%d";
constexpr const char* kNotATerminal = "无法打开串口%d(COM%d)：%s 不是串口设备。";
constexpr const char* kOpenReason = "\n设备 %s：%s。";

bool PacingWanted() {
    const char* env = std::getenv("SERMIDA_PTY_PACING");
    return !(env && std::strcmp(env, "0") == 0);
}

void Signal(int fd) {
    uint64_t one = 1;
    (void)!::write(fd, &one, sizeof one);
}

void Consume(int fd) {
    uint64_t value = 0;
    (void)!::read(fd, &value, sizeof value);
}

int MakeEventFd() {
    return ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

void CloseFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

CSerialPort::CSerialPort() = default;

CSerialPort::~CSerialPort() {
    Close();
}

void CSerialPort::Configure(const PortSettings& s, const std::string& path) {
    settings = s;
    devicePath = path;
}

std::string CSerialPort::Address() const {
    return devicePath.empty() ? DevicePathOfPort(settings.portNumber) : devicePath;
}

LinkStatus CSerialPort::Refuse(int error, const std::string& text) {
    Show(text);
    return {LinkStatus::Result::NotOpened, error, text};
}

LinkStatus CSerialPort::Misconfigured(const char* operation, int error) {
    const std::string text =
        Format("\"%s\" 由于以下错误而失败: \n\n%s", operation, ErrnoText(error).c_str());
    Show(text);
    return {LinkStatus::Result::NotConfigured, error, text};
}

LinkStatus CSerialPort::Open() {
    if (IsOpen())
        Close();
    lost = false;
    const int n = settings.portNumber;
    if (devicePath.empty() && (n < 1 || n > 9))
        return Refuse(EINVAL, Format("无法打开串口COM%d,仅支持COM1-9.", n));
    const std::string path = Address();
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        return Refuse(err, Format(kOpenFailed, n, n, err) +
                               Format(kOpenReason, path.c_str(), ErrnoText(err).c_str()));
    }
    // A file, a pipe or /dev/null would take a program and give nothing back:
    // refused before a byte goes anywhere.
    if (!TtyIsTerminal(fd)) {
        ::close(fd);
        return Refuse(ENOTTY, Format(kNotATerminal, n, n, path.c_str()));
    }
    // Not shared: the lock stops every program that locks, ourselves included;
    // the kernel's exclusive mode then stops other openers (but not root). Only
    // a device we hold is marked, never one we were refused.
    int events[3] = {-1, -1, -1};
    int err = 0;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        err = errno == EWOULDBLOCK ? EBUSY : errno; // another program holds it
    } else {
        for (int& e : events)
            if ((e = MakeEventFd()) < 0 && err == 0)
                err = errno;
    }
    if (err != 0) {
        for (int& e : events)
            CloseFd(e);
        ::close(fd);
        return Refuse(err, Format(kOpenFailed, n, n, err) +
                               Format(kOpenReason, path.c_str(), ErrnoText(err).c_str()));
    }
    TtySetExclusive(fd);
    {
        std::unique_lock<std::shared_mutex> hold(fdLock);
        closeFd = events[0];
        cancelFd = events[1];
        wakeFd = events[2];
        portFd = fd;
    }
    writesCancelled = false;
    stateSaved = TtySaveState(fd, savedState, sizeof savedState) == 0;
    pseudoTerminal = TtyIsPseudoTerminal(fd);
    paced = pseudoTerminal && PacingWanted();
    markErrors = !pseudoTerminal;
    pacer.Start(settings);
    marks.Reset();
    badTaken = marks.BadCount();
    driverCounts = TtyReadErrorCounts(fd, countsTaken) == 0;

    ::tcflush(fd, TCIOFLUSH);
    LinkStatus status;
    TtyLineSetup current;
    if ((err = TtyReadLine(fd, current)) != 0)
        status = Misconfigured("获取串口状态", err);
    else if ((err = TtySetLine(fd, settings.baudRate, settings.dataBits, settings.stopBits,
                               settings.parity, markErrors, settings.rtsCts)) != 0)
        status = Misconfigured(err == EINVAL ? "建立串口设备控制块" : "设置串口", err);
    TtyRaiseDtrRts(fd);
    ::tcflush(fd, TCIOFLUSH);
    return status;
}

bool CSerialPort::Close() {
    const int fd = portFd.load();
    if (fd < 0)
        return true;
    Signal(closeFd); // ends the reader's wait and any Write

    std::unique_lock<std::shared_mutex> hold(fdLock);
    TtyDropDtr(fd);
    // On a pseudo-terminal the bytes a write has given out wait in the far
    // end's queue, not ours: they are on the line and must not be purged.
    ::tcflush(fd, pseudoTerminal ? TCIFLUSH : TCIOFLUSH);
    if (stateSaved)
        TtyRestoreState(fd, savedState, sizeof savedState);
    TtyClearExclusive(fd);
    ::close(fd);
    CloseFd(closeFd);
    CloseFd(cancelFd);
    CloseFd(wakeFd);
    portFd = -1;
    return true;
}

void CSerialPort::Purge() {
    std::shared_lock<std::shared_mutex> hold(fdLock);
    if (const int fd = portFd.load(); fd >= 0)
        ::tcflush(fd, TCIOFLUSH);
}

uint32_t CSerialPort::ReadSome(void* buffer, uint32_t maximum) {
    std::shared_lock<std::shared_mutex> hold(fdLock);
    const int fd = portFd.load();
    if (fd < 0 || maximum == 0)
        return 0;
    char* bytes = static_cast<char*>(buffer);
    for (;;) {
        const ssize_t n = ::read(fd, bytes, maximum);
        // A read that held only part of a mark may give nothing yet: the
        // rest comes with the next one.
        if (n > 0)
            return markErrors ? uint32_t(marks.Filter(bytes, size_t(n))) : uint32_t(n);
        if (n < 0 && errno == EINTR)
            continue;
        // With VMIN and VTIME 0 an empty line reads as 0 bytes, as a hung-up
        // one does; WaitReadable tells them apart. EIO is a pseudo-terminal
        // whose other end has gone.
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            lost = true;
        return 0;
    }
}

Link::Wait CSerialPort::WaitReadable() {
    std::shared_lock<std::shared_mutex> hold(fdLock);
    const int fd = portFd.load();
    if (fd < 0)
        return Wait::Closed;
    for (;;) {
        pollfd p[3] = {{fd, POLLIN, 0}, {closeFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int r = ::poll(p, 3, -1);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || p[1].revents)
            return r < 0 ? Wait::Lost : Wait::Closed;
        if (p[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            // Gone (unplugged, or the far end closed; a hung-up terminal also
            // says readable), once nothing is left to read.
            int left = 0;
            if (TtyInputCount(fd, left) == 0 && left > 0)
                return Wait::Readable;
            lost = true;
            return Wait::Lost;
        }
        if (p[0].revents & POLLIN)
            return Wait::Readable;
        if (p[2].revents) {
            Consume(wakeFd);
            return Wait::Woken;
        }
    }
}

void CSerialPort::WakeReader() {
    std::shared_lock<std::shared_mutex> hold(fdLock);
    if (portFd.load() >= 0)
        Signal(wakeFd);
}

uint32_t CSerialPort::InputWaiting() const {
    std::shared_lock<std::shared_mutex> hold(fdLock);
    const int fd = portFd.load();
    if (fd < 0)
        return 0;
    // Bytes the driver has taken may still wait in the kernel's hand-over
    // buffer, where the count does not see them; a poll moves them on.
    pollfd p{fd, POLLIN, 0};
    ::poll(&p, 1, 0);
    int waiting = 0;
    if (TtyInputCount(fd, waiting) != 0 || waiting < 0)
        return 0;
    return uint32_t(waiting);
}

bool CSerialPort::Interrupted() const {
    return writesCancelled.load();
}

bool CSerialPort::SleepUntil(Clock::time_point deadline) const {
    for (;;) {
        if (Interrupted())
            return false;
        auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero())
            return true;
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timespec wait{time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
        pollfd p[2] = {{closeFd, POLLIN, 0}, {cancelFd, POLLIN, 0}};
        if (::ppoll(p, 2, &wait, nullptr) > 0)
            return false;
    }
}

bool CSerialPort::WriteAll(int fd, const char* bytes, size_t length, uint32_t& written) {
    size_t done = 0;
    while (done < length) {
        if (Interrupted())
            return false;
        ssize_t n = ::write(fd, bytes + done, length - done);
        if (n > 0) {
            done += size_t(n);
            written += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            // The device has gone (unplugged, hung up): say so at once, not
            // only when the reader next looks.
            if (errno == EIO || errno == ENXIO || errno == ENODEV)
                lost = true;
            return false;
        }
        // Room comes back as the line sends; ten seconds without any is a
        // line that does not move.
        pollfd p[3] = {{fd, POLLOUT, 0}, {closeFd, POLLIN, 0}, {cancelFd, POLLIN, 0}};
        int r = ::poll(p, 3, kTimeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        if (r > 0 && (p[0].revents & POLLHUP))
            lost = true;
        if (r <= 0 || p[1].revents || p[2].revents ||
            (p[0].revents & (POLLERR | POLLHUP | POLLNVAL)))
            return false;
    }
    return true;
}

// Waits until the driver has sent everything. The time allowed follows the
// bytes: a queue that keeps shrinking is waited for however long the line
// takes; ten seconds without a byte leaving is a failure. Ended by Close and
// by a cancel.
bool CSerialPort::DrainOutput(int fd) {
    ProgressDeadline deadline(std::chrono::milliseconds(kTimeoutMs), Clock::now());
    for (;;) {
        int queued = 0;
        if (TtyOutputCount(fd, queued) != 0 || queued <= 0)
            break;
        const auto now = Clock::now();
        if (!deadline.Alive(queued, now))
            return false;
        if (!SleepUntil(now + std::chrono::milliseconds(2)))
            return false;
    }
    // The queue count leaves out what the UART's FIFO still holds; with the
    // queue empty this wait is a FIFO's worth of line time at most.
    int result;
    do
        result = ::tcdrain(fd);
    while (result != 0 && errno == EINTR);
    return result == 0 || errno == ENOTTY || errno == EINVAL; // nothing with a line
}

bool CSerialPort::Write(const void* buffer, uint32_t length, uint32_t& written) {
    std::lock_guard<std::mutex> serial(writeLock); // whole blocks, never interleaved
    std::shared_lock<std::shared_mutex> hold(fdLock);
    written = 0;
    const int fd = portFd.load();
    if (fd < 0) {
        Show("串口句柄无效，无法发送数据.");
        return false;
    }
    const char* bytes = static_cast<const char*>(buffer);
    if (paced)
        return WritePaced(fd, bytes, length, written) && written == length;
    if (!WriteAll(fd, bytes, length, written))
        return false;
    // The driver's queue first, then what the UART's FIFO still holds.
    if (!pseudoTerminal && !DrainOutput(fd))
        return false;
    return written == length;
}

// A pseudo-terminal has no line: the pacer models one. Returns when the last
// byte has left.
bool CSerialPort::WritePaced(int fd, const char* bytes, size_t length, uint32_t& written) {
    return pacer.Write(
        bytes, length, [&](const char* slice, size_t n) { return WriteAll(fd, slice, n, written); },
        [this](Clock::time_point until) { return SleepUntil(until); });
}

bool CSerialPort::WaitUntilSent() {
    std::shared_lock<std::shared_mutex> hold(fdLock);
    const int fd = portFd.load();
    if (fd < 0)
        return false;
    if (paced)
        return SleepUntil(pacer.LineFreeAt());
    return pseudoTerminal || DrainOutput(fd);
}

void CSerialPort::CancelWrites(bool on) {
    std::shared_lock<std::shared_mutex> hold(fdLock);
    writesCancelled = on;
    const int fd = portFd.load();
    if (fd < 0)
        return;
    if (on) {
        Signal(cancelFd);
        // What the driver still holds of the cut line goes nowhere.
        if (!pseudoTerminal)
            ::tcflush(fd, TCOFLUSH);
    } else {
        Consume(cancelFd);
    }
}

LineErrors CSerialPort::TakeLineErrors() {
    std::shared_lock<std::shared_mutex> hold(fdLock);
    LineErrors errors;
    const int64_t bad = marks.BadCount();
    errors.badCharacters = bad - badTaken;
    badTaken = bad;
    TtyErrorCounts now;
    const int fd = portFd.load();
    if (fd >= 0 && driverCounts && TtyReadErrorCounts(fd, now) == 0) {
        errors.overruns = now.overruns - countsTaken.overruns;
        countsTaken = now;
    }
    return errors;
}

bool CSerialPort::ReadBackLine(TtyLineSetup& setup) const {
    std::shared_lock<std::shared_mutex> hold(fdLock);
    const int fd = portFd.load();
    return fd >= 0 && TtyReadLine(fd, setup) == 0;
}
