#pragma once
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/EventLoop.h"
#include "dnc/TransferLog.h"
#include "service/MachineService.h"
#include "service/ServiceConfig.h"
#include "shopnet/ShopBroker.h"

// The DNC service: every machine of the config on its own connection, one
// event loop for all of them, one log stream (stderr, which the journal
// keeps under systemd), the transfer log, and the shop's broker when one is
// configured: each machine's state there, its transfers, and the commands
// that send a library program or cancel.
//
// Threads: one, the loop's; the connections and the broker have their own
// and reach it through the loop and the broker's inbox.
class DncService final : private MachineEvents {
public:
    explicit DncService(ServiceConfig config);
    ~DncService() override;
    DncService(const DncService&) = delete;
    DncService& operator=(const DncService&) = delete;

    // Starts the broker link; false with the reason for settings that cannot work.
    bool Start(std::string& why);
    // Runs until stops() says to stop; then every line is closed.
    void Run(const std::function<bool()>& stops);
    EventLoop& Loop() { return loop; }

private:
    void MachineState(const std::string& machine, const std::string& state,
                      const std::string& progressJson) override;
    void MachineTransfer(const TransferRecord& record) override;
    void MachineSays(const std::string& machine, const std::string& text) override;
    void TakeCommands();
    MachineService* Find(const std::string& name);

    ServiceConfig config;
    EventLoop loop;
    TransferLog log;
    std::unique_ptr<ShopBroker> broker;
    std::vector<std::unique_ptr<MachineService>> machines;
};
