#include "transfer/Receiver.h"

#include <algorithm>

#include "editor/buffer/CTextBuffer.h"
#include "transfer/TransferHost.h"

Receiver::Receiver() {
    queue.Init(kQueueSize);
}

void Receiver::Decode(std::string_view bytes) {
    decoded.clear();
    receivedBytes += int64_t(bytes.size());
    if (tap)
        tap->Bytes(bytes);
    if (framed) {
        program.clear();
        framer.Filter(bytes, program);
        bytes = program;
    }
    if (rules.Cleans()) {
        cleaned.clear();
        rules.Clean(bytes, cleaned);
        bytes = cleaned;
    }
    decoder.Decode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), decoded);
    receivedLines += std::count(decoded.begin(), decoded.end(), '\n');
    if (!decoded.empty())
        Queue(decoded);
}

void Receiver::SetRules(const ReceiveRules& r) {
    rules = r;
    framer.SetMarks(rules.start, rules.end);
    framed = !rules.start.empty() || !rules.end.empty();
}

void Receiver::Queue(const std::string& text) {
    if (overflow.empty() && queue.Write(text.data(), int(text.size())) == RING_OK)
        return;
    overflow += text;
}

size_t Receiver::Queued() const {
    return size_t(queue.Capacity() - 1 - queue.Room()) + overflow.size();
}

bool Receiver::Flush(TransferHost& host, const CTextBuffer& document) {
    if (document.IsWriteProtected())
        return false;
    char chunk[kFlushChunk + 1];
    for (;;) {
        int n = queue.Read(chunk, kFlushChunk);
        if (n == 0)
            break;
        // Never split a CR LF: the document would read a lone CR as a break.
        if (chunk[n - 1] == '\r')
            n += queue.Read(chunk + n, 1);
        host.AppendReceivedText(std::string_view(chunk, size_t(n)));
    }
    queue.Rewind();
    std::string_view rest = overflow;
    while (!rest.empty()) {
        size_t n = std::min(rest.size(), size_t(kFlushChunk));
        if (rest[n - 1] == '\r' && n < rest.size())
            ++n;
        host.AppendReceivedText(rest.substr(0, n));
        rest.remove_prefix(n);
    }
    overflow.clear();
    return true;
}
