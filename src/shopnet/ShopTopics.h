#pragma once
#include <cstdint>
#include <string>

// The topics of one service on the broker, and the texts published on them.
//
//   <prefix>/<service>/status              "online"; "offline" on a clean stop
//                                          and, as the last will, when the
//                                          service dies (retained)
//   <prefix>/<service>/<machine>/state     retained, see the *State functions
//   <prefix>/<service>/<machine>/progress  retained JSON, see the *Progress ones
//   <prefix>/<service>/<machine>/log       one transfer log record (a JSON line)
//   <prefix>/<service>/<machine>/command   taken by the service, see ShopCommand.h
//   <prefix>/<service>/<machine>/reply     the answer to each command
class ShopTopics {
public:
    ShopTopics(const std::string& prefix, const std::string& service);

    std::string Status() const { return base + "status"; }
    // machine is a topic name (MachineTopicName), not the machine's own name.
    std::string State(const std::string& machine) const { return Of(machine, "state"); }
    std::string Progress(const std::string& machine) const { return Of(machine, "progress"); }
    std::string Log(const std::string& machine) const { return Of(machine, "log"); }
    std::string Command(const std::string& machine) const { return Of(machine, "command"); }
    std::string Reply(const std::string& machine) const { return Of(machine, "reply"); }
    // The subscription that takes every machine's commands.
    std::string AllCommands() const { return base + "+/command"; }
    // The machine's topic name when topic is one of this service's command
    // topics; empty otherwise.
    std::string CommandMachine(const std::string& topic) const;

private:
    std::string Of(const std::string& machine, const char* leaf) const {
        return base + machine + "/" + leaf;
    }
    std::string base; // "<prefix>/<service>/"
};

// A machine's name as one topic level: '/', '+', '#', control characters and
// bytes that are not UTF-8 become '_'; an empty name becomes "_". Two names
// can meet in one topic name; ShopBroker refuses the second.
std::string MachineTopicName(const std::string& name);

// The state texts.
inline const char* IdleState() {
    return "idle";
}
inline const char* ReceivingState() {
    return "receiving";
}
inline const char* HeldState() {
    return "held";
}
inline const char* OfflineState() {
    return "offline";
}
std::string SendingState(uint64_t sent, uint64_t total); // "sending n/N"
std::string FailedState(const std::string& reason);      // "failed: reason"

// The progress texts: {"sent":n,"total":N} and {"received":bytes}.
std::string SendProgress(uint64_t sent, uint64_t total);
std::string ReceiveProgress(uint64_t bytes);

// text as a JSON string, quotes included. Bytes that are not UTF-8 become
// U+FFFD so that the result is always valid JSON.
std::string JsonString(const std::string& text);

// Whether text is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsUtf8(const std::string& text);
