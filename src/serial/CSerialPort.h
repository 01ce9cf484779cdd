#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>

#include "common/ManualResetEvent.h"
#include "serial/LinuxTty.h"
#include "serial/PortSettings.h"

class CSerialPort;
class MessageSink;

// The object that is told, on the port's monitor thread, that bytes are
// waiting. It must not block: it arranges for Read to run on its own thread,
// and then signals the port's m_hReadDone.
class PortOwner {
public:
    virtual ~PortOwner() = default;
    virtual void PostPortData(CSerialPort& port) = 0;
};

// One RS-232 line. Open programs it from the settings; a monitor thread tells
// the owner when bytes arrive; Write returns when the bytes have left.
//
// Threads: Configure, Open, Close and Read run on the owner's thread; Write
// may run on a worker at the same time as Read. Close wakes every wait of the
// monitor and of a Write in progress, and never closes the device while one of
// them still uses it.
class CSerialPort {
public:
    static constexpr uint32_t kReadAll = 0xFFFFFFFFu;
    static constexpr int kTimeoutMs = 10000;

    CSerialPort();
    ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    bool Configure(PortOwner* owner, int portNumber, int baudRate, int dataBits, int stopBits,
                   char parity, uint32_t eventMask = 1);
    int CopySettings(const CSerialPort& other);
    // Opens this path instead of the port map's device for the port number
    // (empty: the port map again). The port number then need not be 1..9.
    void SetDevicePath(const std::string& path) { devicePath = path; }
    void SetMessageSink(MessageSink* sink) { messages = sink; }

    bool Open();
    bool Close();
    uint32_t Read(void* buffer, uint32_t maximum);
    // Drops whatever waits in either direction.
    void Purge();
    // What is waiting, up to maximum, after waiting up to waitMicros for the
    // first byte; 0 without a message when nothing came.
    uint32_t ReadMore(void* buffer, uint32_t maximum, int waitMicros = 0);
    bool Write(const void* buffer, uint32_t length, uint32_t& written);
    // Waits until the last byte written has left the line.
    bool WaitUntilSent();
    // Bytes the driver holds that nobody has read yet; 0 when closed.
    uint32_t InputWaiting() const;
    bool StartMonitor();
    bool StopMonitor();
    void ReportCommError(const char* operation, int error);

    bool IsOpen() const { return portFd.load() >= 0; }
    // The monitor has found the device gone (unplugged, or the far end
    // closed) since the last Open: nothing more comes, nothing more goes.
    bool IsLost() const { return lost.load(); }
    const PortSettings& Settings() const { return settings; }
    PortOwner* Owner() const { return owner; }
    // The device that Open uses.
    std::string DevicePath() const;
    // What the device holds now (for diagnostics and tests); false when closed.
    bool ReadBackLine(TtyLineSetup& setup) const;
    // Whether Write waits for the line time (a pseudo-terminal, unless
    // SERMIDA_PTY_PACING=0).
    bool IsPaced() const { return paced; }
    // Whether Write lasts as long as the bytes take on a line: a real port,
    // or a paced pseudo-terminal.
    bool TakesLineTime() const { return paced || !pseudoTerminal; }

    // Signalled by the owner once it has read what the monitor announced.
    ManualResetEvent m_hReadDone{true};

private:
    void MonitorThreadProc();
    void JoinMonitor();
    void Show(const std::string& text) const;
    // Sleeps until the deadline unless Close wakes it; false when woken.
    bool SleepUntil(std::chrono::steady_clock::time_point deadline) const;
    bool WriteAll(int fd, const char* bytes, size_t length, uint32_t& written);
    bool DrainOutput(int fd);
    int BitsPerCharacter() const;
    std::chrono::nanoseconds CharacterTime() const;

    PortSettings settings;
    uint32_t eventMask = 0;
    std::atomic<int> monitorStop{1};
    std::atomic<bool> lost{false};
    PortOwner* owner = nullptr;
    std::atomic<MessageSink*> messages{nullptr}; // the monitor shows through it too
    std::string devicePath;

    std::thread monitorThread;
    std::atomic<int> portFd{-1};
    int wakeFd = -1; // eventfd: made readable by Close to end every wait
    // Held shared while the device is in use, exclusively to close it.
    mutable std::shared_mutex fdLock;
    std::mutex writeLock;
    unsigned char savedState[kTtyStateSize] = {};
    bool stateSaved = false;

    bool pseudoTerminal = false; // has no line to drain
    bool paced = false;
    // When the bytes written so far will have left a real line.
    std::chrono::steady_clock::time_point lineFreeAt{};
};
