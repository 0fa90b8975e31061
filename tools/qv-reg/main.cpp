// qv-reg: looks at and changes the registry store of a machine root from the command
// line (export, import, query, add, delete).
#include "cli/command_line.h"
#include "platform/posix/system_store.h"
#include "value_text.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

using qv::platform::RoutedRegistryStore;
using qv::platform::RegistryRoot;

constexpr int kOk = 0;
constexpr int kNotFound = 1;
constexpr int kFailed = 2;

constexpr const char* kUsage = R"(Usage: qv-reg COMMAND [ARGUMENTS]
Looks at and changes the registry store (registry.reg) of the machine root named by
QUORVANE_HOME. Without it, HKEY_LOCAL_MACHINE is the machine's store
(/var/lib/quorvane/registry.reg, changed by members of the group quorvane) and
HKEY_CURRENT_USER your own (${XDG_DATA_HOME:-~/.local/share}/quorvane/registry.reg).

Commands:
  export [KEY]               print the whole store, or KEY with its subkeys, as REGEDIT4 text
  import FILE                apply a REGEDIT4 file in one step ("-" reads standard input);
                             [KEY] creates a key, [-KEY] deletes a key with its subkeys,
                             "name"=value sets a value, "name"=- deletes it
  query KEY [NAME]           show the values and subkeys of KEY, or only the value NAME
  add KEY [NAME TYPE DATA]   create KEY and its missing parents; with NAME, also set that value
  delete KEY [NAME]          delete KEY with its subkeys, or only its value NAME
  --help                     show this text
  --version                  show the version

KEY is a full key name that starts with its root: HKEY_LOCAL_MACHINE\... or HKLM\...,
HKEY_CURRENT_USER\... or HKCU\... . Key and value names ignore letter case.

TYPE and how DATA is written:
  REG_SZ         the text itself, for example "3.1.05"
  REG_EXPAND_SZ  the text itself; it is stored with a terminating zero byte
  REG_DWORD      a number: decimal (31, -3) or hexadecimal with 0x (0x1f)
  REG_BINARY     hexadecimal bytes, either with commas (10,00) or without (1000); may be empty
  REG_NONE       as REG_BINARY

Exit status: 0 success; 1 the key or value does not exist; 2 a usage error, a file that
does not parse, or a store that cannot be read or written (the message says which).
)";

int usageError(const std::string& message) {
  std::cerr << "qv-reg: " << message << "\nTry 'qv-reg --help'.\n";
  return kFailed;
}

int storeError(const RoutedRegistryStore& store) {
  std::cerr << "qv-reg: " << store.lastError() << '\n';
  return kFailed;
}

struct KeyArg {
  RegistryRoot root;
  std::string path;  // below the root
  std::string full;  // canonical full name
};

std::optional<KeyArg> parseKey(const std::string& text) {
  auto full = qv::platform::normalizeKeyName(text);
  if (!full) return std::nullopt;
  std::size_t cut = full->find('\\');
  KeyArg key{*qv::platform::parseRootName(full->substr(0, cut)),
             cut == std::string::npos ? std::string() : full->substr(cut + 1), *full};
  return key;
}

int keyNotFound(const KeyArg& key) {
  std::cerr << "qv-reg: key not found: " << key.full << '\n';
  return kNotFound;
}

void printValue(const qv::platform::RegValueEntry& v) {
  std::cout << "    " << (v.name.empty() ? "(Default)" : v.name) << "    " << qv::tools::typeName(v.value.type)
            << "    " << qv::tools::dataText(v.value) << '\n';
}

int runExport(RoutedRegistryStore& store, const std::vector<std::string>& args) {
  if (args.size() > 1) return usageError("export takes at most one KEY");
  std::optional<std::string> text;
  if (args.empty()) {
    text = store.exportText();
  } else {
    auto key = parseKey(args[0]);
    if (!key) return usageError("unknown root in key '" + args[0] + "'");
    text = store.exportText(key->root, key->path);
    if (!text && store.lastError().empty()) return keyNotFound(*key);
  }
  if (!text) return storeError(store);
  std::cout << *text;
  return kOk;
}

