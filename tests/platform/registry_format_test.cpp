#include "platform/regedit_format.h"
#include "support/memory_registry_store.h"

#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <array>
#include <random>
#include <sstream>

namespace qv::platform {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

RegistryTree parseOk(std::string_view text) {
  auto parsed = parseStoreFile(text);
  if (auto* e = std::get_if<RegeditError>(&parsed)) {
    ADD_FAILURE() << "line " << e->line << ": " << e->reason;
    return {};
  }
  return std::get<RegistryTree>(parsed);
}

RegeditError parseError(std::string_view text, RegeditDialect dialect = RegeditDialect::StoreFile) {
  auto parsed = parseRegedit(text, dialect);
  if (auto* e = std::get_if<RegeditError>(&parsed)) return *e;
  ADD_FAILURE() << "parsed although it should not:\n" << text;
  return {};
}

const RegistryValue* valueOf(const RegistryTree& tree, std::string_view key, std::string_view name) {
  const RegKeyEntry* k = findKey(tree, key);
  const RegValueEntry* v = k ? findValue(*k, name) : nullptr;
  return v ? &v->value : nullptr;
}

TEST(RegeditFormat, ReadsEveryValueFormOfAStoreFile) {
  RegistryTree tree = parseOk(
      "REGEDIT4\r\n"
      "\r\n"
      "; written by hand\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\r\n"
      "\"Vxd Version\"=\"3.1.05\"\r\n"
      "\"Restart\"=dword:0000001F\r\n"
      "\"Firmware\"=hex:10,00\r\n"
      "\"Path\"=hex(2):2f,75,\\\r\n"
      "   73,72,00\r\n"
      "\"Quote\"=\"say \\\"hi\\\" C:\\\\dir\"\r\n"
      "\"Empty\"=hex:\r\n"
      "@=\"default\"\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Control Panel\\Cursors]\r\n"
      "\"Arrow\"=\"\"\r\n");
  const char* q = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane";
  EXPECT_EQ(*valueOf(tree, q, "vxd version"), RegistryValue::text("3.1.05"));
  EXPECT_EQ(*valueOf(tree, "hkey_local_machine\\software\\QUORVANE", "RESTART"), RegistryValue::dword(31));
  EXPECT_EQ(*valueOf(tree, q, "Firmware"), RegistryValue::binary({0x10, 0x00}));
  EXPECT_EQ(*valueOf(tree, q, "Path"), (RegistryValue{regtype::ExpandSz, {0x2f, 0x75, 0x73, 0x72, 0x00}}));
  EXPECT_EQ(*valueOf(tree, q, "Quote"), RegistryValue::text("say \"hi\" C:\\dir"));
  EXPECT_EQ(*valueOf(tree, q, "Empty"), RegistryValue::binary({}));
  EXPECT_EQ(*valueOf(tree, q, ""), RegistryValue::text("default"));
  EXPECT_EQ(*valueOf(tree, "HKEY_CURRENT_USER\\Control Panel\\Cursors", "Arrow"), RegistryValue::text(""));
  // Keys exist exactly as written: no implicit parent.
  EXPECT_EQ(findKey(tree, "HKEY_LOCAL_MACHINE\\SOFTWARE"), nullptr);
}

TEST(RegeditFormat, WritesAndReadsBackEveryFormUnchanged) {
  RegistryTree tree;
  const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane";
  createKey(tree, key);
  RegKeyEntry& k = *findKey(tree, key);
  std::vector<std::uint8_t> longBytes;
  for (int i = 0; i < 200; ++i) longBytes.push_back(static_cast<std::uint8_t>(i * 7));
  setValue(k, "Text", RegistryValue::text("a \\ b \" c ; [x] = é"));
  setValue(k, "Lines", RegistryValue::text("one\ntwo\r\n"));
  setValue(k, "WithZero", RegistryValue::text(std::string_view("a\0b", 3)));
  setValue(k, "Number", RegistryValue::dword(0xFFFFFFFE));
  setValue(k, "Long", RegistryValue::binary(longBytes));
  setValue(k, "Expand", RegistryValue{regtype::ExpandSz, {'%', 'x', '%', 0}});
  setValue(k, "Odd", RegistryValue{0x10, {1, 2, 3}});
  setValue(k, "ShortDword", RegistryValue{regtype::Dword, {1, 2}});
  setValue(k, "", RegistryValue::text("default"));
  setValue(k, "Name \"quoted\" \\", RegistryValue::text("v"));
  createKey(tree, "HKEY_CURRENT_USER\\Control Panel\\Cursors");

  std::string text = writeRegedit(tree);
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
  EXPECT_THAT(text, HasSubstr("\"Number\"=dword:fffffffe\n"));
  EXPECT_THAT(text, HasSubstr("\"Long\"=hex:00,07,0e,"));

  RegistryTree back = parseOk(text);
  ASSERT_EQ(back.keys.size(), tree.keys.size());
  for (std::size_t i = 0; i < tree.keys.size(); ++i) {
    EXPECT_EQ(back.keys[i].name, tree.keys[i].name);
    ASSERT_EQ(back.keys[i].values.size(), tree.keys[i].values.size());
    for (std::size_t j = 0; j < tree.keys[i].values.size(); ++j) {
      EXPECT_EQ(back.keys[i].values[j].name, tree.keys[i].values[j].name);
      EXPECT_EQ(back.keys[i].values[j].value, tree.keys[i].values[j].value) << tree.keys[i].values[j].name;
    }
  }
  EXPECT_EQ(writeRegedit(back), text);
}

TEST(RegeditFormat, NamesKeepFirstCaseAndValuesKeepOrder) {
  RegistryTree tree;
  createKey(tree, "HKEY_LOCAL_MACHINE\\Software\\Quorvane\\Sub");
  EXPECT_FALSE(createKey(tree, "HKEY_LOCAL_MACHINE\\SOFTWARE\\QUORVANE"));
  ASSERT_EQ(tree.keys.size(), 3u);  // parents first
  EXPECT_EQ(tree.keys[0].name, "HKEY_LOCAL_MACHINE\\Software");
  RegKeyEntry& k = *findKey(tree, "hkey_local_machine\\software\\quorvane");
  setValue(k, "Beta", RegistryValue::dword(1));
  setValue(k, "Alpha", RegistryValue::dword(2));
  setValue(k, "BETA", RegistryValue::dword(3));
  ASSERT_EQ(k.values.size(), 2u);
  EXPECT_EQ(k.values[0].name, "Beta");
  EXPECT_EQ(k.values[0].value, RegistryValue::dword(3));
  EXPECT_FALSE(setValue(k, "beta", RegistryValue::dword(3)));  // unchanged
  EXPECT_EQ(childKeys(tree, "HKEY_LOCAL_MACHINE\\SOFTWARE"), std::vector<std::string>{"HKEY_LOCAL_MACHINE\\Software\\Quorvane"});

  EXPECT_TRUE(deleteKeyTree(tree, "HKEY_LOCAL_MACHINE\\software\\quorvane"));
  ASSERT_EQ(tree.keys.size(), 1u);
  // A sibling whose name merely starts the same stays.
  createKey(tree, "HKEY_LOCAL_MACHINE\\Software2");
  deleteKeyTree(tree, "HKEY_LOCAL_MACHINE\\Software");
  ASSERT_EQ(tree.keys.size(), 1u);
  EXPECT_EQ(tree.keys[0].name, "HKEY_LOCAL_MACHINE\\Software2");
}

TEST(RegeditFormat, ParseErrorsNameTheLine) {
  struct Case {
    const char* text;
    int line;
    const char* reason;
  };
  const Case cases[] = {
      {"", 1, "header"},
      {"REGEDIT5\n", 1, "header"},
      {"REGEDIT4\n\"a\"=\"b\"\n", 2, "before the first"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=\"b\\n\"\n", 3, "escape"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=\"b\n", 3, "quote"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=\"b\" x\n", 3, "after the closing quote"},
      {"REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n", 3, "root"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\\\A]\n", 2, "empty key"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\n", 2, "]"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=dword:123456789\n", 3, "dword"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=dword:xyz\n", 3, "dword"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=hex:1,2g\n", 3, "hex"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=hex:100\n", 3, "hex"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=hex(x):00\n", 3, "hex(type)"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=hex:01,\\\n", 3, "end of the file"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=42\n", 3, "unknown value form"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"\n", 3, "="},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\ngarbage\n", 3, "expected"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=-\n", 3, "deletion"},
      {"REGEDIT4\n[-HKEY_LOCAL_MACHINE\\A]\n", 2, "deletion"},
  };
  for (const Case& c : cases) {
    RegeditError e = parseError(c.text);
    EXPECT_EQ(e.line, c.line) << c.text;
    EXPECT_THAT(e.reason, HasSubstr(c.reason)) << c.text;
  }
  // A continued value is reported at the line where it starts.
  EXPECT_EQ(parseError("REGEDIT4\n[HKLM\\A]\n\"a\"=hex:01,\\\n  02,zz\n").line, 3);
  EXPECT_EQ(parseError("REGEDIT4\n[HKLM\\A]\n\"a\"=-\n[-HKLM]\n", RegeditDialect::Import).line, 4);
  EXPECT_EQ(parseError("REGEDIT4\n[-HKLM\\A]\n\"a\"=\"b\"\n", RegeditDialect::Import).line, 3);
}

TEST(RegeditFormat, ImportCreatesParentsAndDeletes) {
  RegistryTree tree = parseOk(
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Old\\Sub]\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Keep\"=\"1\"\n\"Drop\"=\"2\"\n");
  auto parsed = parseRegedit(
      "REGEDIT4\n"
      "[-HKLM\\software\\old]\n"
      "[hklm\\SOFTWARE\\quorvane]\n\"drop\"=-\n\"missing\"=-\n\"KEEP\"=\"3\"\n\"New\"=dword:00000001\n"
      "[HKCU\\Control Panel\\Mouse]\n\"DoubleClickSpeed\"=\"500\"\n",
      RegeditDialect::Import);
  ASSERT_EQ(parsed.index(), 0u) << std::get<RegeditError>(parsed).reason;
  applyImport(tree, std::get<0>(parsed));
  std::vector<std::string> keys;
  for (const auto& k : tree.keys) keys.push_back(k.name);
  EXPECT_THAT(keys, ElementsAre("HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane", "HKEY_CURRENT_USER\\Control Panel",
                                "HKEY_CURRENT_USER\\Control Panel\\Mouse"));
  const RegKeyEntry& q = tree.keys[0];
  ASSERT_EQ(q.values.size(), 2u);
  EXPECT_EQ(q.values[0].name, "Keep");
  EXPECT_EQ(q.values[0].value, RegistryValue::text("3"));
  EXPECT_EQ(q.values[1].name, "New");
}

