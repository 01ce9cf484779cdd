#include "shopnet/ShopTopics.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace {

// Length of the well-formed UTF-8 sequence at text[i], 0 when there is none.
size_t Utf8Length(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80)
        return 1;
    size_t n = 0;
    unsigned char low = 0x80, high = 0xBF; // the allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0)
            low = 0xA0; // overlong
        else if (c == 0xED)
            high = 0x9F; // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0)
            low = 0x90;
        else if (c == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (i + n > text.size() || byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (size_t k = 2; k < n; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
            return 0;
    return n;
}

} // namespace

ShopTopics::ShopTopics(const std::string& prefix, const std::string& service)
    : base(prefix + "/" + service + "/") {}

std::string ShopTopics::CommandMachine(const std::string& topic) const {
    static const std::string leaf = "/command";
    if (topic.size() <= base.size() + leaf.size() || topic.compare(0, base.size(), base) != 0 ||
        topic.compare(topic.size() - leaf.size(), leaf.size(), leaf) != 0)
        return {};
    std::string machine = topic.substr(base.size(), topic.size() - base.size() - leaf.size());
    return machine.find('/') == std::string::npos ? machine : std::string();
}

std::string AllStatusFilter(const std::string& prefix) {
    return prefix + "/+/status";
}

std::string AllStateFilter(const std::string& prefix) {
    return prefix + "/+/+/state";
}

ShopTopicName ParseShopTopic(const std::string& prefix, const std::string& topic) {
    ShopTopicName out;
    if (topic.size() <= prefix.size() + 1 || topic.compare(0, prefix.size(), prefix) != 0 ||
        topic[prefix.size()] != '/')
        return out;
    std::vector<std::string> levels;
    for (size_t at = prefix.size() + 1;;) {
        const size_t slash = topic.find('/', at);
        levels.push_back(topic.substr(at, slash - at));
        if (slash == std::string::npos)
            break;
        at = slash + 1;
    }
    for (const std::string& level : levels)
        if (level.empty())
            return out;
    if (levels.size() == 2 && levels[1] == "status") {
        out.kind = ShopTopicName::Kind::Status;
        out.service = levels[0];
    } else if (levels.size() == 3 && levels[2] == "state") {
        out.kind = ShopTopicName::Kind::State;
        out.service = levels[0];
        out.machine = levels[1];
    }
    return out;
}

std::string MachineTopicName(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size();) {
        const size_t n = Utf8Length(name, i);
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (n == 0 || c < 0x20 || c == 0x7F || c == '/' || c == '+' || c == '#') {
            out += '_';
            ++i;
        } else {
            out.append(name, i, n);
            i += n;
        }
    }
    return out.empty() ? "_" : out;
}

std::string SendingState(uint64_t sent, uint64_t total) {
    return "sending " + std::to_string(sent) + "/" + std::to_string(total);
}

std::string FailedState(const std::string& reason) {
    return "failed: " + reason;
}

std::string AnsweringState(const std::string& program) {
    return "answering " + program;
}

MachineState ParseMachineState(const std::string& text) {
    using Kind = MachineState::Kind;
    MachineState out;
    static const std::pair<const char*, Kind> plain[] = {{"idle", Kind::Idle},
                                                         {"receiving", Kind::Receiving},
                                                         {"held", Kind::Held},
                                                         {"offline", Kind::Offline}};
    for (const auto& [word, kind] : plain)
        if (text == word) {
            out.kind = kind;
            return out;
        }
    static const std::string failed = "failed: ", sending = "sending ", answering = "answering ";
    for (const auto& [prefix, kind] :
         {std::pair{&failed, Kind::Failed}, {&answering, Kind::Answering}})
        if (text.compare(0, prefix->size(), *prefix) == 0) {
            out.kind = kind;
            out.reason = text.substr(prefix->size());
            return out;
        }
    if (text.compare(0, sending.size(), sending) == 0) {
        unsigned long long sent = 0, total = 0;
        int used = 0;
        const std::string rest = text.substr(sending.size());
        // Digits only: sscanf alone would take signs and blanks too.
        if (!rest.empty() && rest[0] >= '0' && rest[0] <= '9' &&
            std::sscanf(rest.c_str(), "%llu/%llu%n", &sent, &total, &used) == 2 &&
            size_t(used) == rest.size() && rest.find_first_of("+- ") == std::string::npos) {
            out.kind = Kind::Sending;
            out.sent = sent;
            out.total = total;
        }
    }
    return out;
}

std::string SendProgress(uint64_t sent, uint64_t total) {
    return "{\"sent\":" + std::to_string(sent) + ",\"total\":" + std::to_string(total) + "}";
}

std::string ReceiveProgress(uint64_t bytes) {
    return "{\"received\":" + std::to_string(bytes) + "}";
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const size_t n = Utf8Length(text, i);
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out.append(text, i, n);
        }
        i += n;
    }
    return out + "\"";
}

std::string ShownText(const std::string& text, size_t maxBytes) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const size_t n = Utf8Length(text, i);
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t adds = n == 0 ? 3 : n;
        if (out.size() + adds > maxBytes)
            return out + "...";
        if (n == 0)
            out += "\xEF\xBF\xBD";
        else if (c < 0x20 || c == 0x7F)
            out += ' ';
        else
            out.append(text, i, n);
        i += n == 0 ? 1 : n;
    }
    return out;
}

bool IsUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const size_t n = Utf8Length(text, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}
