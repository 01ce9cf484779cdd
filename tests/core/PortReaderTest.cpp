// The reader thread on a real pseudo-terminal: every byte once and in order,
// the controller's hold applied as it is read whatever the host thread does,
// and a clean end when the device vanishes or the reader is stopped.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

#include "PtyPair.h"
#include "serial/CSerialPort.h"
#include "transfer/PortReader.h"
#include "transfer/TransferControl.h"
#include "transfer/TransferHost.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Plays the host thread: when told that bytes wait it takes them, unless it
// is made deaf; it counts how often it was told before it took.
class ReaderHost : public TransferHost {
public:
    explicit ReaderHost(PortReader*& reader) : reader(reader), thread([this] { Run(); }) {}
    ~ReaderHost() override {
        {
            std::lock_guard hold(lock);
            quit = true;
        }
        wake.notify_all();
        thread.join();
    }
    void PostTransferEvent(TransferEvent e) override {
        std::lock_guard hold(lock);
        if (e == TransferEvent::LinkLost)
            ++lost;
        if (e == TransferEvent::PortData) {
            ++told;
            maxUntaken = std::max(maxUntaken, told - taken);
        }
        wake.notify_all();
    }
    void AppendReceivedText(std::string_view) override {}
    void ShowWaitingLine(int) override {}
    void CaretToLine(int) override {}
    MessageSink& Messages() override { return DefaultMessageSink(); }

    std::string Received() {
        std::lock_guard hold(lock);
        return received;
    }
    int Lost() {
        std::lock_guard hold(lock);
        return lost;
    }
    void SetDeaf(bool on) {
        {
            std::lock_guard hold(lock);
            deaf = on;
        }
        wake.notify_all();
    }
    int maxUntaken = 0;

private:
    void Run() {
        std::unique_lock hold(lock);
        for (;;) {
            wake.wait(hold, [this] { return quit || (told > taken && !deaf); });
            if (quit)
                return;
            taken = told;
            hold.unlock();
            std::string got;
            reader->Take(got);
            hold.lock();
            received += got;
        }
    }

    PortReader*& reader;
    std::mutex lock;
    std::condition_variable wake;
    int told = 0, taken = 0, lost = 0;
    bool quit = false;
    bool deaf = false;
    std::string received;
    std::thread thread;
};

class PortReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        port.Configure(PortSettings{3, 115200, 8, 1, 'N'}, pty.SlavePath());
        ASSERT_TRUE(port.Open().Ok());
        readerPointer = &reader;
    }
    template <class Pred> static bool WaitFor(Pred pred, std::chrono::milliseconds limit = 5s) {
        const auto deadline = Clock::now() + limit;
        while (!pred()) {
            if (Clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }

    PtyPair pty;
    CSerialPort port;
    TransferControl control;
    PortReader* readerPointer = nullptr;
    ReaderHost host{readerPointer};
    PortReader reader{port, control, host};
};

TEST_F(PortReaderTest, RandomBurstsArriveCompleteOnceAndInOrder) {
    ASSERT_TRUE(control.BeginReceive());
    ASSERT_TRUE(reader.Start());
    std::mt19937 rng(42);
    std::string sent;
    while (sent.size() < (8u << 20)) {
        size_t chunk = 1 + rng() % 9000;
        for (size_t i = 0; i < chunk; ++i)
            sent += char(rng());
    }
    std::thread writer([&] {
        std::mt19937 pauses(7);
        for (size_t at = 0; at < sent.size();) {
            size_t chunk = std::min(sent.size() - at, size_t(1 + pauses() % 20000));
            pty.WriteMaster(sent.substr(at, chunk));
            at += chunk;
            if (pauses() % 8 == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(pauses() % 3000));
        }
    });
    writer.join();
    EXPECT_TRUE(WaitFor([&] { return host.Received().size() >= sent.size(); }, 60s));
    reader.Stop();
    EXPECT_TRUE(host.Received() == sent)
        << "got " << host.Received().size() << " of " << sent.size() << " bytes";
    EXPECT_EQ(host.maxUntaken, 1) << "told once until it takes";
    EXPECT_EQ(control.State(), Receiving) << "DC3 and DC1 in a punched program hold nothing";
}

// The host thread is deaf (a modal box, a long paint): the DC3 still holds
// the transmission the moment it is read, and a transmit worker can wait
// for that without the host.
TEST_F(PortReaderTest, TheHoldTakesEffectWhileTheHostTakesNothing) {
    host.SetDeaf(true);
    ASSERT_TRUE(control.BeginTransmit());
    ASSERT_TRUE(reader.Start());
    pty.WriteMaster("%\r\n\x13");
    EXPECT_TRUE(reader.CatchUp(2000ms));
    EXPECT_EQ(control.State(), HeldByPeer);
    pty.WriteMaster("\x11");
    EXPECT_TRUE(reader.CatchUp(2000ms));
    EXPECT_EQ(control.State(), Sending);
    EXPECT_TRUE(reader.CatchUp(2000ms)) << "nothing new: at once";
    EXPECT_TRUE(host.Received().empty());
    host.SetDeaf(false);
    pty.WriteMaster("M30");
    EXPECT_TRUE(WaitFor([&] { return host.Received() == "%\r\n\x13\x11M30"; }))
        << "the bytes wait for the host, in order";
}

TEST_F(PortReaderTest, BytesWhileIdleAreReadAndDropped) {
    ASSERT_TRUE(reader.Start());
    pty.WriteMaster("LOST");
    EXPECT_TRUE(WaitFor([&] { return reader.TakeActivity(); }));
    EXPECT_TRUE(reader.CatchUp(2000ms));
    ASSERT_TRUE(control.BeginReceive());
    pty.WriteMaster("KEPT");
    EXPECT_TRUE(WaitFor([&] { return host.Received() == "KEPT"; }));
}

TEST_F(PortReaderTest, StopDoesNotWaitForAHostThatNeverTakes) {
    host.SetDeaf(true);
    ASSERT_TRUE(control.BeginReceive());
    ASSERT_TRUE(reader.Start());
    pty.WriteMaster(std::string(100000, 'N'));
    EXPECT_TRUE(WaitFor([&] { return reader.TakeActivity(); }));
    const auto start = Clock::now();
    reader.Stop();
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_EQ(host.Lost(), 0);
}

TEST_F(PortReaderTest, AVanishedDeviceIsToldOnceAndTheReaderEnds) {
    ASSERT_TRUE(control.BeginReceive());
    ASSERT_TRUE(reader.Start());
    pty.WriteMaster("G0");
    EXPECT_TRUE(WaitFor([&] { return host.Received() == "G0"; }));
    pty.CloseMaster();
    EXPECT_TRUE(WaitFor([&] { return host.Lost() == 1; }));
    reader.Stop();
    EXPECT_EQ(host.Lost(), 1);
}

} // namespace
