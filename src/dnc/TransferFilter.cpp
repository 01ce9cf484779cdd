#include "dnc/TransferFilter.h"

#include <algorithm>

#include "dnc/ProgramName.h"

bool TransferFilter::Matches(const TransferRecord& r) const {
    if (!machine.empty() && r.machine != machine)
        return false;
    if (direction && r.direction != *direction)
        return false;
    if (!result.empty() && r.result != result)
        return false;
    if (since && r.end < *since)
        return false;
    if (until && r.end >= *until)
        return false;
    if (!program.empty() && r.program != program) {
        const std::vector<std::string> names = RequestedNames(program);
        if (std::find(names.begin(), names.end(), r.program) == names.end())
            return false;
    }
    return true;
}
