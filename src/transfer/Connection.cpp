// Connecting, taking over, releasing and disconnecting.
#include "transfer/Connection.h"

#include <chrono>
#include <thread>

#include "common/MessageSink.h"
#include "link/PortLink.h"
#include "transfer/TransferMessages.h"
#include "transfer/TransmitLock.h"

Connection::Connection(TransferHost& h, TransmitLock& doc)
    : Connection(h, doc, std::make_unique<PortLink>()) {}

Connection::Connection(TransferHost& h, TransmitLock& doc, std::unique_ptr<Link> l)
    : host(h), document(doc), link(std::move(l)), reader(*link, control, host),
      transmitter(*link, control, reader, host) {
    link->SetMessageSink(&host.Messages());
}

Connection::~Connection() {
    control.ToIdle();
    if (transmitActive) {
        transmitter.Abort();
        transmitter.Join();
        document.End();
    }
    reader.Stop();
    link->Close();
}

void Connection::Sleep(int milliseconds) const {
    if (sleepFn)
        sleepFn(milliseconds);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::string Connection::PortLabel() const {
    if (!address.empty())
        return address;
    return Format("COM%d（%s）", Settings().portNumber, link->Address().c_str());
}

void Connection::MarkUnconfigured() {
    PortSettings s = link->Settings();
    s.portNumber = -1;
    s.baudRate = 0;
    link->Configure(s, address);
}

void Connection::CloseLine() {
    const bool receiving = State() == Receiving;
    if (receiving)
        DecodeReceived(); // what the reader had is kept for the next receive
    EndReceiving();
    reader.Stop();
    link->Close();
    if (receiving)
        Sleep(kWaitAfterReceiving);
    control.ToIdle();
    connected = false;
}

LinkStatus Connection::OpenLine(const PortSettings& settings, const ReleaseFn& releaseOthers,
                                const std::string& newAddress) {
    if (releaseOthers)
        releaseOthers(settings.portNumber);
    if (link->IsOpen())
        CloseLine();
    connected = false;
    Sleep(kWaitAfterClose);
    address = newAddress;
    link->Configure(settings, address);
    const LinkStatus status = link->Open();
    if (!status.Opened()) {
        MarkUnconfigured();
        return status;
    }
    wasLost = false;
    Sleep(kWaitAfterOpen);
    return status;
}

bool Connection::Complete() {
    if (!link->IsOpen() || !reader.Start()) {
        MarkUnconfigured();
        return false;
    }
    connected = true;
    return true;
}

LinkStatus Connection::Connect(const PortSettings& settings, const std::string& newAddress) {
    LinkStatus status = OpenLine(settings, {}, newAddress);
    if (status.Opened() && !Complete()) {
        status = {LinkStatus::Result::NotOpened, 0, kMsgNoThread};
        host.Messages().ShowMessage(kMsgNoThread);
    }
    return status;
}

TakeOverResult Connection::TakeOver(Connection* linked) {
    if (connected)
        return TakeOverResult::Connected;
    if (!linked || linked == this || !linked->connected)
        return TakeOverResult::NothingToTakeOver;
    if (linked->Busy()) {
        host.Messages().ShowMessage(kMsgWaitForTransfer);
        return TakeOverResult::LinkedBusy;
    }
    const PortSettings settings = linked->Settings();
    address = linked->address;
    linked->CloseLine();
    Sleep(kWaitAfterTakeOver);
    link->Configure(settings, address);
    if (!link->Open().Opened()) {
        MarkUnconfigured();
        return TakeOverResult::OpenFailed;
    }
    wasLost = false;
    if (!Complete())
        return TakeOverResult::ReaderFailed;
    return TakeOverResult::Connected;
}

bool Connection::Disconnect() {
    if (Busy())
        return false;
    if (link->IsOpen())
        CloseLine();
    connected = false;
    return true;
}

void Connection::UseMachine(const MachineProfile& machine) {
    SetWireRules(machine.wire);
    SetXoffChunk(machine.xoffCharacters);
    SetReceiveRules(machine.receive);
    control.ObeyDc3(machine.ObeysXonXoff());
}

bool Connection::Holds(int portNumber) const {
    return connected && link->IsOpen() && Settings().portNumber == portNumber;
}

int ReleasePort(const std::vector<Connection*>& connections, int portNumber) {
    int count = 0;
    for (Connection* c : connections) {
        if (!c || !c->Holds(portNumber))
            continue;
        ++count;
        c->Disconnect(); // refused while it transmits: it keeps the port
    }
    return count;
}
