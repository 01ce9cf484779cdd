#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "machine/ReceiveRules.h"
#include "transfer/CByteRing.h"
#include "transfer/ProgramFramer.h"
#include "transfer/ReceiveDecoder.h"
#include "transfer/WireTap.h"

class CTextBuffer;
class TransferHost;

// Received bytes on their way into the document: decoded into document text,
// queued, and moved into the document in chunks. Text that finds no room in
// the queue waits behind it, so nothing decoded is ever dropped; it waits,
// too, while the document is write-protected.
//
// Threads: the host thread only.
class Receiver {
public:
    static constexpr int kQueueSize = 10 * 1024 * 1024;
    static constexpr int kFlushChunk = 4096;

    Receiver();
    void Decode(std::string_view bytes);
    // Moves everything queued into the document through the host; false,
    // with nothing moved, while the document is write-protected.
    bool Flush(TransferHost& host, const CTextBuffer& document);
    // Bytes decoded and not yet in the document.
    size_t Queued() const;
    const ReceiveDecoder& Decoder() const { return decoder; }
    // What the line brought since the last ResetCounts: its bytes, and the
    // lines they ended in the document.
    int64_t ReceivedBytes() const { return receivedBytes; }
    int64_t ReceivedLines() const { return receivedLines; }
    void ResetCounts() { receivedBytes = receivedLines = 0; }
    // A machine's program marks and cleaning (classic: everything is the
    // program, as it comes).
    void SetRules(const ReceiveRules& rules);
    const ReceiveRules& Rules() const { return rules; }
    void ResetFraming() { framer.Reset(); }
    int ProgramsEnded() const { return framer.ProgramsEnded(); }
    // Sees every byte that comes, before the rules pick the program out.
    void SetWireTap(WireTap* t) { tap = t; }

private:
    void Queue(const std::string& text);

    ReceiveDecoder decoder;
    ProgramFramer framer;
    WireTap* tap = nullptr;
    ReceiveRules rules;
    bool framed = false;
    std::string program; // the framed bytes of one batch
    std::string cleaned; // and those cleaned
    CByteRing queue;
    std::string overflow; // follows the ring's bytes
    std::string decoded;  // kept so that its memory is reused
    int64_t receivedBytes = 0;
    int64_t receivedLines = 0;
};
