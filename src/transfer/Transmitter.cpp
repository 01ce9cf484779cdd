#include "transfer/Transmitter.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <system_error>

#include "editor/buffer/CTextBuffer.h"
#include "link/Link.h"
#include "transfer/PortReader.h"
#include "transfer/TransferControl.h"
#include "transfer/TransferHost.h"
#include "transfer/WireTap.h"

using Op = TransferMarkQueue::Op;

namespace {
int64_t Now() {
    return int64_t(std::time(nullptr));
}
} // namespace

Transmitter::Transmitter(Link& l, TransferControl& c, PortReader& r, TransferHost& h)
    : link(l), control(c), reader(r), host(h) {}

Transmitter::~Transmitter() {
    if (thread.joinable()) {
        Abort();
        thread.join();
    }
}

bool Transmitter::Start(const CTextBuffer& text, int xoffChunk, const WireRules& wireRules,
                        LineRanges lineRanges) {
    Join();
    rules = wireRules;
    ranges = std::move(lineRanges);
    if (ranges.empty())
        ranges = {{0, text.CountLines()}};
    aborted = false;
    link.CancelWrites(false);
    outcome = {};
    // The stall clock starts now, not when the worker first runs: a watcher
    // looking in between would see the last transmission's time.
    Moved();
    try {
        thread = std::thread(&Transmitter::Run, this, &text, xoffChunk > 0 ? xoffChunk : 0);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void Transmitter::Abort() {
    aborted = true;
    control.Stop();
    link.CancelWrites(true);
}

void Transmitter::Join() {
    if (thread.joinable())
        thread.join();
}

int64_t Transmitter::OperationSeconds() const {
    if (operationRunning)
        return Now() - operationStart;
    return lastOperationTime;
}

void Transmitter::Show(Op op, int line) {
    if (marks.Push(op, line))
        host.PostTransferEvent(TransferEvent::Marks);
}

void Transmitter::Run(const CTextBuffer* text, int chunk) {
    Show(Op::Clear, 0); // the line where the last transmission failed no longer waits
    const int total = text->CountLines();
    int toSend = 0;
    for (auto& [first, last] : ranges) {
        first = std::clamp(first, 0, total);
        last = std::clamp(last, first, total);
        toSend += last - first;
    }
    totalLines = toSend;
    sentLines = 0;
    programLine = 0;
    partial = toSend < total;
    operationStart = Now();
    Moved();
    operationRunning = true;
    outcome.total = total;
    outcome.planned = toSend;

    End end = End::Completed;
    if (!Delay(rules.delayBeforeStartMs))
        end = End::Stopped;
    if (end == End::Completed && rules.waitForDc1)
        end = AwaitStart();
    if (end == End::Completed && !rules.leader.empty()) {
        bool marked = false;
        end = SendLine(0, rules.leader, chunk, marked);
    }
    for (const auto& [first, last] : ranges)
        if (end == End::Completed)
            end = SendLines(*text, first, last, chunk);
    if (end == End::Completed && !rules.trailer.empty()) {
        bool marked = false;
        end = SendLine(std::max(0, total - 1), rules.trailer, chunk, marked);
    }
    outcome.end = end;
    outcome.sent = sentLines;
    outcome.lost = link.IsLost();
    if (end == End::Completed || end == End::Stopped || end == End::NoStart)
        Show(Op::Clear, 0); // nothing waits any more
    else
        Show(Op::Mark, outcome.linesWhole + 1); // the first line that did not go out whole
    control.Stop();
    sentLines = 0;
    lastOperationTime = Now() - operationStart;
    operationRunning = false;
    host.PostTransferEvent(TransferEvent::TransmitEnded);
}

// Lines first to end of the document, each shaped by the rules. Lines
// 1..outcome.linesWhole (of the document) went out whole, up to the last one
// sent; sentLines counts the lines of this transmission.
Transmitter::End Transmitter::SendLines(const CTextBuffer& text, int first, int end, int chunk) {
    std::string line;
    // What comes before a restart's lines was done before.
    outcome.linesWhole = first;
    for (int i = first; i < end; ++i) {
        bool marked = false;
        // A line the rules leave out (blank once stripped) counts as sent.
        if (rules.Shape(text.LineView(i), line)) {
            const End sent = SendLine(i, line, chunk, marked);
            if (sent != End::Completed)
                return sent;
        }
        outcome.linesWhole = i + 1;
        sentLines = sentLines + 1;
        programLine = i + 1;
        const Step step = Delay(rules.delayAfterLineMs) ? WaitTurn(i, marked, false) : Step::Stop;
        if (step != Step::Go)
            return step == Step::Lost ? End::Failed : End::Stopped;
        if (marked)
            Show(Op::Unmark, i + 1);
        Show(Op::CursorTo, i + 1);
    }
    return End::Completed;
}

Transmitter::End Transmitter::SendLine(int index, const std::string& bytes, int chunk,
                                       bool& marked) {
    // A controller that needs a pause after each character gets one at a time.
    if (rules.delayPerCharacterMs > 0)
        chunk = 1;
    const size_t piece = chunk > 0 ? size_t(chunk) : bytes.size();
    for (size_t at = 0; at < bytes.size(); at += piece) {
        const size_t n = std::min(piece, bytes.size() - at);
        uint32_t written = 0;
        const bool whole = link.Write(bytes.data() + at, uint32_t(n), written) && written == n;
        if (tap && written > 0)
            tap->Bytes(std::string_view(bytes).substr(at, std::min<size_t>(written, n)));
        if (!whole) {
            if (aborted)
                return at + written > 0 ? End::Cut : End::Stopped;
            return End::Failed;
        }
        Moved();
        if (aborted) // the cut came as the last byte left: the line is whole
            return at + n < bytes.size() ? End::Cut : End::Completed;
        // A piece leaves the line before the state is looked at: a controller
        // may take only a few characters after its DC3.
        if (chunk > 0 && !link.WaitUntilSent() && aborted)
            return at + n < bytes.size() ? End::Cut : End::Completed;
        // Whatever the controller said while the bytes went out is read before
        // the state is trusted, however late the host thread would get to it.
        if (link.TakesLineTime())
            reader.CatchUp(std::chrono::milliseconds(kCatchUpMs));
        if (at + n < bytes.size()) {
            // Only a cut ends the line here: a first Stop lets it finish.
            const Step step = Delay(rules.delayPerCharacterMs, false)
                                  ? WaitTurn(index, marked, true)
                                  : Step::Stop;
            if (step == Step::Lost)
                return End::Failed;
            if (step == Step::Stop)
                return End::Cut;
        }
    }
    return End::Completed;
}

Transmitter::Step Transmitter::WaitTurn(int index, bool& marked, bool midLine) {
    bool waited = false;
    for (;;) {
        const int s = control.State();
        if (s == Sending) {
            if (waited)
                Moved();
            // A hold has just ended: some controllers want a moment first.
            if (waited && !Delay(rules.delayAfterDc1Ms))
                return Step::Stop;
            return Step::Go;
        }
        if (s == Idle || aborted)
            return midLine && !waited && !aborted ? Step::Go : Step::Stop;
        // A controller that held the line and then went away never releases it.
        if (link.IsLost())
            return Step::Lost;
        if (s == Paused)
            Moved(); // the operator's pause is no stall
        if (!marked) {
            Show(Op::Mark, index + 1);
            marked = true;
        }
        waited = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

Transmitter::End Transmitter::AwaitStart() {
    using Clock = std::chrono::steady_clock;
    const bool limited = rules.dc1TimeoutSeconds > 0;
    const auto until = Clock::now() + std::chrono::seconds(rules.dc1TimeoutSeconds);
    for (;;) {
        const int s = control.State();
        if (s == Paused)
            Moved(); // the operator's pause is no stall
        if (s == Sending)
            return Delay(rules.delayAfterDc1Ms) ? End::Completed : End::Stopped;
        if (s == Idle || aborted)
            return End::Stopped;
        if (link.IsLost())
            return End::Failed;
        // The operator's pause does not count against the controller.
        if (limited && s != Paused && Clock::now() >= until)
            return End::NoStart;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool Transmitter::Delay(int ms, bool stopEndsIt) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (aborted || (stopEndsIt && control.State() == Idle))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
