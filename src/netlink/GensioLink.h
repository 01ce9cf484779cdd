#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include <gensio/gensio_types.h>

#include "link/LinePacer.h"
#include "link/Link.h"
#include "netlink/GensioLoop.h"
#include "netlink/NetAddress.h"

struct gensio;
struct sergensio;

// A controller's line on a serial device server: "rfc2217://HOST:PORT", where
// the program sets the server's line up (RFC 2217: rate, data bits, parity,
// stop bits, flow control, purge, line-state reports), or "tcp://HOST:PORT",
// a raw socket whose line is set up on the server. gensio speaks TCP and the
// telnet option; its loop runs on a thread of this link's own.
//
// Writes are paced to the line's time, as on a pseudo-terminal, so that the
// server's buffer never runs far ahead of the wire and the controller's DC3
// comes back in time. The server is told to use no flow control of its own
// unless the line asks for RTS/CTS: XON/XOFF stays with the program.
//
// Threads: as Link. Every gensio call happens on the loop's thread.
class GensioLink final : public Link {
public:
    // How long the server may take to accept, and then to answer each setting.
    static constexpr int kConnectTimeoutMs = 10000;
    static constexpr int kSettingTimeoutMs = 5000;
    // How long a write may wait for the network to take it.
    static constexpr int kWriteTimeoutMs = 10000;
    // TCP: a server that stops acknowledging (its power gone) is given up
    // after this long.
    static constexpr int kUnacknowledgedMs = 15000;

    GensioLink();
    ~GensioLink() override;
    GensioLink(const GensioLink&) = delete;
    GensioLink& operator=(const GensioLink&) = delete;

    void Configure(const PortSettings& settings, const std::string& address = {}) override;
    const PortSettings& Settings() const override { return settings; }
    std::string Address() const override { return address; }

    LinkStatus Open() override;
    bool Close() override;
    bool IsOpen() const override { return open.load(); }
    bool IsLost() const override { return lost.load(); }

    uint32_t ReadSome(void* buffer, uint32_t maximum) override;
    Wait WaitReadable() override;
    void WakeReader() override;
    uint32_t InputWaiting() const override;

    bool Write(const void* buffer, uint32_t length, uint32_t& written) override;
    bool WaitUntilSent() override;
    void CancelWrites(bool on) override;
    bool TakesLineTime() const override { return true; }

    void Purge() override;
    LineErrors TakeLineErrors() override;

    // What the server said it set, after an RFC 2217 Open (for tests and messages).
    struct Reported {
        int baud = 0, dataBits = 0, stopBits = 0;
        char parity = '?';
        bool rtsCts = false;
    };
    Reported ServerLine() const;

private:
    enum class Phase { Closed, Connecting, Setting, Opened, Failed };

    static int OnEvent(gensio* io, void* self, int event, int err, unsigned char* buf,
                       gensiods* buflen, const char* const* auxdata);
    static void OnOpened(gensio* io, int err, void* self);
    static void OnSetting(sergensio* sio, int err, unsigned int value, void* self);
    // On the loop's thread.
    void Connect();
    void NextSetting();
    void Fail(const std::string& why);
    void Lose();
    void FlushOutbox();
    void CloseOnLoop();

    LinkStatus Refuse(const std::string& text);
    bool WaitFor(std::unique_lock<std::mutex>& hold, std::chrono::milliseconds limit,
                 const std::function<bool()>& done);
    bool SleepUntil(LinePacer::Clock::time_point until);
    bool SendNow(const char* bytes, size_t length);

    PortSettings settings;
    std::string address;
    NetAddress net;
    GensioLoop loop;
    gensio* io = nullptr;        // the loop's
    sergensio* serial = nullptr; // RFC 2217 only
    int settingStep = 0;         // the loop's: which setting is asked next

    mutable std::mutex lock;
    std::condition_variable changed;
    Phase phase = Phase::Closed;
    std::string failure;
    Reported reported;
    std::string inbox; // what came, not read yet
    size_t inboxStart = 0;
    std::string outbox; // handed to the loop, not yet taken by gensio
    bool woken = false;
    LineErrors errors;

    std::atomic<bool> open{false};
    std::atomic<bool> lost{false};
    std::atomic<bool> writesCancelled{false};
    std::mutex writeLock;
    LinePacer pacer;
};
