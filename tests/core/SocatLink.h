#pragma once
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

// A cable made by socat: two pseudo-terminals joined, each reached through a
// named link. The program under test opens PcEnd(); the test plays the
// controller on ControllerEnd(). Pull() kills socat at once, as when a USB
// adapter is unplugged: both ends hang up and the bytes in flight are lost.
class SocatLink {
public:
    SocatLink();
    ~SocatLink();
    SocatLink(const SocatLink&) = delete;
    SocatLink& operator=(const SocatLink&) = delete;

    static bool Available(); // socat is installed
    bool Ready() const { return ready; }
    const std::string& PcEnd() const { return pcEnd; }
    const std::string& ControllerEnd() const { return controllerEnd; }
    void Pull();

private:
    std::string folder;
    std::string pcEnd;
    std::string controllerEnd;
    pid_t pid = -1;
    bool ready = false;
};

// The controller at the far end of a cable: everything that arrives is kept,
// read on a thread of its own until the line hangs up or the object goes.
class FarEnd {
public:
    explicit FarEnd(const std::string& path);
    ~FarEnd();
    FarEnd(const FarEnd&) = delete;
    FarEnd& operator=(const FarEnd&) = delete;

    bool IsOpen() const { return fd >= 0; }
    std::string Received() const;
    size_t Count() const { return count.load(); }
    bool HungUp() const { return hungUp.load(); }
    // Waits until at least n bytes have arrived.
    bool WaitFor(size_t n, std::chrono::milliseconds limit) const;
    // False when the line is gone.
    bool Write(const std::string& bytes);

private:
    void ReadLoop();

    int fd = -1;
    int stopFd = -1;
    mutable std::mutex lock;
    std::string received;
    std::atomic<size_t> count{0};
    std::atomic<bool> hungUp{false};
    std::thread reader;
};
