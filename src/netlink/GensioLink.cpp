#include "netlink/GensioLink.h"

#include <cstdlib>
#include <cstring>

#include <gensio/gensio.h>
#include <gensio/sergensio.h>

#include "common/MessageSink.h"
#include "netlink/SocketTuning.h"

namespace {

using Clock = LinePacer::Clock;

// What came but was not read yet, beyond which the network is not read.
constexpr size_t kInboxLimit = size_t(1) << 20;

std::string LineText(int baud, int data, char parity, int stop) {
    return Format("%d %d%c%d", baud, data, parity, stop);
}

unsigned int ParityCode(char parity) {
    return parity == 'O'   ? SERGENSIO_PARITY_ODD
           : parity == 'E' ? SERGENSIO_PARITY_EVEN
                           : SERGENSIO_PARITY_NONE;
}

char ParityOfCode(unsigned int code) {
    return code == SERGENSIO_PARITY_ODD    ? 'O'
           : code == SERGENSIO_PARITY_EVEN ? 'E'
           : code == SERGENSIO_PARITY_NONE ? 'N'
                                           : '?';
}

} // namespace

GensioLink::GensioLink() = default;

GensioLink::~GensioLink() {
    Close();
}

void GensioLink::Configure(const PortSettings& s, const std::string& a) {
    settings = s;
    address = a;
}

LinkStatus GensioLink::Refuse(const std::string& text) {
    Show(text);
    return {LinkStatus::Result::NotOpened, 0, text};
}

bool GensioLink::WaitFor(std::unique_lock<std::mutex>& hold, std::chrono::milliseconds limit,
                         const std::function<bool()>& done) {
    return changed.wait_for(hold, limit, done);
}

LinkStatus GensioLink::Open() {
    Close();
    lost = false;
    writesCancelled = false;
    std::string why;
    if (!ParseNetAddress(address, net, why))
        return Refuse(Format("串口服务器地址%s有误：%s。", address.c_str(), why.c_str()));
    if (!loop.Start(why))
        return Refuse(Format("无法连接串口服务器%s：%s。", address.c_str(), why.c_str()));
    {
        std::lock_guard<std::mutex> hold(lock);
        phase = Phase::Connecting;
        failure.clear();
        reported = {};
        inbox.clear();
        inboxStart = 0;
        outbox.clear();
        woken = false;
        errors = {};
    }
    loop.Post([this] { Connect(); });

    std::unique_lock<std::mutex> hold(lock);
    const bool connected = WaitFor(hold, std::chrono::milliseconds(kConnectTimeoutMs),
                                   [this] { return phase != Phase::Connecting; });
    const bool settled = connected && WaitFor(hold, std::chrono::milliseconds(kSettingTimeoutMs),
                                              [this] { return phase != Phase::Setting; });
    const Phase reached = phase;
    const std::string failed = failure;
    const Reported server = reported;
    hold.unlock();
    if (reached != Phase::Opened) {
        Close();
        if (!connected)
            return Refuse(Format("串口服务器%s在%d秒内没有接受连接。", address.c_str(),
                                 kConnectTimeoutMs / 1000));
        if (!settled)
            return Refuse(Format("串口服务器%s没有回应线路设置（RFC 2217），请检查它是否支持 "
                                 "RFC 2217，或改用 tcp:// 地址。",
                                 address.c_str()));
        return Refuse(Format("无法连接串口服务器%s：%s。", address.c_str(), failed.c_str()));
    }
    pacer.Start(settings);
    open = true;
    if (net.kind == NetAddress::Kind::Rfc2217) {
        const PortSettings& s = settings;
        if (server.baud != s.baudRate || server.dataBits != s.dataBits ||
            server.parity != s.parity || server.stopBits != s.stopBits ||
            server.rtsCts != s.rtsCts) {
            const std::string text = Format(
                "串口服务器%s把线路设为 %s%s，不是所要的 %s%s。", address.c_str(),
                LineText(server.baud, server.dataBits, server.parity, server.stopBits).c_str(),
                server.rtsCts ? " RTS/CTS" : "",
                LineText(s.baudRate, s.dataBits, s.parity, s.stopBits).c_str(),
                s.rtsCts ? " RTS/CTS" : "");
            Show(text);
            return {LinkStatus::Result::NotConfigured, 0, text};
        }
    }
    return {};
}

