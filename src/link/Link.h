#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "serial/PortSettings.h"

class MessageSink;

// How opening a link ended. A link that opened but could not be set up as
// asked is open (Opened) yet not Ok: the program goes on with it as the
// operator was told, a script stops.
struct LinkStatus {
    enum class Result { Ok, NotOpened, NotConfigured };
    Result result = Result::Ok;
    int error = 0;    // errno where it failed; 0 when nothing did
    std::string text; // what the operator was shown
    bool Ok() const { return result == Result::Ok; }
    bool Opened() const { return result != Result::NotOpened; }
};

// What the line reported about the characters it delivered.
struct LineErrors {
    int64_t badCharacters = 0; // parity or framing errors and breaks, each read as "?"
    int64_t overruns = 0;      // characters lost before they could be read
    bool Any() const { return badCharacters > 0 || overruns > 0; }
};

// The connection to one controller's line: a local serial port today, a
// serial device server on the network behind the same calls next. Pacing,
// line time and the line's own error marks belong to the link; what the bytes
// mean (flow control, text) does not.
//
// Threads: Configure, Open, Close and Purge on the owner's thread; one reader
// (WaitReadable, ReadSome) and one writer (Write, WaitUntilSent) at a time, each
// on a thread of its own. Close, WakeReader and CancelWrites may come from any
// thread and end the waits they concern at once.
class Link {
public:
    enum class Wait { Readable, Woken, Closed, Lost };

    virtual ~Link() = default;

    // The line parameters and, when not empty, the address to open instead of
    // the one the port map gives the port number.
    virtual void Configure(const PortSettings& settings, const std::string& address = {}) = 0;
    virtual const PortSettings& Settings() const = 0;
    // What Open opens (a device path), for messages.
    virtual std::string Address() const = 0;

    virtual LinkStatus Open() = 0;
    // Safe when not open, and twice.
    virtual bool Close() = 0;
    virtual bool IsOpen() const = 0;
    // The far end has gone (unplugged, hung up) since Open: nothing more comes.
    virtual bool IsLost() const = 0;

    // What has arrived, up to maximum; never waits; 0 when nothing is there.
    virtual uint32_t ReadSome(void* buffer, uint32_t maximum) = 0;
    // Until bytes are there, WakeReader is called, the link closes or is lost.
    virtual Wait WaitReadable() = 0;
    virtual void WakeReader() = 0;
    // Bytes that have arrived and not been read; 0 when closed.
    virtual uint32_t InputWaiting() const = 0;

    // Returns when the bytes have left (on a real line, or the line time of a
    // paced pseudo-terminal); false when not all of them could be written.
    virtual bool Write(const void* buffer, uint32_t length, uint32_t& written) = 0;
    virtual bool WaitUntilSent() = 0;
    // On: a Write in progress ends at once, what the line still holds is
    // dropped, and every Write fails until it is switched off again.
    virtual void CancelWrites(bool on) = 0;
    // Whether a Write lasts as long as its bytes take on the line.
    virtual bool TakesLineTime() const = 0;

    // Drops whatever waits in either direction.
    virtual void Purge() = 0;
    // The errors counted since the last call.
    virtual LineErrors TakeLineErrors() = 0;

    void SetMessageSink(MessageSink* sink) { messages = sink; }

    // What is waiting, up to maximum, read at once. kReadAll takes everything
    // and says nothing when nothing is there; a fixed maximum that finds
    // nothing shows "读取串口数据错误！".
    static constexpr uint32_t kReadAll = 0xFFFFFFFFu;
    uint32_t Read(void* buffer, uint32_t maximum);

protected:
    void Show(const std::string& text) const;
    MessageSink* Sink() const { return messages.load(); }

private:
    std::atomic<MessageSink*> messages{nullptr}; // the reader's thread may show through it
};
