#include "transfer/PortReader.h"

#include <system_error>

#include "link/Link.h"
#include "transfer/TransferControl.h"
#include "transfer/TransferHost.h"

namespace {
constexpr uint32_t kReadChunk = 65536;
// While the bytes keep coming, the host is told once per this many rather
// than once per read: a pty hands over 4 KiB a read, and waking the host that
// often costs the reading more than it gains the display.
constexpr size_t kTellEvery = 65536;
} // namespace

PortReader::PortReader(Link& l, TransferControl& c, TransferHost& h)
    : link(l), control(c), host(h) {}

PortReader::~PortReader() {
    Stop();
}

bool PortReader::Start() {
    Stop();
    stopping = false;
    {
        std::lock_guard hold(lock);
        pending.clear();
        posted = false;
    }
    try {
        running = true;
        thread = std::thread(&PortReader::Run, this);
    } catch (const std::system_error&) {
        running = false;
        return false;
    }
    return true;
}

void PortReader::Stop() {
    if (!thread.joinable())
        return;
    {
        std::lock_guard hold(lock);
        stopping = true;
    }
    changed.notify_all();
    link.WakeReader();
    thread.join();
}

void PortReader::Run() {
    bool lost = false;
    while (!stopping && !lost) {
        lost = !ReadPass();
        if (lost || stopping)
            break;
        switch (link.WaitReadable()) {
        case Link::Wait::Readable:
        case Link::Wait::Woken:
            break;
        case Link::Wait::Lost:
            lost = true;
            break;
        case Link::Wait::Closed:
            stopping = true;
            break;
        }
    }
    {
        std::lock_guard hold(lock);
        running = false;
    }
    changed.notify_all();
    if (lost && !stopping)
        host.PostTransferEvent(TransferEvent::LinkLost);
}

bool PortReader::ReadPass() {
    uint64_t asked;
    {
        std::lock_guard hold(lock);
        asked = catchUpAsked;
    }
    buffer.resize(kReadChunk);
    for (;;) {
        busy = true;
        const uint32_t n = link.ReadSome(buffer.data(), kReadChunk);
        if (n == 0) {
            busy = false;
            break;
        }
        activity = true;
        lastArrival = std::chrono::steady_clock::now().time_since_epoch().count();
        control.PeerBytes(buffer.data(), n);
        busy = false;
        if (control.State() != Idle)
            Keep(reinterpret_cast<const char*>(buffer.data()), n);
        if (stopping)
            break;
    }
    Tell(0); // the line is quiet: whatever waits is told now
    {
        std::lock_guard hold(lock);
        catchUpDone = asked;
    }
    changed.notify_all();
    return !link.IsLost();
}

void PortReader::Keep(const char* bytes, size_t length) {
    {
        std::unique_lock hold(lock);
        // A host thread that takes nothing for very long stops the reading,
        // never the keeping: the driver holds the rest.
        changed.wait(hold, [this] { return pending.size() < kPendingLimit || stopping; });
        pending.append(bytes, length);
    }
    Tell(kTellEvery);
}

void PortReader::Tell(size_t atLeast) {
    {
        std::lock_guard hold(lock);
        if (posted || pending.empty() || pending.size() < atLeast)
            return;
        posted = true;
    }
    host.PostTransferEvent(TransferEvent::PortData);
}

void PortReader::Take(std::string& out) {
    {
        std::lock_guard hold(lock);
        if (out.empty())
            out.swap(pending);
        else
            out += pending;
        pending.clear();
        posted = false;
    }
    changed.notify_all();
}

bool PortReader::CatchUp(std::chrono::milliseconds limit) {
    // Nothing there and nothing half-read: the state says all there is. The
    // order matters: a byte read before the count was asked left busy set.
    if (link.InputWaiting() == 0 && !busy)
        return true;
    std::unique_lock hold(lock);
    const uint64_t ticket = ++catchUpAsked;
    hold.unlock();
    link.WakeReader(); // a pass that starts after this one was asked for
    hold.lock();
    return changed.wait_for(hold, limit, [&] { return catchUpDone >= ticket || !running; }) &&
           catchUpDone >= ticket;
}
