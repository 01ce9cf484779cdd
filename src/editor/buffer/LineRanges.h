#pragma once
#include <utility>
#include <vector>

// Parts of a document as [first, end) line ranges, in order: what a
// transmission sends when it is not the whole document.
using LineRanges = std::vector<std::pair<int, int>>;
