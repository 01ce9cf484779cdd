#include "link/PortLink.h"

#include "netlink/GensioLink.h"
#include "netlink/NetAddress.h"
#include "serial/CSerialPort.h"
#include "serial/PortMap.h"

PortLink::PortLink() : active(std::make_unique<CSerialPort>()) {}

PortLink::~PortLink() = default;

void PortLink::Configure(const PortSettings& settings, const std::string& address) {
    // The port map may name a server for COMn as it names a device.
    const std::string where = address.empty() ? DevicePathOfPort(settings.portNumber) : address;
    const bool wantNetwork = IsNetworkAddress(where);
    if (wantNetwork != network) {
        active->Close();
        if (wantNetwork)
            active = std::make_unique<GensioLink>();
        else
            active = std::make_unique<CSerialPort>();
        network = wantNetwork;
    }
    active->SetMessageSink(Sink());
    active->Configure(settings, wantNetwork ? where : address);
}