TEST(MemoryRegistryStore, RefusesChosenWritesAndLogsTheOrderOfWrites) {
  test::MemoryRegistryStore store("REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Cfg_COM\"=\"COM1\"\n");
  const char* key = "Software\\Quorvane";
  store.refuseWritesOf("cfg_irq");
  EXPECT_TRUE(store.writeValue(RegistryRoot::LocalMachine, key, "Cfg_COM", RegistryValue::text("COM2")));
  EXPECT_FALSE(store.writeValue(RegistryRoot::LocalMachine, key, "Cfg_IRQ", RegistryValue::text("4")));
  EXPECT_THAT(store.lastError(), HasSubstr("Cfg_IRQ"));
  EXPECT_FALSE(store.writeValue(RegistryRoot::CurrentUser, "Missing", "A", RegistryValue::text("x")));
  EXPECT_TRUE(store.createKey(RegistryRoot::CurrentUser, "Control Panel\\Cursors"));
  EXPECT_TRUE(store.writeValue(RegistryRoot::CurrentUser, "Control Panel\\Cursors", "Arrow", RegistryValue::text("")));
  EXPECT_TRUE(store.lastError().empty());
  EXPECT_TRUE(store.deleteValue(RegistryRoot::LocalMachine, key, "CFG_COM"));
  EXPECT_THAT(store.writeLog(), ElementsAre("HKLM\\Software\\Quorvane\\Cfg_COM", "HKCU\\Control Panel\\Cursors\\Arrow"));
  EXPECT_THAT(store.deleteLog(), ElementsAre("HKLM\\Software\\Quorvane\\CFG_COM"));

  store.failEverything("registry.reg:3: broken");
  EXPECT_FALSE(store.keyExists(RegistryRoot::LocalMachine, key));
  EXPECT_EQ(store.lastError(), "registry.reg:3: broken");
}

}  // namespace
}  // namespace qv::platform

