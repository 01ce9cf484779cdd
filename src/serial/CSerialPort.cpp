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
#include <mutex>
#include <system_error>

#include "common/MessageSink.h"
#include "serial/PortMap.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kOpenFailed =
    "无法打开串口%d(COM%d)，请检查串口是否正确安装，或是否已经被占用。错误码:%d";

bool PacingWanted() {
    const char* env = std::getenv("SERMIDA_PTY_PACING");
    return !(env && std::strcmp(env, "0") == 0);
}

} // namespace

CSerialPort::CSerialPort() = default;

CSerialPort::~CSerialPort() {
    monitorStop = 1;
    int fd = portFd.load();
    if (fd >= 0) {
        uint64_t one = 1;
        (void)!::write(wakeFd, &one, sizeof one);
    }
    m_hReadDone.Set();
    JoinMonitor();
    if (fd >= 0) {
        std::unique_lock<std::shared_mutex> hold(fdLock);
        ::close(fd);
        ::close(wakeFd);
        portFd = -1;
    }
}

void CSerialPort::Show(const std::string& text) const {
    MessageSink* sink = messages.load();
    (sink ? *sink : DefaultMessageSink()).ShowMessage(text);
}

bool CSerialPort::Configure(PortOwner* newOwner, int portNumber, int baudRate, int dataBits,
                            int stopBits, char parity, uint32_t mask) {
    owner = newOwner;
    settings.portNumber = portNumber;
    settings.baudRate = baudRate;
    settings.dataBits = static_cast<uint8_t>(dataBits);
    settings.stopBits = static_cast<uint8_t>(stopBits);
    settings.parity = parity;
    eventMask = mask;
    return true;
}

int CSerialPort::CopySettings(const CSerialPort& other) {
    settings = other.settings;
    return 1;
}

std::string CSerialPort::DevicePath() const {
    return devicePath.empty() ? DevicePathOfPort(settings.portNumber) : devicePath;
}

void CSerialPort::ReportCommError(const char* operation, int error) {
    Show(Format("\"%s\" 由于以下错误而失败: \n\n%s", operation, std::strerror(error)));
}

bool CSerialPort::Open() {
    if (IsOpen())
        Close();
    lost = false;
    const int n = settings.portNumber;
    if (devicePath.empty() && (n < 1 || n > 9)) {
        Show(Format("无法打开串口COM%d,仅支持COM1-9.", n));
        return false;
    }
    const std::string path = DevicePath();
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int err = errno;
    if (fd >= 0) {
        // Not shared: the lock stops every program that locks, ourselves
        // included; the kernel's exclusive mode then stops other openers (but
        // not root). Only a device we hold is marked, never one we were refused.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            err = errno;
            ::close(fd);
            fd = -1;
        } else {
            TtySetExclusive(fd);
        }
    }
    int wake = -1;
    if (fd >= 0) {
        wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wake < 0) {
            err = errno;
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        Show(Format(kOpenFailed, n, n, err));
        return false;
    }
    {
        std::unique_lock<std::shared_mutex> hold(fdLock);
        wakeFd = wake;
        portFd = fd;
    }
    stateSaved = TtySaveState(fd, savedState, sizeof savedState) == 0;
    pseudoTerminal = TtyIsPseudoTerminal(fd);
    paced = pseudoTerminal && PacingWanted();
    lineFreeAt = Clock::now();

    // Every wait below uses the 10000 ms time-out; the event mask only selects
    // what the monitor watches, so neither needs programming here.
    ::tcflush(fd, TCIOFLUSH);
    TtyLineSetup current;
    if ((err = TtyReadLine(fd, current)) != 0) {
        ReportCommError("获取串口状态", err);
    } else if ((err = TtySetLine(fd, settings.baudRate, settings.dataBits, settings.stopBits,
                                 settings.parity)) != 0) {
        ReportCommError(err == EINVAL ? "建立串口设备控制块" : "设置串口", err);
    }
    TtyRaiseDtrRts(fd);
    ::tcflush(fd, TCIOFLUSH);
    return true;
}

bool CSerialPort::Close() {
    const int fd = portFd.load();
    if (fd < 0)
        return true;
    monitorStop = 1;
    uint64_t one = 1;
    (void)!::write(wakeFd, &one, sizeof one); // ends the monitor's poll and any Write
    m_hReadDone.Set(); // and a monitor waiting for an owner that never answers
    JoinMonitor();

    std::unique_lock<std::shared_mutex> hold(fdLock);
    TtyDropDtr(fd);
    // On a pseudo-terminal the bytes a write has given out wait in the far
    // end's queue, not ours: they are on the line and must not be purged.
    ::tcflush(fd, pseudoTerminal ? TCIFLUSH : TCIOFLUSH);
    if (stateSaved)
        TtyRestoreState(fd, savedState, sizeof savedState);
    TtyClearExclusive(fd);
    ::close(fd);
    ::close(wakeFd);
    wakeFd = -1;
    portFd = -1;
    return true;
}

