#pragma once
#include <memory>

#include "link/Link.h"

// A port as the operator names it: COMn through the port map, a device path,
// or a serial device server's address (rfc2217://HOST:PORT, tcp://HOST:PORT),
// wherever it is given. Configure picks the link that address needs; every
// other call goes to it.
//
// Threads: as Link; Configure only while closed, so the link never changes
// under a reader or a writer.
class PortLink final : public Link {
public:
    PortLink();
    ~PortLink() override;

    void Configure(const PortSettings& settings, const std::string& address = {}) override;
    const PortSettings& Settings() const override { return active->Settings(); }
    std::string Address() const override { return active->Address(); }

    LinkStatus Open() override { return active->Open(); }
    bool Close() override { return active->Close(); }
    bool IsOpen() const override { return active->IsOpen(); }
    bool IsLost() const override { return active->IsLost(); }

    uint32_t ReadSome(void* buffer, uint32_t maximum) override {
        return active->ReadSome(buffer, maximum);
    }
    Wait WaitReadable() override { return active->WaitReadable(); }
    void WakeReader() override { active->WakeReader(); }
    uint32_t InputWaiting() const override { return active->InputWaiting(); }

    bool Write(const void* buffer, uint32_t length, uint32_t& written) override {
        return active->Write(buffer, length, written);
    }
    bool WaitUntilSent() override { return active->WaitUntilSent(); }
    void CancelWrites(bool on) override { active->CancelWrites(on); }
    bool TakesLineTime() const override { return active->TakesLineTime(); }

    void Purge() override { active->Purge(); }
    LineErrors TakeLineErrors() override { return active->TakeLineErrors(); }

    // Whether the link now in use reaches its line over the network.
    bool OnNetwork() const { return network; }

private:
    std::unique_ptr<Link> active;
    bool network = false;
};
