#include "settings/DialModem.h"

#include "common/MessageSink.h"
#include "link/Link.h"

namespace {

constexpr DialModem::Millis kResetWait{2000};
constexpr DialModem::Millis kEchoWait{1500};
constexpr DialModem::Millis kConnectWait{2000};
constexpr DialModem::Millis kTick{1000};

constexpr uint32_t kResetReadMax = 100;
// The echo of the longest accepted number ("attd" + 121 bytes) must fit.
constexpr uint32_t kEchoReadMax = DialModem::kBufferSize - 1;
// One poll takes everything queued. The tty line discipline never reports more
// than its 4096-byte read buffer as waiting, so this cannot be exceeded.
constexpr size_t kChunkSize = 65536;

constexpr const char* kCaptionError = "错误";

} // namespace

DialModem::DialModem(Link& p, DialHost& h, MessageSink& m)
    : port(p), host(h), messages(m), chunk(kChunkSize) {}

DialModem::Result DialModem::Fail(const char* text, const char* caption) {
    messages.ShowMessage(text, caption);
    phase = Phase::Done;
    return result = Result::Failed;
}

bool DialModem::Send(const std::string& command) {
    uint32_t written = 0;
    return port.Write(command.data(), uint32_t(command.size()), written);
}

std::string DialModem::ReadAtMost(uint32_t maximum) {
    char buf[kBufferSize];
    uint32_t n = port.Read(buf, maximum);
    return std::string(buf, n);
}

void DialModem::Purge() {
    port.Purge();
}

void DialModem::ShowCount(const char* suffix) {
    host.ShowStatus(Format("正在连接...%d/120 秒. %s", seconds, suffix));
}

DialModem::Result DialModem::Start(const std::string& phoneNumber, Millis now) {
    result = Result::Running;
    phase = Phase::Idle;
    answer.clear();
    seconds = 0;
    phone = phoneNumber;

    const auto& line = port.Settings();
    if (line.dataBits != 8 || line.stopBits != 1 || line.parity != 'N')
        return Fail("请确认com端口的工作方式为:810", "设置错误");
    // Refused before anything reaches the modem: the command would not fit.
    if (phone.size() > kMaxPhoneNumber)
        return Fail(Format("电话号码太长,最多%zu个字符.", kMaxPhoneNumber).c_str(), kCaptionError);
    if (!Send("atz\r\n"))
        return Fail("复位moderm时发送复位命令失败.", kCaptionError);
    phase = Phase::ResetWait;
    deadline = now + kResetWait;
    return result;
}

DialModem::Result DialModem::Poll(Millis now) {
    switch (phase) {
    case Phase::Idle:
    case Phase::Done:
        return result;

    case Phase::ResetWait: {
        if (now < deadline)
            return result;
        const std::string reply = ReadAtMost(kResetReadMax);
        if (reply.empty() || reply.find("OK") == std::string::npos)
            return Fail("复位moderm时失败,请确认线路是否正确连接.", kCaptionError);
        if (phone.empty())
            return Fail("电话号码不合法.", kCaptionError);
        dialCommand = "attd" + phone;
        if (!Send(dialCommand + "\r\n"))
            return Fail("发送拨号命令失败.", kCaptionError);
        phase = Phase::EchoWait;
        deadline = now + kEchoWait;
        return result;
    }

    case Phase::EchoWait: {
        if (now < deadline)
            return result;
        const std::string reply = ReadAtMost(kEchoReadMax);
        const size_t echo = reply.find(dialCommand);
        if (reply.empty() || echo == std::string::npos)
            return Fail("发送拨号命令后Moderm没有返回或返回错误数据.请确认链路并复位Moderm",
                        kCaptionError);
        // A quick modem may already have answered after its echo; that answer
        // counts rather than being thrown away with the echo.
        answer = reply.substr(echo + dialCommand.size());
        host.EnableOkCancel(false);
        seconds = 0;
        nextTick = now + kTick;
        host.ShowStatus("正在连接...0/120 秒. (ESC停止连接)");
        phase = Phase::Answer;
        return CheckAnswer(now);
    }

    case Phase::Answer:
        while (now >= nextTick) {
            nextTick += kTick;
            ++seconds;
            ShowCount("[ESC停止连接]");
            if (seconds >= kAnswerSeconds)
                return EndWait("[连接超时]");
        }
        if (uint32_t n = port.Read(chunk.data(), Link::kReadAll))
            answer.append(chunk.data(), n);
        return CheckAnswer(now);

    case Phase::Settling:
        if (now < deadline)
            return result;
        Purge();
        phase = Phase::Done;
        return result = Result::Connected;
    }
    return result;
}

DialModem::Result DialModem::CheckAnswer(Millis now) {
    if (answer.find("CONNECT") != std::string::npos) {
        ShowCount("[连接成功]");
        phase = Phase::Settling; // the buttons stay disabled: the dialog closes next
        deadline = now + kConnectWait;
        return result;
    }
    if (answer.find("BUSY") != std::string::npos)
        return EndWait("[连接失败:对方忙.]");
    if (answer.find("NO CARRIER") != std::string::npos)
        return EndWait("[连接失败:没有载波]");
    // Only the tail can still complete a word split between two reads.
    if (answer.size() > kBufferSize - 1)
        answer.erase(0, answer.size() - (kBufferSize - 1));
    return result;
}

DialModem::Result DialModem::EndWait(const char* suffix) {
    host.EnableOkCancel(true);
    ShowCount(suffix);
    phase = Phase::Done;
    return result = Result::Failed;
}

DialModem::Result DialModem::Cancel() {
    switch (phase) {
    case Phase::Answer:
        return EndWait("[取消连接]");
    case Phase::ResetWait:
    case Phase::EchoWait:
        phase = Phase::Done;
        return result = Result::Failed;
    default:
        return result;
    }
}
