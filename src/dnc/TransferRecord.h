#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "dnc/LogTime.h"

enum class TransferDirection { Receive, Send };

// "receive", "send".
const char* DirectionName(TransferDirection direction);
std::optional<TransferDirection> DirectionFromName(std::string_view name);

// How a transfer ended. The log takes any word; these are the ones the
// program writes.
namespace transfer_result {
inline constexpr const char* kOk = "ok";
inline constexpr const char* kStopped = "stopped"; // by the operator
inline constexpr const char* kFailed = "failed";
inline constexpr const char* kCut = "cut"; // the line went away part way
} // namespace transfer_result

// One transfer, as the log keeps it.
struct TransferRecord {
    std::string machine;
    TransferDirection direction = TransferDirection::Receive;
    std::string program;
    std::string path;
    uint64_t bytes = 0; // on the wire
    uint64_t lines = 0;
    std::string sha256; // hex, of the bytes on the wire
    LogTimePoint start;
    LogTimePoint end;
    std::string result;
    std::string reason;
    uint64_t holds = 0; // DC3s that held the sender
    uint64_t overruns = 0;
    uint64_t errors = 0; // characters that arrived damaged

    bool operator==(const TransferRecord&) const = default;
};

// The record as one JSON object on one line (no line end). Times are stored
// to the millisecond. Text that is not UTF-8 is taken as GBK, the program's
// code page, and converted; so every line is valid JSON and a GBK path stays
// readable.
std::string TransferJson(const TransferRecord& record);

// False when the line is not a record: not a JSON object, a field of the
// wrong type, or machine, direction, start, end or result missing. Fields
// added by later versions are ignored.
bool ParseTransferJson(std::string_view line, TransferRecord& out);
