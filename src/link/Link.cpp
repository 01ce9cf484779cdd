#include "link/Link.h"

#include <algorithm>

#include "common/MessageSink.h"

void Link::Show(const std::string& text) const {
    MessageSink* sink = messages.load();
    (sink ? *sink : DefaultMessageSink()).ShowMessage(text);
}

uint32_t Link::Read(void* buffer, uint32_t maximum) {
    const uint32_t waiting = InputWaiting();
    if (maximum == kReadAll && waiting == 0)
        return 0;
    const uint32_t count = std::min(maximum, waiting);
    const uint32_t got = count > 0 ? ReadSome(buffer, count) : 0;
    if (got == 0)
        Show("读取串口数据错误！");
    return got;
}
