#include "service/DncService.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "shopnet/ShopCommand.h"

namespace {

// "2026-12-09T06:40:01Z" for the log stream.
std::string Stamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

} // namespace

DncService::DncService(ServiceConfig c) : config(std::move(c)), log(config.log) {}

DncService::~DncService() {
    for (auto& m : machines)
        m->Close();
    machines.clear();
    if (broker)
        broker->Stop();
}

bool DncService::Start(std::string& why) {
    if (HasBroker(config.broker)) {
        broker = std::make_unique<ShopBroker>();
        if (!broker->Start(config.broker, why))
            return false;
    }
    for (const ServedMachine& m : config.machines) {
        if (broker && !broker->AddMachine(m.name, why))
            return false;
        machines.push_back(
            std::make_unique<MachineService>(m, loop, static_cast<MachineEvents&>(*this)));
    }
    MachineSays("service", Format("%zu machines, library %s, log %s%s", machines.size(),
                                  config.library.c_str(), config.log.c_str(),
                                  broker ? (", broker " + config.broker.host + ":" +
                                            std::to_string(config.broker.port))
                                               .c_str()
                                         : ", no broker"));
    return true;
}

void DncService::Run(const std::function<bool()>& stops) {
    using namespace std::chrono_literals;
    while (!stops()) {
        const auto now = std::chrono::steady_clock::now();
        for (auto& m : machines)
            m->Tick(now);
        TakeCommands();
        loop.RunFor(50ms);
    }
    MachineSays("service", "stopping");
    for (auto& m : machines)
        m->Close();
}

MachineService* DncService::Find(const std::string& name) {
    for (auto& m : machines)
        if (m->Name() == name)
            return m.get();
    return nullptr;
}

void DncService::TakeCommands() {
    if (!broker)
        return;
    for (const std::string& notice : broker->TakeNotices())
        MachineSays("broker", notice);
    for (const ShopCommand& command : broker->TakeCommands()) {
        ParsedCommand parsed;
        std::string why;
        MachineService* machine = Find(command.machine);
        bool done = false;
        if (!machine)
            why = "no such machine";
        else if (ParseShopCommand(command.text, parsed, why)) {
            switch (parsed.verb) {
            case ParsedCommand::Verb::Send:
                done = machine->Send(parsed.program, why);
                break;
            case ParsedCommand::Verb::Receive:
                // Every machine listens all the time.
                done = machine->CurrentPhase() == MachineService::Phase::Listening;
                if (!done)
                    why = "the machine is busy or its line is not open";
                break;
            case ParsedCommand::Verb::Cancel:
                done = machine->Cancel(why);
                break;
            }
        }
        MachineSays(command.machine, "command \"" + command.text + "\": " +
                                         (done ? std::string("accepted") : "refused, " + why));
        broker->Reply(command, done, why);
    }
}

void DncService::MachineState(const std::string& machine, const std::string& state,
                              const std::string& progressJson) {
    if (!broker)
        return;
    broker->SetState(machine, state);
    if (!progressJson.empty())
        broker->SetProgress(machine, progressJson);
}

void DncService::MachineTransfer(const TransferRecord& record) {
    std::string why;
    if (!log.Append(record, why))
        MachineSays(record.machine, "the transfer log could not be written: " + why);
    if (broker)
        broker->PublishLog(record.machine, TransferJson(record));
}

void DncService::MachineSays(const std::string& machine, const std::string& text) {
    // One line an entry, as the journal shows them.
    std::string line = text;
    std::replace(line.begin(), line.end(), '\n', ' ');
    std::fprintf(stderr, "%s %s: %s\n", Stamp().c_str(), machine.c_str(), line.c_str());
    std::fflush(stderr);
}
