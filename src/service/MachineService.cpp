#include "service/MachineService.h"

#include <algorithm>
#include <cstdio>

#include "dnc/RequestProgram.h"
#include "shopnet/ShopTopics.h"
#include "transfer/TransferState.h"

namespace {

using namespace std::chrono_literals;

// How often a line that is down is tried again.
constexpr auto kReopenEvery = 5s;
// A program without end marks is over once the controller has been quiet
// this long, unless its machine names an idle time of its own.
constexpr std::chrono::seconds kDefaultIdle{3};

} // namespace

MachineService::MachineService(const ServedMachine& machine, EventLoop& eventLoop,
                               MachineEvents& machineEvents)
    : config(machine), loop(eventLoop), events(machineEvents), library(machine.library) {
    if (!config.namePattern.empty()) {
        std::string why;
        pattern.Set(config.namePattern, why); // checked with the config
    }
    buffer.CreateEmpty(LINE_END_CRLF);
    connection.SetSleep([](int) {});
    connection.SetWireTaps(&sent, &heard);
    connection.UseMachine(config.profile);
}

MachineService::~MachineService() {
    Close();
}

void MachineService::Close() {
    if (phase == Phase::Sending)
        Say("the service stops: the transmission is stopped");
    if (connection.TransmitActive()) {
        connection.Stop();
        connection.Stop();
        // The cut line ends at once; its end is handled (and logged) here,
        // before the line closes.
        const auto until = Clock::now() + 3s;
        while (connection.TransmitActive() && Clock::now() < until)
            loop.RunFor(std::chrono::milliseconds(10));
    }
    connection.StopReceive();
    connection.Disconnect();
    loop.RunPending();
    phase = Phase::Offline;
}

// --- The connection's side -------------------------------------------------------

void MachineService::PostTransferEvent(TransferEvent event) {
    loop.Post([this, event] { OnEvent(event); });
}

void MachineService::OnEvent(TransferEvent event) {
    connection.HandleEvent(event);
    if (event == TransferEvent::TransmitEnded)
        SendingEnded();
    // A program's end mark is acted on as it comes, not at the next tick: a
    // request's answer waits for nothing but its delay.
    if (phase == Phase::Listening && connection.ProgramsEnded() > programsEnded)
        EndProgram(true);
    if (!connection.IsConnected() && phase != Phase::Offline)
        LineLost();
}

void MachineService::AppendReceivedText(std::string_view text) {
    received.append(text);
}

void MachineService::ShowMessage(const std::string& text, const std::string&) {
    {
        std::lock_guard guard(messageLock);
        lastMessage = text;
    }
    // A message may come from the connection's threads: the loop says it.
    loop.Post([this, text] { Say(text); });
}

// --- The line ------------------------------------------------------------------

bool MachineService::OpenLine() {
    const LinkStatus status = connection.Connect(config.profile.Line(), config.profile.device);
    if (!status.Ok()) {
        nextOpen = Clock::now() + kReopenEvery;
        if (!offlineTold)
            Say("the line does not open: " + status.text + "; tried again every 5 s");
        offlineTold = true;
        Tell(OfflineState());
        return false;
    }
    offlineTold = false;
    Say("line open: " + connection.PortLabel());
    connection.UseMachine(config.profile);
    Listen();
    return true;
}

void MachineService::Listen() {
    received.clear();
    heard.Reset();
    current = NewRecord(TransferDirection::Receive);
    if (!connection.StartReceive()) {
        phase = Phase::Offline;
        nextOpen = Clock::now() + kReopenEvery;
        Tell(FailedState(LastMessage()));
        return;
    }
    programsEnded = connection.ProgramsEnded();
    phase = Phase::Listening;
    Tell(IdleState());
}

void MachineService::LineLost() {
    std::string why = LastMessage();
    if (why.empty())
        why = "the line went away";
    if (phase == Phase::Listening && heard.Count() > 0) {
        TakeHeard(current);
        Finish(current, transfer_result::kCut, why);
    }
    if (phase != Phase::Sending)
        Tell(FailedState(why));
    phase = Phase::Offline;
    connection.Disconnect();
    nextOpen = Clock::now() + kReopenEvery;
    offlineTold = true;
    Tell(OfflineState());
}

// --- Time ------------------------------------------------------------------------

