#include "dnc/TransferRecord.h"

#include <nlohmann/json.hpp>

#include "common/Gbk.h"
#include "editor/text/TextEncoding.h"

namespace {

// Keeps the fields in the order a person reads them.
using Json = nlohmann::ordered_json;

bool IsUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const size_t len = CharLength(text, i, TextEncoding::Utf8);
        if (len == 1 && static_cast<unsigned char>(text[i]) >= 0x80)
            return false;
        i += len;
    }
    return true;
}

std::string AsUtf8(const std::string& text) {
    return IsUtf8(text) ? text : GbkToUtf8(text);
}

bool TakeText(const Json& object, const char* key, std::string& out, bool required) {
    const auto it = object.find(key);
    if (it == object.end())
        return !required;
    if (!it->is_string())
        return false;
    out = it->get_ref<const std::string&>();
    return true;
}

bool TakeCount(const Json& object, const char* key, uint64_t& out) {
    const auto it = object.find(key);
    if (it == object.end())
        return true;
    if (!it->is_number_unsigned())
        return false;
    out = it->get<uint64_t>();
    return true;
}

bool TakeTime(const Json& object, const char* key, LogTimePoint& out) {
    std::string text;
    if (!TakeText(object, key, text, true))
        return false;
    const auto when = ParseIsoUtc(text);
    if (!when)
        return false;
    out = *when;
    return true;
}

} // namespace

const char* DirectionName(TransferDirection direction) {
    return direction == TransferDirection::Send ? "send" : "receive";
}

std::optional<TransferDirection> DirectionFromName(std::string_view name) {
    if (name == "receive")
        return TransferDirection::Receive;
    if (name == "send")
        return TransferDirection::Send;
    return std::nullopt;
}

std::string TransferJson(const TransferRecord& r) {
    Json j;
    j["machine"] = AsUtf8(r.machine);
    j["direction"] = DirectionName(r.direction);
    j["program"] = AsUtf8(r.program);
    j["path"] = AsUtf8(r.path);
    j["bytes"] = r.bytes;
    j["lines"] = r.lines;
    j["sha256"] = AsUtf8(r.sha256);
    j["start"] = IsoUtc(r.start);
    j["end"] = IsoUtc(r.end);
    j["result"] = AsUtf8(r.result);
    j["reason"] = AsUtf8(r.reason);
    j["holds"] = r.holds;
    j["overruns"] = r.overruns;
    j["errors"] = r.errors;
    // Nothing invalid is left to replace; the handler only keeps dump from throwing.
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

bool ParseTransferJson(std::string_view line, TransferRecord& out) {
    try {
        const Json j = Json::parse(line, nullptr, /*allow_exceptions=*/false);
        if (!j.is_object())
            return false;
        TransferRecord r;
        std::string direction;
        if (!TakeText(j, "machine", r.machine, true) ||
            !TakeText(j, "direction", direction, true) ||
            !TakeText(j, "program", r.program, false) || !TakeText(j, "path", r.path, false) ||
            !TakeCount(j, "bytes", r.bytes) || !TakeCount(j, "lines", r.lines) ||
            !TakeText(j, "sha256", r.sha256, false) || !TakeTime(j, "start", r.start) ||
            !TakeTime(j, "end", r.end) || !TakeText(j, "result", r.result, true) ||
            !TakeText(j, "reason", r.reason, false) || !TakeCount(j, "holds", r.holds) ||
            !TakeCount(j, "overruns", r.overruns) || !TakeCount(j, "errors", r.errors))
            return false;
        const auto dir = DirectionFromName(direction);
        if (!dir)
            return false;
        r.direction = *dir;
        out = std::move(r);
        return true;
    } catch (const Json::exception&) {
        return false; // a line that is not a record, whatever the library thought of it
    }
}
