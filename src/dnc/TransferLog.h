#pragma once
#include <string>
#include <vector>

#include "dnc/TransferRecord.h"

struct LoggedTransfer {
    TransferRecord record;
    std::string json; // the line as the file holds it
};

struct TransferLogContents {
    std::vector<LoggedTransfer> transfers; // day by day, in the order written
    int malformed = 0;                     // lines that are no record, skipped
    std::vector<std::string> problems;     // files that could not be read, and why
};

// The transfer log: one file a day, <folder>/transfers-YYYY-MM-DD.jsonl (the
// UTC date of each transfer's end), one record a line.
//
// Threads: Append may be called from any thread and any process at once; each
// record goes out in one write(2) to a file opened for appending, so records
// never interleave.
class TransferLog {
public:
    explicit TransferLog(std::string folder);
    const std::string& Folder() const { return folder; }

    // Appends the record and syncs it to disk; false with the reason. The
    // folder is made when missing.
    bool Append(const TransferRecord& record, std::string& error) const;

    // Every record in the folder. A missing folder is an empty log; a line
    // that is not a record (a power cut can leave half a line) is counted and
    // skipped.
    TransferLogContents Read() const;

    // "transfers-2026-12-01.jsonl".
    static std::string FileName(LogTimePoint end);
    // dnc/log in the settings folder.
    static std::string DefaultFolder();

private:
    std::string folder;
};
