#include "settings/ConnectionSetup.h"

#include <chrono>
#include <thread>

#include "common/MessageSink.h"
#include "serial/CSerialPort.h"
#include "settings/SettingsFile.h"

namespace {

constexpr int kReceiving = 2;
constexpr uint32_t kCharacterReceived = 1;

// A failed open or monitor start leaves the view looking unconfigured for port
// and rate, so that the next dialog proposes from the file again.
void MarkUnconfigured(ConnectionView& view) {
    CSerialPort& port = view.Port();
    const PortSettings s = port.Settings();
    port.Configure(view.Owner(), -1, 0, s.dataBits, s.stopBits, s.parity, kCharacterReceived);
}

// Closes a view's port as a disconnect does.
void Disconnect(ConnectionView& view, const SleepFn& sleep) {
    const bool receiving = view.TransferStateValue() == kReceiving;
    view.Port().Close();
    if (receiving)
        sleep(kWaitAfterReceiving);
    view.SetTransferIdle();
    view.SetConnected(false);
}

} // namespace

void SleepMilliseconds(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool OpenForConnection(ConnectionView& view, const PortSettings& chosen,
                       const std::function<int(int)>& releasePort, const SleepFn& sleep) {
    if (releasePort)
        releasePort(chosen.portNumber);
    CSerialPort& port = view.Port();
    port.Close();
    view.SetConnected(false);
    sleep(kWaitAfterClose);
    port.Configure(view.Owner(), chosen.portNumber, chosen.baudRate, chosen.dataBits,
                   chosen.stopBits, chosen.parity, kCharacterReceived);
    if (!port.Open()) {
        MarkUnconfigured(view);
        return false;
    }
    sleep(kWaitAfterOpen);
    return true;
}

bool CompleteConnection(ConnectionView& view, bool remember) {
    CSerialPort& port = view.Port();
    if (!port.StartMonitor()) {
        MarkUnconfigured(view);
        return false;
    }
    view.SetConnected(true);
    if (remember)
        SaveSettingsFile(TokensOfSettings(port.Settings()));
    return true;
}

CancelOutcome CancelConnection(ConnectionView& view, MessageSink& messages,
                               const std::function<void()>& endDialog, const SleepFn& sleep) {
    if (view.Port().IsOpen()) {
        if (TransferRunning(view.TransferStateValue())) {
            if (endDialog)
                endDialog();
            messages.ShowMessage("请等待数据传送完成再断开连接。");
            return CancelOutcome::KeptForTransfer;
        }
        Disconnect(view, sleep);
    }
    if (endDialog)
        endDialog();
    return CancelOutcome::Disconnected;
}

int ReleasePortFromViews(const std::vector<ConnectionView*>& views, int portNumber,
                         ConnectionView*& linkedView, const SleepFn& sleep) {
    int count = 0;
    for (ConnectionView* view : views) {
        if (!view || !view->IsConnected() || !view->Port().IsOpen() ||
            view->Port().Settings().portNumber != portNumber)
            continue;
        ++count;
        if (TransferRunning(view->TransferStateValue()))
            continue;
        Disconnect(*view, sleep);
        if (view == linkedView)
            linkedView = nullptr;
    }
    return count;
}
