#pragma once
#include <QEvent>

#include "transfer/TransferHost.h"

// What a connection's threads post to its view; the view hands it back to the
// connection on the GUI thread.
namespace app_events {
inline constexpr QEvent::Type kTransferEvent = static_cast<QEvent::Type>(QEvent::User + 10);

class TransferQEvent final : public QEvent {
public:
    explicit TransferQEvent(TransferEvent e) : QEvent(kTransferEvent), event(e) {}
    const TransferEvent event;
};
} // namespace app_events
