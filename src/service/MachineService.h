#pragma once
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "common/EventLoop.h"
#include "common/MessageSink.h"
#include "dnc/ProgramLibrary.h"
#include "dnc/ProgramName.h"
#include "dnc/TransferRecord.h"
#include "editor/buffer/CTextBuffer.h"
#include "service/ServiceConfig.h"
#include "service/WireCount.h"
#include "transfer/Connection.h"
#include "transfer/TransmitLock.h"

// What a machine tells the service: its state for the shop, and each
// transfer for the log.
class MachineEvents {
public:
    virtual ~MachineEvents() = default;
    virtual void MachineState(const std::string& machine, const std::string& state,
                              const std::string& progressJson) = 0;
    virtual void MachineTransfer(const TransferRecord& record) = 0;
    // A line for the service's log stream.
    virtual void MachineSays(const std::string& machine, const std::string& text) = 0;
};

// One machine of the DNC service: its line is always open and listening. A
// program the controller punches is saved in the machine's library under its
// own name (an identical one is not saved twice, a changed one keeps the old
// as a version); a request program is answered, after the machine's delay,
// with the program it names or a short program saying it is missing. The
// service's commands send a library program or cancel. A line that goes away
// is tried again every few seconds.
//
// Threads: the service's loop thread; the connection's own threads reach it
// only through the loop.
class MachineService final : public TransferHost, private MessageSink {
public:
    enum class Phase { Offline, Listening, Waiting, Sending };

    MachineService(const ServedMachine& config, EventLoop& loop, MachineEvents& events);
    ~MachineService() override;
    MachineService(const MachineService&) = delete;
    MachineService& operator=(const MachineService&) = delete;

    // Looks at the time: opens a line that is down, ends a punched program
    // that is over, starts an answer whose delay is over, tells the state.
    void Tick(std::chrono::steady_clock::time_point now);
    // The service's commands; false with the reason when the machine is busy
    // or the program is not in the library.
    bool Send(const std::string& request, std::string& why);
    bool Cancel(std::string& why);
    // Ends what runs and closes the line (the service stops).
    void Close();

    const std::string& Name() const { return config.name; }
    Phase CurrentPhase() const { return phase; }
    const ProgramLibrary& Library() const { return library; }

    // TransferHost
    void PostTransferEvent(TransferEvent event) override;
    void AppendReceivedText(std::string_view text) override;
    void ShowWaitingLine(int) override {}
    void CaretToLine(int) override {}
    MessageSink& Messages() override { return *this; }

private:
    using Clock = std::chrono::steady_clock;

    void ShowMessage(const std::string& text, const std::string& caption) override;
    void OnEvent(TransferEvent event);
    bool OpenLine();
    void Listen();
    // The punched program is over (end mark or idle); complete: whether its end came.
    void EndProgram(bool complete);
    void Answer(const std::string& wanted);
    bool StartSending(const std::string& program, const std::string& path);
    void SendingEnded();
    void LineLost();
    TransferRecord NewRecord(TransferDirection direction) const;
    // A reception's start, size and checksum: what the line brought.
    void TakeHeard(TransferRecord& record) const;
    // The connection's last word (it may speak from its threads).
    std::string LastMessage();
    void Finish(TransferRecord& record, const char* result, const std::string& reason);
    // The state for the shop; now given: a count that moves, told at most
    // once a second.
    void Tell(const std::string& state, std::optional<Clock::time_point> now = std::nullopt);
    void Say(const std::string& text);

    ServedMachine config;
    EventLoop& loop;
    MachineEvents& events;
    ProgramLibrary library;
    NamePattern pattern;
    CTextBuffer buffer;
    TransmitLock lock{buffer};
    Connection connection{*this, lock};

    Phase phase = Phase::Offline;
    Clock::time_point nextOpen{};
    bool offlineTold = false;
    std::string lastMessage; // the connection's last word, for a failure's reason
    std::mutex messageLock;  // the connection may speak from its threads

    // The transfer under way: its bytes on the wire and their count.
    WireCount sent, heard;
    uint64_t dc3Before = 0;
    TransferRecord current;
    std::string received; // the program punched so far, as text
    int programsEnded = 0;
    // A request being answered: what, and from when.
    std::string wanted;
    Clock::time_point answerAt{};
    std::string sendingPath, sendingName;
    std::string shownState;
    Clock::time_point toldAt{};
};