namespace qv::platform {
namespace {

// Names and data of every kind a writer may be handed: long, odd bytes, the characters
// the text form uses itself.
class TreeGenerator {
public:
  explicit TreeGenerator(unsigned seed) : random_(seed) {}

  RegistryTree tree() {
    RegistryTree tree;
    const int keyCount = pick(1, 6);
    for (int k = 0; k < keyCount; ++k) {
      std::string key(rootName(pick(0, 1) ? RegistryRoot::LocalMachine : RegistryRoot::CurrentUser));
      for (int level = pick(0, 3); level > 0; --level) key += '\\' + name(1, 255);
      createKey(tree, key);
      RegKeyEntry* entry = writableKey(tree, key);
      for (int v = pick(0, 5); v > 0; --v) setValue(*entry, pick(0, 5) == 0 ? std::string() : name(1, 300), value());
    }
    return tree;
  }

private:
  int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  // Any byte but a line break (names cannot hold one) and, in key names, the separator.
  std::string name(int shortest, int longest) {
    static const std::string kSpecial = "\"\\@;[]=- \t\xC3\xA9";
    std::string out;
    const int length = pick(0, 3) == 0 ? longest : pick(shortest, 12);
    while (static_cast<int>(out.size()) < length) {
      char c = pick(0, 1) ? kSpecial[static_cast<std::size_t>(pick(0, static_cast<int>(kSpecial.size()) - 1))]
                          : static_cast<char>(pick(1, 255));
      if (c != '\r' && c != '\n' && c != '\\') out += c;
    }
    return out;
  }

