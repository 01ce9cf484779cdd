#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class Link;
class TransferControl;
class TransferHost;

// The thread that reads a connected link. The controller's DC3 and DC1 take
// effect here, the moment they are read, however busy the host thread is;
// the bytes themselves wait, in order, until the host thread takes them (it is
// told once, when a read finds the line quiet or many bytes wait). Bytes that
// arrive while the view is idle are read and dropped. When the link goes away
// the host is told once and the thread ends.
//
// Threads: Start, Stop and Take on the host thread; CatchUp on the transmit
// worker; TakeActivity anywhere.
class PortReader {
public:
    PortReader(Link& link, TransferControl& control, TransferHost& host);
    ~PortReader();
    PortReader(const PortReader&) = delete;
    PortReader& operator=(const PortReader&) = delete;

    bool Start();
    // Ends and joins the thread; safe when it is not running.
    void Stop();

    // Everything read since the last call, appended to out in order.
    void Take(std::string& out);
    // Returns once every byte that had reached the link when it was called
    // has been read and its flow control applied; false when the reader could
    // not do that in time (it has ended, or the host thread has left too many
    // bytes untaken for too long).
    bool CatchUp(std::chrono::milliseconds limit);
    // Whether anything arrived since the last call.
    bool TakeActivity() { return activity.exchange(false); }
    // When the last bytes were read (the epoch of the steady clock if never).
    std::chrono::steady_clock::time_point LastArrival() const {
        return std::chrono::steady_clock::time_point(
            std::chrono::steady_clock::duration(lastArrival.load()));
    }

    // What the host may leave untaken before the reader stops reading.
    static constexpr size_t kPendingLimit = size_t(64) << 20;

private:
    void Run();
    // Reads everything there is; false when the link has gone.
    bool ReadPass();
    void Keep(const char* bytes, size_t length);
    // Tells the host of the waiting bytes, once, when there are atLeast of them.
    void Tell(size_t atLeast);

    Link& link;
    TransferControl& control;
    TransferHost& host;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<bool> running{false};
    // Set from before a read until what it held has been applied: a byte in
    // this window is in neither the link's count nor the state yet.
    std::atomic<bool> busy{false};
    std::atomic<bool> activity{false};
    std::atomic<std::chrono::steady_clock::rep> lastArrival{0};
    std::vector<unsigned char> buffer; // the reader thread's own

    std::mutex lock;
    std::condition_variable changed;
    std::string pending; // read, not yet taken by the host thread
    bool posted = false; // the host has been told of pending
    uint64_t catchUpAsked = 0;
    uint64_t catchUpDone = 0;
};
