// Whatever store file loads, the writer's text of it loads back to the same tree, and
// writing that tree again gives the same text.
#include <variant>

#include "fuzz_check.h"
#include "platform/regedit_format.h"
#include "regedit_trees.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qv::platform;
  auto parsed = parseStoreFile(std::string_view(reinterpret_cast<const char*>(data), size));
  if (std::holds_alternative<RegeditError>(parsed)) return 0;
  const auto& tree = std::get<RegistryTree>(parsed);
  const std::string text = writeRegedit(tree);
  auto again = parseStoreFile(text);
  FUZZ_CHECK(std::holds_alternative<RegistryTree>(again));
  FUZZ_CHECK(sameTree(std::get<RegistryTree>(again), tree));
  FUZZ_CHECK(writeRegedit(std::get<RegistryTree>(again)) == text);
  return 0;
}
