#include "shopnet/ShopCommand.h"

#include "shopnet/ShopTopics.h"

namespace {

bool Blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

bool ProgramName(const std::string& name) {
    if (name.empty() || name.size() > 64 || name.front() == '.')
        return false;
    for (const char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

bool ParseShopCommand(const std::string& text, ParsedCommand& out, std::string& why) {
    size_t end = 0;
    while (end < text.size() && !Blank(text[end]))
        ++end;
    const std::string verb = Lower(text.substr(0, end));
    size_t start = end;
    while (start < text.size() && Blank(text[start]))
        ++start;
    const std::string rest = text.substr(start);

    if (verb == "send") {
        if (rest.empty()) {
            why = "send needs a program name";
            return false;
        }
        if (!ProgramName(rest)) {
            why = "not a program name: " + rest;
            return false;
        }
        out = {ParsedCommand::Verb::Send, rest};
        return true;
    }
    if (verb == "receive" || verb == "cancel") {
        if (!rest.empty()) {
            why = verb + " takes nothing after it";
            return false;
        }
        out = {verb == "receive" ? ParsedCommand::Verb::Receive : ParsedCommand::Verb::Cancel, {}};
        return true;
    }
    why = "unknown command: " + verb;
    return false;
}

bool CommandText(const std::string& payload, std::string& text, std::string& why) {
    if (payload.size() > kMaxCommandBytes) {
        why = "command longer than " + std::to_string(kMaxCommandBytes) + " bytes";
        return false;
    }
    if (!IsUtf8(payload)) {
        why = "command is not UTF-8 text";
        return false;
    }
    size_t first = 0, last = payload.size();
    while (first < last && Blank(payload[first]))
        ++first;
    while (last > first && Blank(payload[last - 1]))
        --last;
    text = payload.substr(first, last - first);
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            why = "command has control characters";
            return false;
        }
    if (text.empty()) {
        why = "empty command";
        return false;
    }
    return true;
}

std::string AcceptedReply(const std::string& command) {
    return "{\"command\":" + JsonString(command) + ",\"result\":\"accepted\"}";
}

std::string RefusedReply(const std::string& command, const std::string& reason) {
    return "{\"command\":" + JsonString(command) +
           ",\"result\":\"refused\",\"reason\":" + JsonString(reason) + "}";
}
