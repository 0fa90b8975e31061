// Arbitrary bytes as qv-reg's value texts: byte 0 picks the TYPE that `add` is given and
// the rest is its DATA; the same bytes as a stored value of any type, as `query` shows it.
// What `add` takes, `query` shows as a DATA that `add` takes back to the same value.
#include "fuzz_check.h"
#include "value_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qv::tools;
  if (size == 0) return 0;
  dataText({data[0], {data + 1, data + size}});
  const std::string_view argument(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (argument.find('\0') != std::string_view::npos) return 0;  // no command line holds one
  static constexpr const char* kTypes[] = {"REG_SZ", "reg_expand_sz", "REG_DWORD", "REG_BINARY", "REG_NONE", "REG_MULTI_SZ"};
  const ParsedValue added = parseValueArgument(kTypes[data[0] % 6], argument);
  FUZZ_CHECK(added.value.has_value() == added.problem.empty());
  if (!added.value) return 0;
  FUZZ_CHECK(parseValueArgument(typeName(added.value->type), dataText(*added.value)).value == added.value);
  return 0;
}
