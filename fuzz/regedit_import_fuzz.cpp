// Arbitrary bytes as an import file, applied to a small store: the import must change the
// tree exactly as the one-step tree changes would, one section and value line at a time.
#include <variant>

#include "fuzz_check.h"
#include "platform/regedit_format.h"
#include "regedit_trees.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qv::platform;
  static const RegistryTree base = std::get<RegistryTree>(parseStoreFile(
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n"
      "\"Restart\"=dword:00000000\n\"Path\"=\"/usr\"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane\\Ports]\n"
      "@=hex:01\n[HKEY_CURRENT_USER\\Control Panel]\n\"Arrow\"=\"\"\n"));
  auto parsed = parseRegedit(std::string_view(reinterpret_cast<const char*>(data), size), RegeditDialect::Import);
  if (std::holds_alternative<RegeditError>(parsed)) return 0;
  const auto& sections = std::get<0>(parsed);

  RegistryTree imported = base;
  applyImport(imported, sections);
  RegistryTree expected = base;
  for (const RegeditSection& section : sections) {
    if (section.deleteKey) {
      deleteKeyTree(expected, section.key);
      continue;
    }
    createKey(expected, section.key);
    RegKeyEntry* key = writableKey(expected, section.key);
    FUZZ_CHECK(key != nullptr);
    for (const RegeditValueLine& v : section.values) {
      if (v.value) {
        setValue(*key, v.name, *v.value);
      } else {
        removeValue(*key, v.name);
      }
    }
  }
  FUZZ_CHECK(sameTree(imported, expected));
  return 0;
}
