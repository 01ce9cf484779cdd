#pragma once
#include <functional>
#include <vector>

#include "serial/PortSettings.h"

class CSerialPort;
class MessageSink;
class PortOwner;

// A view's connection as the settings dialog and the main frame's release of
// a port see it. The view owns the port and its transfer state.
class ConnectionView {
public:
    virtual ~ConnectionView() = default;
    virtual CSerialPort& Port() = 0;
    // The owner given to the port's Configure (the view itself).
    virtual PortOwner* Owner() = 0;
    virtual bool IsConnected() const = 0;
    virtual void SetConnected(bool connected) = 0;
    // 1 Idle, 2 Receiving, 3 Sending, 4 Paused, 5 HeldByPeer.
    virtual int TransferStateValue() const = 0;
    virtual void SetTransferIdle() = 0;
};

// The fixed waits of reconfiguring a port on the user-interface thread block
// that thread; tests replace them by a recorder.
using SleepFn = std::function<void(int milliseconds)>;
void SleepMilliseconds(int milliseconds);

constexpr int kWaitAfterClose = 300;
constexpr int kWaitAfterOpen = 200;
constexpr int kWaitAfterReceiving = 70;

// A transfer runs in states 3, 4 and 5.
inline bool TransferRunning(int state) {
    return state >= 3 && state <= 5;
}

// OK, up to the dial: asks releasePort (the main frame's release, given the
// port number; its answer is ignored) to take the port from other views,
// closes this view's port and clears its connected flag, waits 300 ms,
// configures (event mask 1) and opens the port, waits 200 ms. When the open
// fails (the port has reported why) the port number becomes -1 and the baud
// rate 0 and false is returned: the dialog stays open.
bool OpenForConnection(ConnectionView& view, const PortSettings& chosen,
                       const std::function<int(int portNumber)>& releasePort,
                       const SleepFn& sleep = SleepMilliseconds);

// OK, after a successful dial or straight after OpenForConnection in direct
// mode: starts monitoring, marks the view connected and, with remember, stores
// the settings in Sermida.ini (a failed write is not shown and does not
// matter). When the monitor cannot start, the port number becomes -1 and the
// baud rate 0 and false is returned with nothing shown.
bool CompleteConnection(ConnectionView& view, bool remember = true);

enum class CancelOutcome { Disconnected, KeptForTransfer };

// Cancel, Esc and the close box. endDialog closes the dialog; it is called
// before "请等待数据传送完成再断开连接。" is shown when a transfer keeps the
// port open, and otherwise after the port is closed.
CancelOutcome CancelConnection(ConnectionView& view, MessageSink& messages,
                               const std::function<void()>& endDialog,
                               const SleepFn& sleep = SleepMilliseconds);

// The main frame's release of a port: every connected view with an open port
// of that number is counted; those not transferring are closed, set idle and
// unconnected, and linkedView is cleared when it is one of them. The caller's
// own view is handled like any other. Returns the count.
int ReleasePortFromViews(const std::vector<ConnectionView*>& views, int portNumber,
                         ConnectionView*& linkedView, const SleepFn& sleep = SleepMilliseconds);
