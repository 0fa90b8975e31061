#pragma once
// The hierarchical typed key-value store behind the settings layer (two roots, keys
// with backslash-separated paths, typed values). Key and value names compare without
// regard to letter case.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv::platform {

enum class RegistryRoot { LocalMachine, CurrentUser };

// Value types, numbered as in registry export files.
namespace regtype {
constexpr std::uint32_t None = 0;
constexpr std::uint32_t Sz = 1;
constexpr std::uint32_t ExpandSz = 2;
constexpr std::uint32_t Binary = 3;
constexpr std::uint32_t Dword = 4;
}  // namespace regtype

struct RegistryValue {
  std::uint32_t type = regtype::None;
  std::vector<std::uint8_t> data;  // REG_SZ: the bytes without a terminating zero

  static RegistryValue text(std::string_view s);
  static RegistryValue dword(std::uint32_t v);
  static RegistryValue binary(std::vector<std::uint8_t> bytes);
  bool operator==(const RegistryValue&) const = default;
};

struct RegValueEntry;  // a name and its value (regedit_format.h)

// Failures of the store itself (a file that does not parse, an I/O error) make the
// operation return false / nullopt and leave a description in lastError(), which names
// the file and, for a parse error, the line.
//
// A store shared between programs may be held by another one for too long; the
// description of that failure then contains this text.
constexpr std::string_view kStoreLockedText = "the store is locked by another program";

class RegistryStore {
public:
  virtual ~RegistryStore() = default;

  virtual bool keyExists(RegistryRoot root, std::string_view path) = 0;
  // Creates the key and its missing parents; true when the key exists afterwards.
  virtual bool createKey(RegistryRoot root, std::string_view path) = 0;
  // Deletes the key with everything below it; true also when it did not exist.
  virtual bool deleteKey(RegistryRoot root, std::string_view path) = 0;

  // nullopt when the key or value is absent, or the store failed (see lastError()).
  virtual std::optional<RegistryValue> readValue(RegistryRoot root, std::string_view path,
                                                 std::string_view name) = 0;
  // Value names of the key in creation order (empty when absent).
  virtual std::vector<std::string> valueNames(RegistryRoot root, std::string_view path) = 0;
  // Replaces or appends the value; false when the key does not exist or the store failed.
  virtual bool writeValue(RegistryRoot root, std::string_view path, std::string_view name,
                          const RegistryValue& value) = 0;
  // Replaces or appends several values of one key, in order, as one write: afterwards the
  // key holds all of them, or (false) none of them changed.
  virtual bool writeValues(RegistryRoot root, std::string_view path, const std::vector<RegValueEntry>& values) = 0;
  // True when the value is gone afterwards (also when it was never there).
  virtual bool deleteValue(RegistryRoot root, std::string_view path, std::string_view name) = 0;

  // Why the last failing operation failed; empty when nothing failed. Every operation
  // clears it when it starts, so a nullopt from readValue with an empty lastError() means
  // "absent", and a non-empty one means the store itself failed. After a write that
  // succeeded it may still say what went wrong without undoing the write (the new
  // contents are in place but could not be flushed to disk).
  virtual std::string lastError() const = 0;
  // True when the last failing operation failed because this user may not change the
  // store (its folder, file or lock refused the change); cleared as lastError() is.
  virtual bool accessDenied() const { return false; }

  // Where the values are kept, to tell the user where they were looked for; empty for a
  // store without a place of its own.
  virtual std::string location() const { return {}; }
};

}  // namespace qv::platform
