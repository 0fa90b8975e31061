#pragma once
// What the store's text reader, import and writer share: the header line and the folding
// of names for lookups.
#include <string>
#include <string_view>

namespace qv::platform::regedit_detail {

inline constexpr std::string_view kHeader = "REGEDIT4";

// Names fold ASCII letters only; other bytes (UTF-8) compare as they are.
inline char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string lowered(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = lower(c);
  return out;
}

}  // namespace qv::platform::regedit_detail