void MachineService::Tick(Clock::time_point now) {
    switch (phase) {
    case Phase::Offline:
        if (now >= nextOpen)
            OpenLine();
        return;
    case Phase::Listening: {
        if (heard.Count() > 0)
            Tell(ReceivingState(), now);
        if (connection.ProgramsEnded() > programsEnded) {
            EndProgram(true);
            return;
        }
        const std::chrono::seconds idle =
            config.profile.receive.idleSeconds > 0
                ? std::chrono::seconds(config.profile.receive.idleSeconds)
                : kDefaultIdle;
        if (heard.Count() > 0 && now - heard.Last() >= idle)
            EndProgram(config.profile.receive.end.empty());
        return;
    }
    case Phase::Waiting:
        if (now >= answerAt)
            Answer(wanted);
        return;
    case Phase::Sending:
        if (connection.State() == HeldByPeer)
            Tell(HeldState());
        else
            Tell(SendingState(uint64_t(connection.SentLines()), uint64_t(connection.TotalLines())),
                 now);
        return;
    }
}

// --- Receiving ------------------------------------------------------------------

void MachineService::EndProgram(bool complete) {
    connection.FlushReceived();
    connection.StopReceive(); // this program's line errors are counted now
    const LineErrors& errors = connection.LastReceiveErrors();
    TransferRecord record = current;
    TakeHeard(record);
    record.lines = uint64_t(std::count(received.begin(), received.end(), '\n'));
    record.errors = uint64_t(errors.badCharacters);
    record.overruns = uint64_t(errors.overruns);
    const std::string text = std::move(received);
    received.clear();
    const auto start = text.find_first_not_of(" \t\r\n%");
    if (start == std::string::npos) {
        Listen(); // leaders and marks only: nothing to keep
        return;
    }
    if (!complete) {
        Finish(record, transfer_result::kCut, "the program's end mark never came");
        Listen();
        return;
    }
    const ProgramRequest request =
        config.requestNumber.empty() ? ProgramRequest{} : ReadRequest(text, config.requestNumber);
    if (request.isRequest) {
        record.program = config.requestNumber;
        Finish(record, transfer_result::kOk,
               request.wanted.empty() ? "a request that names no program"
                                      : "a request for " + request.wanted);
        if (!request.wanted.empty()) {
            wanted = request.wanted;
            answerAt = Clock::now() + std::chrono::seconds(config.requestDelaySeconds);
            phase = Phase::Waiting;
            Tell(AnsweringState(wanted));
            if (config.requestDelaySeconds == 0)
                Answer(wanted);
            return;
        }
        Listen();
        return;
    }
    const std::optional<std::string> found =
        FindProgramName(text, pattern.Empty() ? nullptr : &pattern);
    record.program = found ? *found : FallbackProgramName(std::chrono::system_clock::now());
    const ProgramLibrary::SaveResult saved = library.Save(record.program, text);
    record.path = saved.path;
    switch (saved.outcome) {
    case ProgramLibrary::Outcome::Saved:
        Finish(record, transfer_result::kOk, "saved");
        break;
    case ProgramLibrary::Outcome::Identical:
        Finish(record, transfer_result::kOk, "identical to the stored program: not saved again");
        break;
    case ProgramLibrary::Outcome::Versioned:
        Finish(record, transfer_result::kOk,
               "saved; the previous one kept as " + saved.versionPath);
        break;
    case ProgramLibrary::Outcome::Failed:
        Finish(record, transfer_result::kFailed, "not saved: " + saved.error);
        break;
    }
    Listen();
}

// --- Sending --------------------------------------------------------------------

bool MachineService::Send(const std::string& request, std::string& why) {
    if (phase == Phase::Offline) {
        why = "the machine's line is not open";
        return false;
    }
    if (phase != Phase::Listening || heard.Count() > 0) {
        why =
            phase == Phase::Listening ? "the machine is punching a program" : "the machine is busy";
        return false;
    }
    const std::string path = library.Find(request);
    if (path.empty()) {
        why = request + " is not in the library";
        return false;
    }
    connection.StopReceive();
    if (!StartSending(request, path)) {
        why = "it could not start: " + LastMessage();
        Listen();
        return false;
    }
    return true;
}

bool MachineService::Cancel(std::string& why) {
    if (phase == Phase::Waiting) {
        Say("the answer to the request for " + wanted + " is cancelled");
        Listen();
        return true;
    }
    if (phase != Phase::Sending) {
        why = "nothing is being sent";
        return false;
    }
    connection.Stop();
    return true;
}

