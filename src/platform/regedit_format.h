#pragma once
// The registry as plain data, and its REGEDIT4 text form: the store file and the
// import/export files of qv-reg share this format.
//
// Key names here are full names with the root spelled out
// ("HKEY_LOCAL_MACHINE\SOFTWARE\Quorvane"). Key and value names compare without regard
// to ASCII letter case and keep the case in which they were first written.
#include "platform/registry_store.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace qv::platform {

// One value of a key. The empty name is the key's default value, written "@".
struct RegValueEntry {
  std::string name;
  RegistryValue value;
};

struct RegKeyEntry {
  std::string name;  // full name with the root
  std::vector<RegValueEntry> values;  // in order of creation
};

// The whole registry: keys in the order of the file (new keys go to the end). A key
// exists exactly when it has an entry here; the two roots themselves always exist.
struct RegistryTree {
  std::vector<RegKeyEntry> keys;
};

// "HKEY_LOCAL_MACHINE" / "HKEY_CURRENT_USER".
std::string_view rootName(RegistryRoot root);
// The root named by the start of a key name ("HKEY_LOCAL_MACHINE", "HKLM", either case).
std::optional<RegistryRoot> parseRootName(std::string_view name);

// The canonical full name of a key: the root spelled out, empty path components dropped.
std::string fullKeyName(RegistryRoot root, std::string_view path);
// The same for a full name as written in a file or on a command line ("HKLM\Software").
// nullopt when the root is not one of the two.
std::optional<std::string> normalizeKeyName(std::string_view fullName);

bool namesEqual(std::string_view a, std::string_view b);
// True when key is `ancestor` itself or lies below it.
bool isSameOrBelow(std::string_view key, std::string_view ancestor);
bool isRootKeyName(std::string_view fullName);

const RegKeyEntry* findKey(const RegistryTree& tree, std::string_view fullName);
RegKeyEntry* findKey(RegistryTree& tree, std::string_view fullName);
const RegValueEntry* findValue(const RegKeyEntry& key, std::string_view name);
// The entry that holds the key's values: the key's own, or for a root key a new entry
// when it has none yet; nullptr when the key does not exist.
RegKeyEntry* writableKey(RegistryTree& tree, std::string_view fullName);
// Full names of the keys directly below fullName, in tree order.
std::vector<std::string> childKeys(const RegistryTree& tree, std::string_view fullName);

// Tree changes; each returns true when it changed the tree.
// Creates the key and its missing parents (the roots themselves are never entries).
bool createKey(RegistryTree& tree, std::string_view fullName);
// Removes the key and every key below it.
bool deleteKeyTree(RegistryTree& tree, std::string_view fullName);
// Replaces the value keeping its place and first-written name, or appends it.
bool setValue(RegKeyEntry& key, std::string_view name, const RegistryValue& value);
bool removeValue(RegKeyEntry& key, std::string_view name);

// Why a name cannot be stored in the text form (a line break in it); nullopt when it can.
std::optional<std::string> unstorableName(std::string_view name);

// The registry's own limits on key names: each part below the root at most this many
// characters (UTF-8 code points), and at most this many parts below the root.
constexpr std::size_t kMaxKeyPartChars = 255;
constexpr std::size_t kMaxKeyLevels = 512;
// Why a key name (full, with its root) exceeds those limits; nullopt when it does not.
std::optional<std::string> keyNameBeyondLimits(std::string_view fullName);
// Why a full key name cannot be stored: a line break in it, or beyond the limits.
std::optional<std::string> unstorableKeyName(std::string_view fullName);

// ---- REGEDIT4 text ----

struct RegeditError {
  int line = 0;  // 1-based line where the problem starts
  std::string reason;
};

// One value line of a file; an absent value is a deletion ("name"=-).
struct RegeditValueLine {
  int line = 0;
  std::string name;
  std::optional<RegistryValue> value;
};

// One [KEY] or [-KEY] section with the value lines under it.
struct RegeditSection {
  int line = 0;
  std::string key;  // normalized full name
  bool deleteKey = false;
  std::vector<RegeditValueLine> values;
};

enum class RegeditDialect {
  StoreFile,  // the store file: no deletions
  Import,     // import files: [-KEY] and "name"=- allowed
};

std::variant<std::vector<RegeditSection>, RegeditError> parseRegedit(std::string_view text,
                                                                     RegeditDialect dialect);

// Parses a store file into a tree. Sections name their keys literally (no implicit
// parents); a key written twice gathers the values of both sections, and a value
// written twice keeps its first place with the last data.
std::variant<RegistryTree, RegeditError> parseStoreFile(std::string_view text);

// Applies parsed sections as an import does: [KEY] creates the key and its parents,
// [-KEY] deletes the key and everything below it, "name"=- deletes the value. Takes time
// linear in the size of the tree and the sections.
void applyImport(RegistryTree& tree, const std::vector<RegeditSection>& sections);

// REGEDIT4 text of the whole tree, or of the keys at or below one key. Whatever it writes
// parses back to the same keys and values: only hex data is continued over lines (between
// two bytes), never a dword or a text. Root keys without values are left out: the roots
// always exist.
std::string writeRegedit(const RegistryTree& tree);
std::string writeRegedit(const RegistryTree& tree, std::string_view subtreeKey);

// The right-hand side of one value line ("\"text\"", "dword:0000001f", "hex:01,02").
std::string formatValueData(const RegistryValue& value);

}  // namespace qv::platform
