#pragma once
#include <string>

// A command published to <prefix>/<service>/<machine>/command. The payload is
// one command in UTF-8 text; blanks around it are ignored, the verb's case is
// not:
//   send <program>   send the stored program, e.g. "send O1234". A program
//                    name has letters, digits, '.', '_' and '-', and does not
//                    start with '.' (it never reaches outside the store).
//   receive          take the program the controller punches next
//   cancel           stop the transfer under way
// The service answers each command on the machine's reply topic with
// {"command":"send O1234","result":"accepted"} or
// {"command":"send O1234","result":"refused","reason":"..."}.
// A retained command is never acted on: the broker hands it out again on every
// reconnect, and a program must not go out again each time.
struct ShopCommand {
    std::string machine; // the machine's own name, as the service registered it
    std::string text;    // trimmed
};

struct ParsedCommand {
    enum class Verb { Send, Receive, Cancel };
    Verb verb = Verb::Receive;
    std::string program; // Send only
};

// False, with the reason to reply, when text is no command this service knows.
bool ParseShopCommand(const std::string& text, ParsedCommand& out, std::string& why);

// The longest command payload taken; a longer one is refused unread.
constexpr size_t kMaxCommandBytes = 256;

// The payload as a command text (trimmed), or false with the reason to reply:
// too long, not UTF-8, control characters, empty.
bool CommandText(const std::string& payload, std::string& text, std::string& why);

// The JSON answers on the reply topic.
std::string AcceptedReply(const std::string& command);
std::string RefusedReply(const std::string& command, const std::string& reason);
