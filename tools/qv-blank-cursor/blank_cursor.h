#pragma once
// The blank cursor: a 32x32 cursor file (.cur) in which every pixel is transparent, so
// the arrow disappears while "Hide Cursor" is on.
#include <cstdint>
#include <vector>

namespace qv::tools {

// The whole file: a cursor directory with one entry (hotspot 0,0) and a 1-bit image
// whose colour mask is all 0 and whose transparency (AND) mask is all 1.
std::vector<std::uint8_t> blankCursorFile();

}  // namespace qv::tools
