#include <gtest/gtest.h>

#include <thread>

#include "transfer/TransferMarks.h"

namespace {

using Op = TransferMarkQueue::Op;
using R = TransferMarkQueue::Request;

TEST(TransferMarkQueue, KeepsOrderAndWakesOncePerBatch) {
    TransferMarkQueue q;
    EXPECT_TRUE(q.Push(Op::CursorTo, 1));
    EXPECT_FALSE(q.Push(Op::Mark, 2));
    EXPECT_FALSE(q.Push(Op::Unmark, 2));
    EXPECT_EQ(q.Take(), (std::vector<R>{{Op::CursorTo, 1}, {Op::Mark, 2}, {Op::Unmark, 2}}));
    EXPECT_TRUE(q.Take().empty());
    EXPECT_TRUE(q.Push(Op::Mark, 3));
}

// A fast transmission moves the caret for every line; the host hears of it
// no more often than the interval, but of every mark at once.
TEST(TransferMarkQueue, CaretMovesTellTheHostOncePerIntervalMarksAtOnce) {
    TransferMarkQueue q;
    EXPECT_TRUE(q.Push(Op::CursorTo, 1));
    q.Take();
    EXPECT_FALSE(q.Push(Op::CursorTo, 2)) << "too soon";
    EXPECT_FALSE(q.Push(Op::CursorTo, 3));
    EXPECT_TRUE(q.Push(Op::Mark, 3)) << "a mark is told at once, the caret with it";
    EXPECT_EQ(q.Take(), (std::vector<R>{{Op::CursorTo, 3}, {Op::Mark, 3}}));
    std::this_thread::sleep_for(TransferMarkQueue::kCaretInterval);
    EXPECT_TRUE(q.Push(Op::CursorTo, 4)) << "the interval has passed";
}

TEST(TransferMarkQueue, CursorMovesCollapseButMarksStay) {
    TransferMarkQueue q;
    for (int n = 1; n <= 1000; ++n)
        q.Push(Op::CursorTo, n);
    q.Push(Op::Mark, 1000);
    q.Push(Op::Unmark, 1000);
    for (int n = 1001; n <= 2000; ++n)
        q.Push(Op::CursorTo, n);
    EXPECT_EQ(
        q.Take(),
        (std::vector<R>{
            {Op::CursorTo, 1000}, {Op::Mark, 1000}, {Op::Unmark, 1000}, {Op::CursorTo, 2000}}));
}

TEST(TransferMarkQueue, AMillionLinesFromAWorkerMakeFewWakeUps) {
    TransferMarkQueue q;
    std::atomic<int> wakes{0};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int n = 1; n <= 1000000; ++n) {
            if (q.Push(Op::CursorTo, n))
                ++wakes;
            if (n % 250000 == 0) {
                q.Push(Op::Mark, n);
                q.Push(Op::Unmark, n);
            }
        }
        done = true;
    });
    std::vector<R> seen;
    int takes = 0;
    for (bool finished = false; !finished;) {
        finished = done; // read before taking: nothing can follow the last take
        auto batch = q.Take();
        ++takes;
        seen.insert(seen.end(), batch.begin(), batch.end());
        std::this_thread::yield();
    }
    worker.join();
    // Every mark and unmark arrives, in order, with cursor moves between.
    std::vector<int> marked, unmarked;
    int lastCursor = 0;
    for (const R& r : seen) {
        if (r.op == Op::Mark)
            marked.push_back(r.line);
        else if (r.op == Op::Unmark)
            unmarked.push_back(r.line);
        else {
            EXPECT_GT(r.line, lastCursor);
            lastCursor = r.line;
        }
    }
    EXPECT_EQ(marked, (std::vector<int>{250000, 500000, 750000, 1000000}));
    EXPECT_EQ(unmarked, marked);
    EXPECT_EQ(lastCursor, 1000000);
    EXPECT_LE(wakes.load(), takes + 1);
}

} // namespace
