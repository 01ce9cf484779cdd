#pragma once
#include <chrono>
#include <string>
#include <vector>

class Link;
class MessageSink;

// What the dial shows in the settings dialog besides message boxes.
class DialHost {
public:
    virtual ~DialHost() = default;
    // The status line of the "Moderm连接状态" group.
    virtual void ShowStatus(const std::string& text) = 0;
    // OK and Cancel together: disabled while waiting for the answer.
    virtual void EnableOkCancel(bool enabled) = 0;
};

// Resets and dials a Hayes modem on an open port, then waits up to 120 s for
// the answer. It never blocks: the caller feeds it the time (Poll), and an Esc
// (Cancel); the port is read on each Poll. The GUI polls from a short timer;
// tests use a made-up clock, so the waits cost no real time.
//
// The fixed waits are 2000 ms after "atz", 1500 ms after the dial command and
// 2000 ms after CONNECT; the answer counter goes up by one per elapsed second.
// Message boxes go to the sink with their captions; the port reports its own
// read error ("读取串口数据错误！") through its own sink.
//
// On failure the port stays open; on success its input has been purged.
class DialModem {
public:
    using Millis = std::chrono::milliseconds; // from any fixed origin
    enum class Result { Running, Connected, Failed };

    // The command and answer buffer of the dialogue: the dial command with its
    // CR LF must fit in 127 bytes.
    static constexpr size_t kBufferSize = 128;
    static constexpr size_t kMaxPhoneNumber = kBufferSize - 1 - 6; // "attd" + CR LF
    static constexpr int kAnswerSeconds = 120;

    DialModem(Link& port, DialHost& host, MessageSink& messages);

    // phoneNumber: the bytes of the phone-number edit, sent as typed.
    Result Start(const std::string& phoneNumber, Millis now);
    Result Poll(Millis now);
    // Esc: ends the wait for the answer with the cancel text; before that wait
    // it ends the dial quietly; after CONNECT it is too late and is ignored.
    Result Cancel();

    Result State() const { return result; }
    int Seconds() const { return seconds; }

private:
    enum class Phase { Idle, ResetWait, EchoWait, Answer, Settling, Done };

    Result Fail(const char* text, const char* caption);
    // Ends the wait for the answer with failure and OK, Cancel enabled again.
    Result EndWait(const char* suffix);
    Result CheckAnswer(Millis now);
    void ShowCount(const char* suffix);
    bool Send(const std::string& command);
    std::string ReadAtMost(uint32_t maximum);
    void Purge();

    Link& port;
    DialHost& host;
    MessageSink& messages;

    Phase phase = Phase::Idle;
    Result result = Result::Failed;
    std::string phone;
    std::string dialCommand; // "attd" + number, without CR LF
    std::string answer;      // what came since the wait began; the last 127 bytes
    std::vector<char> chunk;
    Millis deadline{0};
    Millis nextTick{0};
    int seconds = 0;
};