bool GensioLink::Close() {
    open = false;
    {
        std::lock_guard<std::mutex> hold(lock);
        phase = Phase::Closed;
    }
    changed.notify_all();
    if (!loop.Running())
        return true;
    loop.Post([this] { CloseOnLoop(); });
    loop.Stop([this] { return io == nullptr; });
    return true;
}

// --- On the loop's thread ----------------------------------------------------------

void GensioLink::Connect() {
    int err = str_to_gensio(net.GensioText().c_str(), loop.Os(), &GensioLink::OnEvent, this, &io);
    if (!err)
        err = gensio_open(io, &GensioLink::OnOpened, this);
    if (err)
        Fail(gensio_err_to_str(err));
}

void GensioLink::OnOpened(gensio*, int err, void* self) {
    auto* link = static_cast<GensioLink*>(self);
    if (err) {
        link->Fail(gensio_err_to_str(err));
        return;
    }
    char port[32] = "0";
    gensiods length = sizeof port;
    if (gensio_control(link->io, GENSIO_CONTROL_DEPTH_FIRST, GENSIO_CONTROL_GET,
                       GENSIO_CONTROL_LPORT, port, &length) == 0)
        TuneServerSocket(std::atoi(port), link->net.port, kUnacknowledgedMs);
    // Reading from here on: the server's answers to the settings come in
    // through the same stream.
    gensio_set_read_callback_enable(link->io, true);
    if (link->net.kind == NetAddress::Kind::RawTcp) {
        std::lock_guard<std::mutex> hold(link->lock);
        link->phase = Phase::Opened;
        link->changed.notify_all();
        return;
    }
    link->serial = gensio_to_sergensio(link->io);
    if (!link->serial) {
        link->Fail("no RFC 2217");
        return;
    }
    {
        std::lock_guard<std::mutex> hold(link->lock);
        link->phase = Phase::Setting;
    }
    link->changed.notify_all();
    link->settingStep = 0;
    link->NextSetting();
}

// Each setting is asked once the server has answered the last; what it
// answers is what it applied.
void GensioLink::NextSetting() {
    const PortSettings& s = settings;
    int err = 0;
    switch (settingStep++) {
    case 0:
        err = sergensio_baud(serial, unsigned(s.baudRate), &GensioLink::OnSetting, this);
        break;
    case 1:
        err = sergensio_datasize(serial, s.dataBits, &GensioLink::OnSetting, this);
        break;
    case 2:
        err = sergensio_parity(serial, ParityCode(s.parity), &GensioLink::OnSetting, this);
        break;
    case 3:
        err = sergensio_stopbits(serial, s.stopBits, &GensioLink::OnSetting, this);
        break;
    case 4:
        // XON/XOFF stays with the program: the server must pass DC1 and DC3.
        err = sergensio_flowcontrol(
            serial, s.rtsCts ? SERGENSIO_FLOWCONTROL_RTS_CTS : SERGENSIO_FLOWCONTROL_NONE,
            &GensioLink::OnSetting, this);
        break;
    default:
        // What waited on either side before this connection is not ours.
        sergensio_flush(serial, SERGENSIO_FLUSH_RCV_XMIT_BUFFERS);
        sergensio_linestate(serial,
                            SERGENSIO_LINESTATE_OVERRUN_ERR | SERGENSIO_LINESTATE_PARITY_ERR |
                                SERGENSIO_LINESTATE_FRAMING_ERR | SERGENSIO_LINESTATE_BREAK);
        {
            std::lock_guard<std::mutex> hold(lock);
            inbox.clear(); // came before the purge: not this connection's
            inboxStart = 0;
            phase = Phase::Opened;
        }
        changed.notify_all();
        return;
    }
    if (err)
        Fail(gensio_err_to_str(err));
}

