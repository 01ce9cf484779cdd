// The transfer state and the controller's hold: the rules of every command
// and flow-control character, and that two threads never undo each other.
#include <gtest/gtest.h>

#include <thread>

#include "transfer/TransferControl.h"

namespace {

void Peer(TransferControl& c, unsigned char b) {
    c.PeerBytes(&b, 1);
}

TEST(TransferControlTest, ContinueReturnsToTheHoldThePeerAskedFor) {
    TransferControl c;
    ASSERT_TRUE(c.BeginTransmit());
    Peer(c, DC3);
    EXPECT_EQ(c.State(), HeldByPeer);
    EXPECT_TRUE(c.PeerHold());
    c.Pause();
    EXPECT_EQ(c.State(), Paused);
    EXPECT_TRUE(c.PeerHold()) << "pausing keeps the hold";
    c.Continue();
    EXPECT_EQ(c.State(), HeldByPeer);
    c.Pause();
    Peer(c, DC1); // clears the hold only
    EXPECT_EQ(c.State(), Paused);
    c.Continue();
    EXPECT_EQ(c.State(), Sending);
    Peer(c, DC1);
    EXPECT_EQ(c.State(), Sending);
}

// A controller that fills up while the operator has paused says DC3 then,
// and only then: forgetting it would send to a controller that never said DC1.
TEST(TransferControlTest, AHoldThatCameWhilePausedIsKeptForContinue) {
    TransferControl c;
    ASSERT_TRUE(c.BeginTransmit());
    c.Pause();
    Peer(c, DC3);
    EXPECT_EQ(c.State(), Paused);
    EXPECT_TRUE(c.PeerHold());
    c.Continue();
    EXPECT_EQ(c.State(), HeldByPeer);
    Peer(c, DC1);
    EXPECT_EQ(c.State(), Sending);
    EXPECT_FALSE(c.PeerHold());
}

TEST(TransferControlTest, CommandsActOnlyWhereTheyMeanSomething) {
    TransferControl c;
    c.Pause();
    c.Continue();
    Peer(c, DC3);
    c.Stop();
    EXPECT_EQ(c.State(), Idle) << "nothing to pause, continue, hold or stop";
    EXPECT_FALSE(c.PeerHold());

    ASSERT_TRUE(c.BeginReceive());
    EXPECT_FALSE(c.BeginTransmit());
    EXPECT_FALSE(c.BeginReceive());
    Peer(c, DC3);
    c.Pause();
    c.Stop();
    EXPECT_EQ(c.State(), Receiving) << "a reception is ended only by ToIdle";
    c.ToIdle();
    EXPECT_EQ(c.State(), Idle);

    ASSERT_TRUE(c.BeginTransmit());
    Peer(c, DC3);
    c.Stop();
    EXPECT_EQ(c.State(), Idle);
    EXPECT_FALSE(c.PeerHold()) << "a stopped transmission holds nothing";
    ASSERT_TRUE(c.BeginTransmit());
    EXPECT_EQ(c.State(), Sending) << "the next one starts clear";
}

TEST(TransferControlTest, OnlyFlowControlBytesCount) {
    TransferControl c;
    ASSERT_TRUE(c.BeginTransmit());
    const unsigned char text[] = {'G', '0', 0x12, 0x14, 0x93, 0x91, 0x13, 'X', 0x11, 0x13};
    c.PeerBytes(text, sizeof text);
    EXPECT_EQ(c.State(), HeldByPeer) << "the last of DC3, DC1, DC3 wins; 0x93 is no DC3";
}

// The end of a transmission racing the operator's Pause must not leave a
// paused state behind that nothing will ever end.
TEST(TransferControlTest, RacingThreadsNeverLeaveAnImpossibleState) {
    for (int round = 0; round < 200; ++round) {
        TransferControl c;
        ASSERT_TRUE(c.BeginTransmit());
        std::thread operatorThread([&] {
            for (int i = 0; i < 50; ++i) {
                c.Pause();
                c.Continue();
            }
        });
        std::thread readerThread([&] {
            for (int i = 0; i < 50; ++i)
                Peer(c, i % 2 ? DC1 : DC3);
        });
        c.Stop(); // the worker's end
        operatorThread.join();
        readerThread.join();
        EXPECT_EQ(c.State(), Idle);
        EXPECT_FALSE(c.PeerHold());
    }
}

} // namespace
