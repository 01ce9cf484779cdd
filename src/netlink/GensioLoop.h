#pragma once
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

struct gensio_os_funcs;
struct gensio_iod;

// One thread that owns a gensio OS handler of its own and everything made on
// it. gensio runs single-threaded here (no wake signal to block in the rest of
// the program); other threads hand it work with Post, which a socket pair
// wakes at once.
//
// Threads: Start and Stop on the owner's; Post from any; the posted work and
// every gensio callback run on the loop's thread.
class GensioLoop {
public:
    GensioLoop() = default;
    ~GensioLoop() { Stop(); }
    GensioLoop(const GensioLoop&) = delete;
    GensioLoop& operator=(const GensioLoop&) = delete;

    // False, with the reason, when the handler or the thread cannot be made.
    bool Start(std::string& why);
    // Runs what is posted, then goes on serving until settled() (asked on the
    // loop's thread; at most a few seconds), ends the thread and frees the
    // handler. What was made on it must be gone by then.
    void Stop(std::function<bool()> settled = {});
    bool Running() const { return thread.joinable(); }

    gensio_os_funcs* Os() const { return os; }
    void Post(std::function<void()> work);
    bool OnLoopThread() const { return std::this_thread::get_id() == thread.get_id(); }

private:
    void Run();
    void RunPosted();
    static void OnWake(gensio_iod* iod, void* self);

    gensio_os_funcs* os = nullptr;
    gensio_iod* wakeIod = nullptr;
    int wakeRead = -1, wakeWrite = -1;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<bool> wakeCleared{false};
    std::function<bool()> settledBeforeStop;
    std::mutex lock;
    std::deque<std::function<void()>> posted;
};