void GensioLink::OnSetting(sergensio*, int err, unsigned int value, void* self) {
    auto* link = static_cast<GensioLink*>(self);
    if (err) {
        link->Fail(gensio_err_to_str(err));
        return;
    }
    {
        std::lock_guard<std::mutex> hold(link->lock);
        Reported& r = link->reported;
        switch (link->settingStep - 1) {
        case 0:
            r.baud = int(value);
            break;
        case 1:
            r.dataBits = int(value);
            break;
        case 2:
            r.parity = ParityOfCode(value);
            break;
        case 3:
            r.stopBits = int(value);
            break;
        case 4:
            r.rtsCts = value == SERGENSIO_FLOWCONTROL_RTS_CTS;
            break;
        }
    }
    link->NextSetting();
}

int GensioLink::OnEvent(gensio*, void* self, int event, int err, unsigned char* buf,
                        gensiods* buflen, const char* const*) {
    auto* link = static_cast<GensioLink*>(self);
    switch (event) {
    case GENSIO_EVENT_READ: {
        if (err) {
            link->Lose();
            return 0;
        }
        bool full;
        {
            std::lock_guard<std::mutex> hold(link->lock);
            link->inbox.append(reinterpret_cast<const char*>(buf), *buflen);
            full = link->inbox.size() - link->inboxStart > kInboxLimit;
        }
        link->changed.notify_all();
        if (full) // taken up again once the reader has caught up
            gensio_set_read_callback_enable(link->io, false);
        return 0;
    }
    case GENSIO_EVENT_WRITE_READY:
        link->FlushOutbox();
        return 0;
    case GENSIO_EVENT_SER_LINESTATE: {
        unsigned int state = 0;
        if (buf && *buflen >= sizeof state)
            std::memcpy(&state, buf, sizeof state);
        std::lock_guard<std::mutex> hold(link->lock);
        if (state & SERGENSIO_LINESTATE_OVERRUN_ERR)
            ++link->errors.overruns;
        if (state & (SERGENSIO_LINESTATE_PARITY_ERR | SERGENSIO_LINESTATE_FRAMING_ERR |
                     SERGENSIO_LINESTATE_BREAK))
            ++link->errors.badCharacters;
        return 0;
    }
    case GENSIO_EVENT_SER_MODEMSTATE:
        return 0;
    default:
        return GE_NOTSUP;
    }
}

void GensioLink::Fail(const std::string& why) {
    {
        std::lock_guard<std::mutex> hold(lock);
        failure = why;
        phase = Phase::Failed;
    }
    changed.notify_all();
}

void GensioLink::Lose() {
    lost = true;
    changed.notify_all();
}

void GensioLink::FlushOutbox() {
    if (!io)
        return;
    std::string bytes;
    {
        std::lock_guard<std::mutex> hold(lock);
        bytes = outbox;
    }
    gensiods taken = 0;
    const int err =
        bytes.empty() ? 0 : gensio_write(io, &taken, bytes.data(), bytes.size(), nullptr);
    if (err) {
        Lose();
        return;
    }
    bool more;
    {
        std::lock_guard<std::mutex> hold(lock);
        outbox.erase(0, std::min<size_t>(taken, outbox.size()));
        more = !outbox.empty();
    }
    // The network takes the rest once it has room.
    gensio_set_write_callback_enable(io, more);
    changed.notify_all();
}

void GensioLink::CloseOnLoop() {
    if (!io)
        return;
    // An open (or opening) gensio is closed first: freed at once it would
    // leave its close half done when the loop stops.
    const auto freeIt = [](gensio* closed, void* self) {
        gensio_free(closed);
        static_cast<GensioLink*>(self)->io = nullptr;
    };
    serial = nullptr;
    if (gensio_close(io, freeIt, this) != 0)
        freeIt(io, this);
}

// --- The reader ----------------------------------------------------------------------

