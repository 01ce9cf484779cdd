#pragma once
#include <cstddef>
#include <string>

#include "transfer/Utf8Stream.h"

enum ReceiveEncoding : int {
    EncodingGbk = 'G',
    EncodingUtf8 = 'U',
};

// Turns the controller's bytes into document text: DC1 and DC3 (which the
// port's reader has already obeyed) and DC4 are dropped, DC2 starts looking
// for a UTF-8 byte-order mark, CR is dropped and LF becomes CR LF, UTF-8
// becomes GBK.
// Lives as long as its view: the encoding and the pending bytes carry over
// from one batch (and one receive) to the next.
class ReceiveDecoder {
public:
    // Decodes a batch; the text is appended to out.
    void Decode(const unsigned char* bytes, size_t length, std::string& out);

    int Encoding() const { return encoding; }
    int MarkIndex() const { return bomIndex; }

private:
    void Treat(unsigned char b, std::string& out);

    int encoding = EncodingGbk;
    int bomIndex = -1; // -1: not looking; 0..3: mark bytes matched
    std::string markPending;
    Utf8Stream utf8;
};
