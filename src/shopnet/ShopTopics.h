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

// Every service's status and every machine's state under a prefix: what a
// watcher of the whole shop subscribes to.
std::string AllStatusFilter(const std::string& prefix); // <prefix>/+/status
std::string AllStateFilter(const std::string& prefix);  // <prefix>/+/+/state

// What a topic under prefix names. Kind None for any other topic, and for one
// with an empty level (which '+' also matches).
struct ShopTopicName {
    enum class Kind { None, Status, State } kind = Kind::None;
    std::string service;
    std::string machine; // a topic name; State only
};
ShopTopicName ParseShopTopic(const std::string& prefix, const std::string& topic);

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
// A request taken, its answer waiting out the machine's delay: "answering O1234".
std::string AnsweringState(const std::string& program);

// A state text taken apart, for showing it in other words. Anything that is
// not one of the texts above is Other (shown as it is).
struct MachineState {
    enum class Kind {
        Idle,
        Receiving,
        Sending,
        Held,
        Failed,
        Offline,
        Answering,
        Other
    } kind = Kind::Other;
    uint64_t sent = 0, total = 0; // Sending
    std::string reason;           // Failed; Answering: the program
};
MachineState ParseMachineState(const std::string& text);

// The progress texts: {"sent":n,"total":N} and {"received":bytes}.
std::string SendProgress(uint64_t sent, uint64_t total);
std::string ReceiveProgress(uint64_t bytes);

// text as a JSON string, quotes included. Bytes that are not UTF-8 become
// U+FFFD so that the result is always valid JSON.
std::string JsonString(const std::string& text);

// Text from the network made fit to show: bytes that are not UTF-8 become
// U+FFFD, control characters a space, and it is cut after maxBytes (at a
// character's end) with "..." added.
std::string ShownText(const std::string& text, size_t maxBytes);

// Whether text is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsUtf8(const std::string& text);