uint32_t GensioLink::ReadSome(void* buffer, uint32_t maximum) {
    bool resume;
    uint32_t n;
    {
        std::lock_guard<std::mutex> hold(lock);
        const size_t waiting = inbox.size() - inboxStart;
        n = uint32_t(std::min<size_t>(maximum, waiting));
        std::memcpy(buffer, inbox.data() + inboxStart, n);
        inboxStart += n;
        resume = waiting > kInboxLimit && waiting - n <= kInboxLimit;
        if (inboxStart == inbox.size()) {
            inbox.clear();
            inboxStart = 0;
        }
    }
    if (resume && loop.Running())
        loop.Post([this] {
            if (io)
                gensio_set_read_callback_enable(io, true);
        });
    return n;
}

Link::Wait GensioLink::WaitReadable() {
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [this] {
        return inbox.size() > inboxStart || woken || phase == Phase::Closed || lost.load();
    });
    if (inbox.size() > inboxStart)
        return Wait::Readable;
    if (woken) {
        woken = false;
        return Wait::Woken;
    }
    return lost.load() ? Wait::Lost : Wait::Closed;
}

void GensioLink::WakeReader() {
    {
        std::lock_guard<std::mutex> hold(lock);
        woken = true;
    }
    changed.notify_all();
}

uint32_t GensioLink::InputWaiting() const {
    std::lock_guard<std::mutex> hold(lock);
    return uint32_t(inbox.size() - inboxStart);
}

// --- The writer ----------------------------------------------------------------------

bool GensioLink::SleepUntil(Clock::time_point until) {
    std::unique_lock<std::mutex> hold(lock);
    return !changed.wait_until(hold, until, [this] {
        return phase == Phase::Closed || writesCancelled.load() || lost.load();
    });
}

// Hands the bytes to the loop and waits until the network has taken them.
bool GensioLink::SendNow(const char* bytes, size_t length) {
    {
        std::lock_guard<std::mutex> hold(lock);
        if (phase != Phase::Opened || writesCancelled || lost)
            return false;
        outbox.append(bytes, length);
    }
    loop.Post([this] { FlushOutbox(); });
    std::unique_lock<std::mutex> hold(lock);
    const bool taken = changed.wait_for(hold, std::chrono::milliseconds(kWriteTimeoutMs), [this] {
        return outbox.empty() || phase != Phase::Opened || writesCancelled.load() || lost.load();
    });
    if (!taken) {
        // The server has stopped taking data for longer than any line would.
        hold.unlock();
        Lose();
        return false;
    }
    return outbox.empty() && phase == Phase::Opened && !writesCancelled && !lost;
}

bool GensioLink::Write(const void* buffer, uint32_t length, uint32_t& written) {
    std::lock_guard<std::mutex> serialWrites(writeLock);
    written = 0;
    if (!open) {
        Show("串口句柄无效，无法发送数据.");
        return false;
    }
    const bool ok = pacer.Write(
        static_cast<const char*>(buffer), length,
        [&](const char* bytes, size_t n) {
            if (!SendNow(bytes, n))
                return false;
            written += uint32_t(n);
            return true;
        },
        [this](Clock::time_point until) { return SleepUntil(until); });
    return ok && written == length;
}

bool GensioLink::WaitUntilSent() {
    return open && SleepUntil(pacer.LineFreeAt());
}

void GensioLink::CancelWrites(bool on) {
    {
        std::lock_guard<std::mutex> hold(lock);
        writesCancelled = on;
        if (on)
            outbox.clear(); // what the network has not taken goes nowhere
    }
    changed.notify_all();
}

void GensioLink::Purge() {
    {
        std::lock_guard<std::mutex> hold(lock);
        inbox.clear();
        inboxStart = 0;
        outbox.clear();
    }
    if (loop.Running())
        loop.Post([this] {
            if (serial)
                sergensio_flush(serial, SERGENSIO_FLUSH_RCV_XMIT_BUFFERS);
        });
}

LineErrors GensioLink::TakeLineErrors() {
    std::lock_guard<std::mutex> hold(lock);
    const LineErrors taken = errors;
    errors = {};
    return taken;
}

GensioLink::Reported GensioLink::ServerLine() const {
    std::lock_guard<std::mutex> hold(lock);
    return reported;
}
