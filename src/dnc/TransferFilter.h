#pragma once
#include <optional>
#include <string>

#include "dnc/TransferRecord.h"

// Which transfers to show; a field left empty lets every transfer through.
// Times are compared with the transfer's end, as the daily files are.
struct TransferFilter {
    std::string machine;
    std::optional<TransferDirection> direction;
    // As a request: "1234" also finds O1234 and O01234 (see RequestedNames).
    std::string program;
    std::string result;
    std::optional<LogTimePoint> since; // end >= since
    std::optional<LogTimePoint> until; // end < until

    bool Matches(const TransferRecord& record) const;
};