  std::vector<std::uint8_t> bytes() {
    const int size = std::array{0, 1, 2, 4, 25, 26, 27, 5000}[static_cast<std::size_t>(pick(0, 7))];
    std::vector<std::uint8_t> out;
    for (int i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(pick(0, 255)));
    return out;
  }

  RegistryValue value() {
    switch (pick(0, 5)) {
      case 0: return RegistryValue::dword(static_cast<std::uint32_t>(random_()));
      case 1: {
        std::vector<std::uint8_t> b = bytes();
        return RegistryValue::text(std::string(b.begin(), b.end()));  // with zero bytes and line breaks at times
      }
      case 2: return RegistryValue::text(name(0, 400));
      case 3: return RegistryValue::binary(bytes());
      default: {
        const std::uint32_t types[] = {regtype::None, regtype::ExpandSz, regtype::Dword, 7, 0x10, 0xFFFFFFFF};
        return RegistryValue{types[pick(0, 5)], bytes()};
      }
    }
  }

  std::mt19937 random_;
};

TEST(RegeditFormat, WhatIsWrittenReadsBackAndExportImportExportIsAFixedPoint) {
  for (unsigned seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const RegistryTree tree = TreeGenerator(seed).tree();
    const std::string text = writeRegedit(tree);

    auto parsed = parseStoreFile(text);
    ASSERT_EQ(parsed.index(), 0u) << std::get<RegeditError>(parsed).line << ": " << std::get<RegeditError>(parsed).reason;
    RegistryTree back = std::get<RegistryTree>(parsed);
    for (const RegKeyEntry& key : tree.keys) {
      if (isRootKeyName(key.name) && key.values.empty()) continue;  // the roots always exist
      const RegKeyEntry* read = findKey(back, key.name);
      ASSERT_NE(read, nullptr) << key.name;
      EXPECT_EQ(read->name, key.name);
      ASSERT_EQ(read->values.size(), key.values.size());
      for (std::size_t i = 0; i < key.values.size(); ++i) {
        EXPECT_EQ(read->values[i].name, key.values[i].name);
        EXPECT_EQ(read->values[i].value, key.values[i].value);
      }
    }

    auto sections = parseRegedit(text, RegeditDialect::Import);
    ASSERT_EQ(sections.index(), 0u);
    RegistryTree imported;
    applyImport(imported, std::get<0>(sections));
    EXPECT_EQ(writeRegedit(imported), text);
  }
}

// An import done one step at a time with the tree functions: what applyImport must match.
void importStepByStep(RegistryTree& tree, const std::vector<RegeditSection>& sections) {
  for (const RegeditSection& section : sections) {
    if (section.deleteKey) {
      deleteKeyTree(tree, section.key);
      continue;
    }
    createKey(tree, section.key);
    RegKeyEntry* key = writableKey(tree, section.key);
    for (const RegeditValueLine& v : section.values) {
      if (v.value) {
        setValue(*key, v.name, *v.value);
      } else {
        removeValue(*key, v.name);
      }
    }
  }
}

TEST(RegeditFormat, ImportMatchesStepByStepChanges) {
  // A store file with a key whose parent has no entry, then random imports over few names
  // in changing case: creations, deletions of subtrees, values set and removed.
  const std::string start =
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\a\\b\\c]\n\"v\"=\"1\"\n[HKEY_LOCAL_MACHINE\\b]\n\"w\"=\"2\"\n";
  std::mt19937 random(7);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  for (int round = 0; round < 200; ++round) {
    std::string text = "REGEDIT4\n";
    for (int line = 0; line < 30; ++line) {
      std::string key = "HKLM";
      for (int level = pick(3) + 1; level > 0; --level) key += std::string("\\") + "aAbB"[pick(4)];
      if (pick(4) == 0) {
        text += "[-" + key + "]\n";
        continue;
      }
      text += "[" + key + "]\n";
      for (int v = pick(3); v > 0; --v) {
        text += std::string("\"") + "vVwW"[pick(4)] + (pick(3) == 0 ? "\"=-\n" : "\"=dword:" + std::to_string(pick(9)) + "\n");
      }
    }
    auto sections = parseRegedit(text, RegeditDialect::Import);
    ASSERT_EQ(sections.index(), 0u);
    RegistryTree expected = parseOk(start);
    RegistryTree actual = expected;
    importStepByStep(expected, std::get<0>(sections));
    applyImport(actual, std::get<0>(sections));
    ASSERT_EQ(writeRegedit(actual), writeRegedit(expected)) << text;
  }
}

TEST(RegeditFormat, KeyNamesWithinTheRegistrysLimitsOnly) {
  const std::string part255(255, 'k');
  std::string utf8Part;  // 255 characters of two bytes each
  for (int i = 0; i < 255; ++i) utf8Part += "\xC3\xA9";
  std::string deep = "HKEY_LOCAL_MACHINE";
  for (int i = 0; i < 512; ++i) deep += "\\d";
  EXPECT_EQ(keyNameBeyondLimits("HKEY_LOCAL_MACHINE\\" + part255 + "\\" + utf8Part), std::nullopt);
  EXPECT_EQ(keyNameBeyondLimits(deep), std::nullopt);
  EXPECT_THAT(keyNameBeyondLimits("HKEY_LOCAL_MACHINE\\" + part255 + "x").value_or(""), HasSubstr("255 characters"));
  EXPECT_THAT(keyNameBeyondLimits(deep + "\\d").value_or(""), HasSubstr("512 levels"));

  // Creating a key deep below the limit runs in a loop, not a recursion.
  RegistryTree tree;
  EXPECT_TRUE(createKey(tree, deep));
  EXPECT_EQ(tree.keys.size(), 512u);
}

TEST(RegeditFormat, ReadsTheDwordLinesEarlierVersionsWrapped) {
  RegistryTree tree = parseOk("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a long name\"=dword:000\\\n  0001\\\n  f\n");
  EXPECT_EQ(*valueOf(tree, "HKEY_LOCAL_MACHINE\\A", "a long name"), RegistryValue::dword(0x1f));
}

}  // namespace
}  // namespace qv::platform
