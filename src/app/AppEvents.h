#pragma once
#include <QEvent>

// Events posted to a view by the port's monitor thread and the transfer
// workers; the view handles them on the GUI thread.
namespace app_events {
inline constexpr QEvent::Type WM_RECEIVE_FLUSH = static_cast<QEvent::Type>(QEvent::User + 2);
inline constexpr QEvent::Type kTransmitEnded = static_cast<QEvent::Type>(QEvent::User + 3);
inline constexpr QEvent::Type WM_PORT_DATA = static_cast<QEvent::Type>(QEvent::User + 10);
} // namespace app_events
