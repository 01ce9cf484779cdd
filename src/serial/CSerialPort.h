#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "link/LinePacer.h"
#include "link/Link.h"
#include "serial/LinuxTty.h"
#include "serial/ParmrkFilter.h"
#include "serial/PortSettings.h"

// One RS-232 line through termios: COMn through the port map, or a device
// path. Open refuses anything that is not a terminal before a byte is written;
// Write returns when the bytes have left the line (on a pseudo-terminal, after
// the time a real line would take, unless SERMIDA_PTY_PACING=0).
//
// Threads: as Link. Close wakes every wait of the reader and of a Write in
// progress, and never closes the device while one of them still uses it.
class CSerialPort final : public Link {
public:
    static constexpr int kTimeoutMs = 10000;

    CSerialPort();
    ~CSerialPort() override;
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    void Configure(const PortSettings& settings, const std::string& devicePath = {}) override;
    const PortSettings& Settings() const override { return settings; }
    std::string Address() const override;

    LinkStatus Open() override;
    bool Close() override;
    bool IsOpen() const override { return portFd.load() >= 0; }
    bool IsLost() const override { return lost.load(); }

    uint32_t ReadSome(void* buffer, uint32_t maximum) override;
    Wait WaitReadable() override;
    void WakeReader() override;
    uint32_t InputWaiting() const override;

    bool Write(const void* buffer, uint32_t length, uint32_t& written) override;
    bool WaitUntilSent() override;
    void CancelWrites(bool on) override;
    bool TakesLineTime() const override { return paced || !pseudoTerminal; }

    void Purge() override;
    LineErrors TakeLineErrors() override;

    // What the device holds now (for diagnostics and tests); false when closed.
    bool ReadBackLine(TtyLineSetup& setup) const;
    // Whether Write waits for the line time of a pseudo-terminal.
    bool IsPaced() const { return paced; }

private:
    LinkStatus Refuse(int error, const std::string& text);
    LinkStatus Misconfigured(const char* operation, int error);
    // Sleeps until the deadline unless Close or a cancel wakes it; false when woken.
    bool SleepUntil(std::chrono::steady_clock::time_point deadline) const;
    bool WriteAll(int fd, const char* bytes, size_t length, uint32_t& written);
    bool WritePaced(int fd, const char* bytes, size_t length, uint32_t& written);
    bool DrainOutput(int fd);
    bool Interrupted() const;

    PortSettings settings;
    std::string devicePath; // empty: the port map's device for the port number
    std::atomic<bool> lost{false};
    std::atomic<bool> writesCancelled{false};

    std::atomic<int> portFd{-1};
    int closeFd = -1;  // eventfd: made readable by Close to end every wait
    int cancelFd = -1; // eventfd: readable while writes are cancelled
    int wakeFd = -1;   // eventfd: one WaitReadable returns Woken
    // Held shared while the device is in use, exclusively to close it.
    mutable std::shared_mutex fdLock;
    std::mutex writeLock;
    unsigned char savedState[kTtyStateSize] = {};
    bool stateSaved = false;

    ParmrkFilter marks;
    TtyErrorCounts countsTaken; // the driver's counts at the last TakeLineErrors
    int64_t badTaken = 0;
    bool driverCounts = false;

    bool pseudoTerminal = false; // has no line to drain
    bool markErrors = false;     // the kernel marks damaged characters (a real line)
    bool paced = false;
    LinePacer pacer;
};
