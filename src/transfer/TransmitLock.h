#pragma once

class CTextBuffer;

// A document's lock against edits while it is transmitted: write-protected
// from the moment its first transmission starts until the last one has ended
// (two windows may send one document on two ports at once), and writable
// after that whatever it was before. The transmit worker reads the lines
// under it.
//
// Threads: the host thread only.
class TransmitLock {
public:
    explicit TransmitLock(CTextBuffer& buffer) : buffer(buffer) {}
    void Begin();
    void End();
    bool Held() const { return count > 0; }
    CTextBuffer& Buffer() const { return buffer; }

private:
    CTextBuffer& buffer;
    int count = 0;
};
