#include "settings/settings_key.h"

#include "platform/posix/registry_file_store.h"
#include "support/memory_registry_store.h"
#include "support/private_root.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>

namespace qv::settings {
namespace {

using platform::RegistryValue;
using ::testing::StartsWith;
using ::testing::ThrowsMessage;
using ::testing::HasSubstr;

constexpr auto HKLM = RegistryRoot::LocalMachine;
constexpr const char* kKey = "SOFTWARE\\Quorvane";

test::MemoryRegistryStore storeWithValues() {
  return test::MemoryRegistryStore(
      "REGEDIT4\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n"
      "\"Vxd Version\"=\"3.1.05\"\n"
      "\"InstallDir\"=hex(2):2f,6f,70,74,00\n"
      "\"Restart\"=dword:00000002\n"
      "\"Cfg_DKSpeed\"=dword:fffffffd\n"
      "\"Firmware\"=hex:10,00\n");
}

TEST(SettingsKey, OpensWithOrWithoutCreating) {
  test::MemoryRegistryStore store;
  SettingsKey key(store);
  EXPECT_FALSE(key.open(HKLM, kKey, false));
  EXPECT_FALSE(key.isOpen());
  EXPECT_FALSE(key.keyExists(HKLM, kKey));
  EXPECT_TRUE(key.open(HKLM, kKey, true));
  EXPECT_TRUE(key.keyExists(HKLM, "software\\quorvane"));
  key.writeText("Cfg_COM", "COM1");
  key.close();
  EXPECT_THROW(key.writeText("Cfg_COM", "COM2"), SettingsError);
  SettingsKey again(store);
  ASSERT_TRUE(again.open(HKLM, "Software\\Quorvane", false));
  EXPECT_EQ(again.readText("cfg_com"), "COM1");
}

TEST(SettingsKey, ReadsEachTypeAndNamesTheValueInItsErrors) {
  auto store = storeWithValues();
  SettingsKey key(store);
  ASSERT_TRUE(key.open(HKLM, kKey, false));

  EXPECT_EQ(key.readText("Vxd Version"), "3.1.05");
  EXPECT_EQ(key.readText("InstallDir"), "/opt");  // expandable text without its zero
  EXPECT_EQ(key.readText("Missing"), "");
  EXPECT_THAT([&] { key.readText("Restart"); }, ThrowsMessage<SettingsError>("Invalid data type for 'Restart'"));
  EXPECT_THAT([&] { key.readText("Firmware"); }, ThrowsMessage<SettingsError>("Invalid data type for 'Firmware'"));

  EXPECT_EQ(key.readInteger("Cfg_DKSpeed"), -3);
  EXPECT_TRUE(key.readFlag("Restart"));  // any non-zero number is set
  EXPECT_THAT([&] { key.readInteger("Cfg_DKArea"); }, ThrowsMessage<SettingsError>("Failed to get data for 'Cfg_DKArea'"));
  EXPECT_THAT([&] { key.readFlag("IsComUserDef"); }, ThrowsMessage<SettingsError>("Failed to get data for 'IsComUserDef'"));
  EXPECT_THAT([&] { key.readInteger("Vxd Version"); }, ThrowsMessage<SettingsError>("Invalid data type for 'Vxd Version'"));
  EXPECT_THAT([&] { key.readFlag("Firmware"); }, ThrowsMessage<SettingsError>("Invalid data type for 'Firmware'"));

  std::array<std::uint8_t, 2> two{0xEE, 0xEE};
  EXPECT_EQ(key.readBinary("Firmware", two), 2u);
  EXPECT_EQ(two, (std::array<std::uint8_t, 2>{0x10, 0x00}));
  EXPECT_EQ(key.readBinary("Missing", two), 0u);
  std::array<std::uint8_t, 1> one{};
  EXPECT_THAT([&] { key.readBinary("Firmware", one); }, ThrowsMessage<SettingsError>("Invalid data type for 'Firmware'"));
  EXPECT_THAT([&] { key.readBinary("Vxd Version", two); }, ThrowsMessage<SettingsError>("Invalid data type for 'Vxd Version'"));

  EXPECT_TRUE(key.valueExists("restart"));
  EXPECT_FALSE(key.valueExists("Missing"));
}

TEST(SettingsKey, WritesReplaceValuesAndRefusalsNameTheValue) {
  auto store = storeWithValues();
  SettingsKey key(store);
  ASSERT_TRUE(key.open(HKLM, kKey, false));
  key.writeInteger("Cfg_DKSpeed", -500);
  key.writeFlag("Restart", true);
  key.writeFlag("HideCursor", false);
  key.writeText("Vxd Version", "3.1.06");
  const std::array<std::uint8_t, 2> port{0x03, 0xF8};
  key.writeBinary("Port", port);
  EXPECT_EQ(key.readInteger("Cfg_DKSpeed"), -500);
  EXPECT_EQ(store.readValue(HKLM, kKey, "Restart"), RegistryValue::dword(1));
  EXPECT_EQ(store.readValue(HKLM, kKey, "HideCursor"), RegistryValue::dword(0));
  EXPECT_EQ(store.readValue(HKLM, kKey, "Port"), RegistryValue::binary({0x03, 0xF8}));
  EXPECT_EQ(store.valueNames(HKLM, kKey).front(), "Vxd Version");  // replaced in place

  store.refuseWritesOf("Cfg_IRQ");
  EXPECT_THAT([&] { key.writeText("Cfg_IRQ", "4"); }, ThrowsMessage<SettingsError>("Failed to set data for 'Cfg_IRQ'"));
  key.deleteValue("Restart");
  key.deleteValue("Restart");  // absent: no error
  EXPECT_FALSE(key.valueExists("Restart"));

  SettingsKey closed(store);
  EXPECT_THAT([&] { closed.writeFlag("Restart", false); }, ThrowsMessage<SettingsError>("Failed to set data for 'Restart'"));
  EXPECT_EQ(closed.readText("Vxd Version"), "");
  EXPECT_THAT([&] { closed.readInteger("Cfg_DKSpeed"); }, ThrowsMessage<SettingsError>("Failed to get data for 'Cfg_DKSpeed'"));
}

TEST(SettingsKey, BrokenStoreFileIsReportedWithFileAndLine) {
  test::PrivateRoot root;
  root.writeRegistry("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Restart\"=dword:0\n\"Odd\"=what\n");
  platform::RegistryFileStore store(root.path());
  SettingsKey key(store);
  const std::string where = (root.path() / "registry.reg").string() + ":5: ";
  EXPECT_THAT([&] { key.open(HKLM, kKey, false); }, ThrowsMessage<SettingsError>(StartsWith(where)));
  EXPECT_THAT([&] { key.open(HKLM, kKey, true); }, ThrowsMessage<SettingsError>(StartsWith(where)));
  EXPECT_THAT([&] { key.keyExists(HKLM, kKey); }, ThrowsMessage<SettingsError>(StartsWith(where)));

  // A store that breaks while a key is open: reads report it, writes are refused.
  auto memory = storeWithValues();
  SettingsKey open(memory);
  ASSERT_TRUE(open.open(HKLM, kKey, false));
  memory.failEverything("registry.reg:9: broken");
  EXPECT_THAT([&] { open.readText("Vxd Version"); }, ThrowsMessage<SettingsError>("registry.reg:9: broken"));
  EXPECT_THAT([&] { open.valueExists("Vxd Version"); }, ThrowsMessage<SettingsError>("registry.reg:9: broken"));
  EXPECT_THAT([&] { open.writeText("Cfg_COM", "COM1"); }, ThrowsMessage<SettingsError>("Failed to set data for 'Cfg_COM'"));
  EXPECT_THAT([&] { open.deleteValue("oldarrow"); }, ThrowsMessage<SettingsError>(HasSubstr("broken")));

  // A store held locked by another program: the write says so.
  const std::string locked = "registry.reg: " + std::string(platform::kStoreLockedText) + " (waited 10 s)";
  memory.failEverything(locked);
  EXPECT_THAT([&] { open.writeText("Cfg_COM", "COM1"); }, ThrowsMessage<SettingsError>(locked));
}

}  // namespace
}  // namespace qv::settings
