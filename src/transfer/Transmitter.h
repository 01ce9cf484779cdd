#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "editor/buffer/LineRanges.h"
#include "machine/WireRules.h"
#include "transfer/TransferMarks.h"

class CTextBuffer;
class Link;
class PortReader;
class TransferControl;
class TransferHost;
class WireTap;

// The transmit worker: sends a document's lines shaped by the wire rules
// (classic: each cut at its first ';' and ended by CR LF), between the rules'
// leader and trailer, one write per line (or per piece of at most xoffChunk
// bytes). After each line (or piece), once the bytes have left and the reader
// has seen whatever came back meanwhile, it looks at the state: a hold or a
// pause waits there with the line marked, Stop ends at that line boundary,
// Abort (Stop again) cuts the line in flight at once.
//
// Threads: Start, Abort and Join on the host thread; the figures anywhere.
class Transmitter {
public:
    // NoStart: the controller never said it was ready (no DC1 in time);
    // nothing was sent.
    enum class End { None, Completed, Stopped, Cut, Failed, NoStart };
    struct Outcome {
        End end = End::None;
        int total = 0;
        // Lines 1..linesWhole went out whole; line linesWhole + 1 did not
        // (cut, failed or not sent), unless the transmission completed.
        int linesWhole = 0;
        bool lost = false; // it ended because the link had gone
        // The lines this transmission was to send, and sent whole (a
        // restart sends part of the document).
        int planned = 0;
        int sent = 0;
    };

    Transmitter(Link& link, TransferControl& control, PortReader& reader, TransferHost& host);
    ~Transmitter();
    Transmitter(const Transmitter&) = delete;
    Transmitter& operator=(const Transmitter&) = delete;

    // The state is Sending already and the document locked against edits; the
    // worker reads text's lines until it posts TransmitEnded. xoffChunk 0:
    // whole lines.
    // ranges: the document lines to send, [first, end) in order; empty: all.
    bool Start(const CTextBuffer& text, int xoffChunk, const WireRules& rules,
               LineRanges ranges = {});
    void Abort();
    // Waits for the worker to end (it ends by itself).
    void Join();
    // The last transmission's end; read after Join.
    const Outcome& LastOutcome() const { return outcome; }
    TransferMarkQueue& Marks() { return marks; }
    // Sees every byte that goes out; set only between transmissions.
    void SetWireTap(WireTap* t) { tap = t; }

    int TotalLines() const { return totalLines; }
    // Lines that went out whole so far; 0 once the transmission has ended.
    int SentLines() const { return sentLines; }
    // The document line (counted from 1) that last went out whole: where the
    // controller is reading a restarted program; 0 before the first.
    int ProgramLine() const { return programLine; }
    // The running (or last) transmission sends part of the document only.
    bool Partial() const { return partial; }
    // Seconds of the running transmission, or of the last one.
    int64_t OperationSeconds() const;
    bool OperationRunning() const { return operationRunning; }
    // When bytes last went out, or a wait for the controller or the operator
    // last ended: what a stall is counted from.
    std::chrono::steady_clock::time_point LastMoved() const {
        return std::chrono::steady_clock::time_point(
            std::chrono::steady_clock::duration(lastMoved.load()));
    }

    // How long the worker waits for the reader to catch up after a line.
    static constexpr int kCatchUpMs = 2000;

private:
    enum class Step { Go, Stop, Lost };

    void Run(const CTextBuffer* text, int chunk);
    End SendLines(const CTextBuffer& text, int first, int end, int chunk);
    End SendLine(int index, const std::string& bytes, int chunk, bool& marked);
    // The wait after a line (midLine false) or a piece. Mid-line, a Stop that
    // came while nothing waited lets the line finish first.
    Step WaitTurn(int index, bool& marked, bool midLine);
    // With the rules' wait for DC1: until the controller releases the line.
    End AwaitStart();
    // Waits ms; false, at once, when the transmission is cut meanwhile, or
    // (stopEndsIt) stopped.
    bool Delay(int ms, bool stopEndsIt = true);
    void Show(TransferMarkQueue::Op op, int line);
    void Moved() { lastMoved = std::chrono::steady_clock::now().time_since_epoch().count(); }

    Link& link;
    TransferControl& control;
    PortReader& reader;
    TransferHost& host;
    TransferMarkQueue marks;
    WireTap* tap = nullptr;
    std::thread thread;
    std::atomic<bool> aborted{false};
    Outcome outcome; // the worker's until it ends
    // Set by Start, the worker's until it ends.
    WireRules rules;
    LineRanges ranges;

    std::atomic<int> totalLines{100};
    std::atomic<int> sentLines{0};
    std::atomic<int> programLine{0};
    std::atomic<bool> partial{false};
    std::atomic<int64_t> operationStart{0};
    std::atomic<int64_t> lastMoved{0};
    std::atomic<bool> operationRunning{false};
    std::atomic<int64_t> lastOperationTime{0};
};
