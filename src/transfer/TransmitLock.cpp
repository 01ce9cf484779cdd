#include "transfer/TransmitLock.h"

#include "editor/buffer/CTextBuffer.h"

void TransmitLock::Begin() {
    ++count;
    buffer.SetWriteProtected(true);
}

void TransmitLock::End() {
    if (count > 0 && --count == 0)
        buffer.SetWriteProtected(false);
}