void MachineService::Answer(const std::string& request) {
    connection.StopReceive();
    const std::string path = library.Find(request);
    if (!path.empty() && StartSending(request, path))
        return;
    if (path.empty()) {
        // The controller is told in a program of its own, and the log says so.
        Say("request for " + request + ": not in the library; answered so");
        buffer.CreateEmpty(LINE_END_CRLF);
        const std::vector<std::string> lines = NotFoundAnswer(request, config.requestNumber);
        for (size_t i = 0; i < lines.size(); ++i) {
            int el = 0, eb = 0;
            if (i > 0)
                buffer.RawInsert(nullptr, -1, -1, "\r\n", el, eb);
            buffer.RawInsert(nullptr, -1, -1, lines[i], el, eb);
        }
        if (StartSending(config.requestNumber, {}))
            return;
    }
    Listen();
}

bool MachineService::StartSending(const std::string& program, const std::string& path) {
    if (!path.empty()) {
        FileError error;
        if (!buffer.LoadFromDisk(path, LINE_END_DETECT, &error)) {
            Say("cannot read " + path + ": " + error.Describe());
            return false;
        }
    }
    sent.Reset();
    dc3Before = connection.Dc3Count();
    current = NewRecord(TransferDirection::Send);
    current.start = std::chrono::system_clock::now();
    // The stored program's own name, whatever the request called it.
    current.program = path.empty() ? program : ProgramLibrary::NameOf(path);
    current.path = path;
    // The worker's tap reads the phase: it is set before the worker exists.
    const Phase before = phase;
    phase = Phase::Sending;
    if (!connection.StartTransmit()) {
        phase = before;
        return false;
    }
    Tell(SendingState(0, uint64_t(buffer.CountLines())));
    return true;
}

void MachineService::SendingEnded() {
    if (phase != Phase::Sending)
        return;
    const Transmitter::Outcome& o = connection.LastTransmit();
    current.bytes = sent.Count();
    current.sha256 = sent.Hex();
    current.lines = uint64_t(o.sent);
    current.holds = connection.Dc3Count() - dc3Before;
    switch (o.end) {
    case Transmitter::End::Completed:
        Finish(current, transfer_result::kOk, {});
        break;
    case Transmitter::End::Stopped:
    case Transmitter::End::Cut:
        Finish(current, transfer_result::kStopped,
               Format("stopped after %d of %d lines", o.sent, o.planned));
        break;
    default:
        Finish(current, transfer_result::kFailed,
               Format("line %d could not be sent%s", o.linesWhole + 1,
                      o.lost ? ": the line went away" : ""));
        Tell(FailedState(current.reason));
        break;
    }
    phase = Phase::Listening; // until the line is found lost, or listens again
    if (o.lost || !connection.IsConnected())
        return; // OnEvent finds the line lost
    Listen();
}

// --- Records and states ------------------------------------------------------------

std::string MachineService::LastMessage() {
    std::lock_guard guard(messageLock);
    return lastMessage;
}

void MachineService::TakeHeard(TransferRecord& record) const {
    record.start = heard.First();
    record.bytes = heard.Count();
    record.sha256 = heard.Hex();
}

TransferRecord MachineService::NewRecord(TransferDirection direction) const {
    TransferRecord r;
    r.machine = config.name;
    r.direction = direction;
    return r;
}

void MachineService::Finish(TransferRecord& record, const char* result, const std::string& reason) {
    record.end = std::chrono::system_clock::now();
    if (record.start == LogTimePoint{})
        record.start = record.end;
    record.result = result;
    record.reason = reason;
    Say(Format("%s %s %s: %s%s%s", DirectionName(record.direction),
               record.program.empty() ? "(no name)" : record.program.c_str(), record.path.c_str(),
               result, reason.empty() ? "" : ", ", reason.c_str()));
    events.MachineTransfer(record);
}

void MachineService::Tell(const std::string& state, std::optional<Clock::time_point> now) {
    // A count that moves is told once a second; a change of state at once.
    const auto kind = [](const std::string& s) { return s.substr(0, s.find(' ')); };
    if (now ? kind(state) == kind(shownState) && *now - toldAt < 1s : state == shownState)
        return;
    toldAt = now.value_or(Clock::now());
    shownState = state;
    std::string progress;
    if (phase == Phase::Sending)
        progress =
            SendProgress(uint64_t(connection.SentLines()), uint64_t(connection.TotalLines()));
    else if (phase == Phase::Listening)
        progress = ReceiveProgress(heard.Count());
    events.MachineState(config.name, state, progress);
}

void MachineService::Say(const std::string& text) {
    events.MachineSays(config.name, text);
}