void CSerialPort::Purge() {
    std::shared_lock<std::shared_mutex> hold(fdLock);
    if (const int fd = portFd.load(); fd >= 0)
        ::tcflush(fd, TCIOFLUSH);
}

uint32_t CSerialPort::Read(void* buffer, uint32_t maximum) {
    std::shared_lock<std::shared_mutex> hold(fdLock);
    const int fd = portFd.load();
    int waiting = 0;
    if (fd >= 0)
        TtyInputCount(fd, waiting);
    if (maximum == kReadAll && waiting <= 0)
        return 0;
    const uint32_t count = std::min(maximum, static_cast<uint32_t>(std::max(waiting, 0)));
    uint32_t result = 0;
    while (count > 0) {
        ssize_t n = ::read(fd, buffer, count);
        if (n < 0 && errno == EINTR)
            continue;
        result = n > 0 ? static_cast<uint32_t>(n) : 0;
        break;
    }
    if (result == 0)
        Show("读取串口数据错误！");
    return result;
}

uint32_t CSerialPort::ReadMore(void* buffer, uint32_t maximum, int waitMicros) {
    std::shared_lock<std::shared_mutex> hold(fdLock);
    const int fd = portFd.load();
    if (fd < 0 || maximum == 0)
        return 0;
    // The device is non-blocking: a read takes what is there, and an empty
    // driver answers EAGAIN, one system call a turn while bytes stream in.
    for (bool waited = waitMicros <= 0;;) {
        const ssize_t n = ::read(fd, buffer, maximum);
        if (n > 0)
            return uint32_t(n);
        if (n < 0 && errno == EINTR)
            continue;
        if (waited || (n < 0 && errno != EAGAIN))
            return 0;
        waited = true;
        timespec wait{0, long(waitMicros) * 1000};
        pollfd p[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        if (::ppoll(p, 2, &wait, nullptr) <= 0 || p[1].revents || !(p[0].revents & POLLIN))
            return 0;
    }
}

uint32_t CSerialPort::InputWaiting() const {
    std::shared_lock<std::shared_mutex> hold(fdLock);
    const int fd = portFd.load();
    int waiting = 0;
    if (fd < 0 || TtyInputCount(fd, waiting) != 0 || waiting < 0)
        return 0;
    return uint32_t(waiting);
}

bool CSerialPort::SleepUntil(Clock::time_point deadline) const {
    for (;;) {
        auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero())
            return true;
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timespec wait{time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
        pollfd p{wakeFd, POLLIN, 0};
        if (::ppoll(&p, 1, &wait, nullptr) > 0)
            return false;
    }
}

bool CSerialPort::WriteAll(int fd, const char* bytes, size_t length, uint32_t& written) {
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::write(fd, bytes + done, length - done);
        if (n > 0) {
            done += size_t(n);
            written += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return false;
        pollfd p[2] = {{fd, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
        int r = ::poll(p, 2, kTimeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0 || p[1].revents || (p[0].revents & (POLLERR | POLLHUP | POLLNVAL)))
            return false;
    }
    return true;
}

// Waits until the driver has sent everything; bounded, and ended by Close.
bool CSerialPort::DrainOutput(int fd) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(kTimeoutMs);
    for (;;) {
        int queued = 0;
        if (TtyOutputCount(fd, queued) != 0 || queued <= 0)
            break;
        if (Clock::now() >= deadline)
            return false;
        if (!SleepUntil(Clock::now() + std::chrono::milliseconds(2)))
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

int CSerialPort::BitsPerCharacter() const {
    int data = settings.dataBits >= 5 && settings.dataBits <= 8 ? settings.dataBits : 8;
    int stop = settings.stopBits == 2 ? 2 : 1;
    int parity = settings.parity == 'O' || settings.parity == 'E' ? 1 : 0;
    return 1 + data + parity + stop;
}

bool CSerialPort::Write(const void* buffer, uint32_t length, uint32_t& written) {
    std::lock_guard<std::mutex> serial(writeLock); // whole blocks, never interleaved
    std::shared_lock<std::shared_mutex> hold(fdLock);
    const int fd = portFd.load();
    if (fd < 0) {
        Show("串口句柄无效，无法发送数据.");
        return false;
    }
    written = 0;
    const char* bytes = static_cast<const char*>(buffer);
    if (!paced) {
        if (!WriteAll(fd, bytes, length, written))
            return false;
        // The driver's queue first (bounded, ended by Close), then what the
        // UART's FIFO still holds, which the queue count leaves out.
        if (!pseudoTerminal && !DrainOutput(fd))
            return false;
        return written == length;
    }
    // A pseudo-terminal has no line: model one. The bytes go to the far end in
    // slices of about a millisecond, each when a real line would start sending
    // it, so the far end sees them no earlier than on a cable and its DC3 comes
    // back in time; Write returns when the last byte has left.
    const auto charTime = CharacterTime();
    const int baud = settings.baudRate > 0 ? settings.baudRate : 9600;
    const size_t slice = std::max<size_t>(1, size_t(baud / BitsPerCharacter() / 1000));
    auto now = Clock::now();
    // A write that follows the last one within the time it takes a thread to
    // wake continues the line; only a real pause lets it fall idle.
    const auto wakeSlack = std::max<std::chrono::nanoseconds>(charTime * 2,
                                                              std::chrono::milliseconds(2));
    if (lineFreeAt + wakeSlack < now)
        lineFreeAt = now;
    for (size_t at = 0; at < length; at += slice) {
        if (!SleepUntil(lineFreeAt))
            return false;
        size_t n = std::min(slice, size_t(length) - at);
        if (!WriteAll(fd, bytes + at, n, written))
            return false;
        lineFreeAt += charTime * static_cast<long>(n);
    }
    if (!SleepUntil(lineFreeAt))
        return false;
    return written == length;
}

std::chrono::nanoseconds CSerialPort::CharacterTime() const {
    const int baud = settings.baudRate > 0 ? settings.baudRate : 9600;
    return std::chrono::nanoseconds(1'000'000'000LL * BitsPerCharacter() / baud);
}

bool CSerialPort::WaitUntilSent() {
    std::shared_lock<std::shared_mutex> hold(fdLock);
    const int fd = portFd.load();
    if (fd < 0)
        return false;
    if (paced)
        return SleepUntil(lineFreeAt);
    return pseudoTerminal || DrainOutput(fd);
}

bool CSerialPort::StartMonitor() {
    if (!IsOpen())
        return false;
    JoinMonitor(); // a monitor that ended by itself
    monitorStop = 0;
    try {
        monitorThread = std::thread(&CSerialPort::MonitorThreadProc, this);
    } catch (const std::system_error&) {
        monitorStop = 1;
        return false;
    }
    return true;
}

bool CSerialPort::StopMonitor() {
    monitorStop = 1;
    return true;
}

void CSerialPort::JoinMonitor() {
    if (!monitorThread.joinable())
        return;
    if (monitorThread.get_id() == std::this_thread::get_id())
        monitorThread.detach(); // closed from its own notification: it ends by itself
    else
        monitorThread.join();
}

void CSerialPort::MonitorThreadProc() {
    const int fd = portFd.load();
    m_hReadDone.Set();
    while (monitorStop.load() == 0) {
        int waiting = 0;
        TtyInputCount(fd, waiting);
        if (waiting > 0) {
            m_hReadDone.Reset();
            // Close stores the stop flag before it sets the event: checked after
            // the reset, either we see the flag or the wait sees the event.
            if (monitorStop.load() != 0)
                break;
            if (owner)
                owner->PostPortData(*this);
            else
                m_hReadDone.Set();
            m_hReadDone.Wait();
            continue;
        }
        pollfd p[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        int r = ::poll(p, 2, -1);
        if (r < 0 && errno == EINTR)
            continue;
        if (monitorStop.load() != 0 || (r > 0 && p[1].revents))
            break;
        bool failed = r < 0;
        if (!failed && (p[0].revents & (POLLERR | POLLHUP | POLLNVAL))) {
            int left = 0;
            failed = TtyInputCount(fd, left) != 0 || left <= 0;
        }
        if (failed) {
            // The device is gone (unplugged, or the far end closed). Said
            // before the message: a message box may keep this thread a while.
            lost = true;
            Show("串口错误，请重新启动程序。");
            return;
        }
    }
}

bool CSerialPort::ReadBackLine(TtyLineSetup& setup) const {
    std::shared_lock<std::shared_mutex> hold(fdLock);
    const int fd = portFd.load();
    return fd >= 0 && TtyReadLine(fd, setup) == 0;
}