int runImport(RoutedRegistryStore& store, const std::vector<std::string>& args) {
  if (args.size() != 1) return usageError("import takes one FILE");
  std::string text;
  if (args[0] == "-") {
    text.assign(std::istreambuf_iterator<char>(std::cin), {});
  } else {
    std::ifstream in(args[0], std::ios::binary);
    if (!in) {
      std::cerr << "qv-reg: cannot read " << args[0] << '\n';
      return kFailed;
    }
    text.assign(std::istreambuf_iterator<char>(in), {});
  }
  if (!store.importText(text, args[0] == "-" ? "<stdin>" : args[0])) return storeError(store);
  return kOk;
}

int runQuery(RoutedRegistryStore& store, const std::vector<std::string>& args) {
  if (args.empty() || args.size() > 2) return usageError("query takes KEY and an optional NAME");
  auto key = parseKey(args[0]);
  if (!key) return usageError("unknown root in key '" + args[0] + "'");
  auto tree = store.snapshot();
  if (!tree) return storeError(store);
  const auto* entry = qv::platform::findKey(*tree, key->full);
  if (!entry && !qv::platform::isRootKeyName(key->full)) return keyNotFound(*key);

  if (args.size() == 2) {
    const auto* value = entry ? qv::platform::findValue(*entry, args[1]) : nullptr;
    if (!value) {
      std::cerr << "qv-reg: value not found: " << key->full << " \"" << args[1] << "\"\n";
      return kNotFound;
    }
    std::cout << (entry ? entry->name : key->full) << '\n';
    printValue(*value);
    return kOk;
  }
  std::cout << (entry ? entry->name : key->full) << '\n';
  if (entry) {
    for (const auto& v : entry->values) printValue(v);
  }
  for (const std::string& child : qv::platform::childKeys(*tree, key->full)) std::cout << '\n' << child << '\n';
  return kOk;
}

int runAdd(RoutedRegistryStore& store, const std::vector<std::string>& args) {
  if (args.size() != 1 && args.size() != 4) return usageError("add takes KEY, or KEY NAME TYPE DATA");
  auto key = parseKey(args[0]);
  if (!key) return usageError("unknown root in key '" + args[0] + "'");
  std::optional<qv::platform::RegistryValue> value;
  if (args.size() == 4) {
    auto parsed = qv::tools::parseValueArgument(args[2], args[3]);
    if (!parsed.value) return usageError(parsed.problem);
    value = std::move(parsed.value);
  }
  // The key and its value in one write: a killed run leaves both or neither.
  const bool written = value ? store.createKeyWithValues(key->root, key->path, {{args[1], *value}})
                             : store.createKey(key->root, key->path);
  return written ? kOk : storeError(store);
}

int runDelete(RoutedRegistryStore& store, const std::vector<std::string>& args) {
  if (args.empty() || args.size() > 2) return usageError("delete takes KEY and an optional NAME");
  auto key = parseKey(args[0]);
  if (!key) return usageError("unknown root in key '" + args[0] + "'");
  if (args.size() == 1 && qv::platform::isRootKeyName(key->full)) return usageError("a root key cannot be deleted");
  if (!store.keyExists(key->root, key->path)) {
    return store.lastError().empty() ? keyNotFound(*key) : storeError(store);
  }
  if (args.size() == 1) return store.deleteKey(key->root, key->path) ? kOk : storeError(store);

  if (!store.readValue(key->root, key->path, args[1])) {
    if (!store.lastError().empty()) return storeError(store);
    std::cerr << "qv-reg: value not found: " << key->full << " \"" << args[1] << "\"\n";
    return kNotFound;
  }
  return store.deleteValue(key->root, key->path, args[1]) ? kOk : storeError(store);
}

}  // namespace

int main(int argc, char** argv) {
  if (auto status = qv::cli::answerHelpOrVersion({"qv-reg", kUsage}, argc, argv)) return *status;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return usageError("no command given");
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::cout << kUsage;
    return kOk;
  }
  const std::string command = args[0];
  args.erase(args.begin());
  // Refused before the store is opened, which would create the machine root.
  if (command != "export" && command != "import" && command != "query" && command != "add" && command != "delete") {
    return usageError("unknown command '" + command + "'");
  }
  try {
    const auto store = qv::platform::openSystemStore();
    if (command == "export") return runExport(*store, args);
    if (command == "import") return runImport(*store, args);
    if (command == "query") return runQuery(*store, args);
    if (command == "add") return runAdd(*store, args);
    if (command == "delete") return runDelete(*store, args);
  } catch (const std::exception& e) {  // the machine root cannot be found or created
    std::cerr << "qv-reg: " << e.what() << '\n';
    return kFailed;
  }
  return usageError("unknown command '" + command + "'");
}
