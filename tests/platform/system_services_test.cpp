#include "platform/posix/store_system_services.h"
#include "support/memory_registry_store.h"
#include "support/private_root.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace qv::platform {
namespace {

std::optional<RegistryValue> mouseValue(test::MemoryRegistryStore& store, std::string_view name) {
  return store.readValue(RegistryRoot::CurrentUser, kMouseSettingsKey, name);
}

class SystemServicesTest : public ::testing::Test {
protected:
  SystemServicesTest() {
    hooks.applyDoubleClickTime = [this](std::uint32_t ms) { appliedTimes.push_back(ms); };
    hooks.applyDoubleClickRect = [this](int w, int h) { appliedRects.emplace_back(w, h); };
    hooks.reloadCursors = [this] { ++reloads; };
  }

  test::MemoryRegistryStore store;
  SystemHooks hooks;
  std::vector<std::uint32_t> appliedTimes;
  std::vector<std::pair<int, int>> appliedRects;
  int reloads = 0;
};

TEST_F(SystemServicesTest, DoubleClickValuesAreStoredAsDecimalTextsAndAppliedAtOnce) {
  StoreSystemServices services(store, hooks);
  EXPECT_FALSE(store.keyExists(RegistryRoot::CurrentUser, kMouseSettingsKey));
  EXPECT_EQ(services.doubleClickTime(), 500u);  // nothing stored yet

  EXPECT_TRUE(services.setDoubleClickTime(100));
  EXPECT_TRUE(services.setDoubleClickWidth(25));
  EXPECT_TRUE(services.setDoubleClickHeight(30));
  EXPECT_TRUE(services.setDoubleClickWidth(-3));

  EXPECT_EQ(mouseValue(store, "DoubleClickSpeed"), RegistryValue::text("100"));
  EXPECT_EQ(mouseValue(store, "DoubleClickWidth"), RegistryValue::text("-3"));
  EXPECT_EQ(mouseValue(store, "DoubleClickHeight"), RegistryValue::text("30"));
  EXPECT_EQ(services.doubleClickTime(), 100u);
  EXPECT_EQ(appliedTimes, std::vector<std::uint32_t>{100});
  // Width and height are applied together: the other side comes from the store (4 unset).
  const std::vector<std::pair<int, int>> rects{{25, 4}, {25, 30}, {-3, 30}};
  EXPECT_EQ(appliedRects, rects);

  services.reloadCursors();
  EXPECT_EQ(reloads, 1);
}

TEST_F(SystemServicesTest, ZeroTimeMeansTheDefaultAndUnreadableStoredTimeReadsAsDefault) {
  StoreSystemServices services(store, hooks);
  EXPECT_TRUE(services.setDoubleClickTime(0));
  EXPECT_EQ(mouseValue(store, "DoubleClickSpeed"), RegistryValue::text("500"));
  EXPECT_EQ(appliedTimes, std::vector<std::uint32_t>{500});

  store.writeValue(RegistryRoot::CurrentUser, kMouseSettingsKey, "DoubleClickSpeed",
                   RegistryValue::text("fast"));
  EXPECT_EQ(services.doubleClickTime(), 500u);
  store.writeValue(RegistryRoot::CurrentUser, kMouseSettingsKey, "DoubleClickSpeed",
                   RegistryValue::dword(300));
  EXPECT_EQ(services.doubleClickTime(), 500u);  // only the text form counts
}

TEST_F(SystemServicesTest, RefusedStoreWriteIsReportedButStillApplied) {
  StoreSystemServices services(store, hooks);
  store.refuseWritesOf("DoubleClickHeight");
  EXPECT_FALSE(services.setDoubleClickHeight(40));
  EXPECT_EQ(appliedRects.size(), 1u);
  store.failEverything("registry.reg line 3: not a value");
  EXPECT_FALSE(services.setDoubleClickTime(200));
}

TEST_F(SystemServicesTest, TickCountIsTheClockTruncatedTo32Bits) {
  std::uint64_t now = 0xFFFF'FFFEull;
  StoreSystemServices services(store, {}, [&] { return now; });
  EXPECT_EQ(services.tickCount(), 0xFFFF'FFFEu);
  now += 3;
  EXPECT_EQ(services.tickCount(), 1u);
  now = 0x7'0000'0384ull;
  EXPECT_EQ(services.tickCount(), 900u);
}

TEST_F(SystemServicesTest, ScreenSizeAndSystemFacts) {
  test::PrivateRoot root;
  StoreSystemServices plain(store);
  EXPECT_EQ(plain.screenSize().width, 1024);
  EXPECT_EQ(plain.screenSize().height, 768);
  EXPECT_EQ(plain.systemDirectory(), (root.path() / "system").string());

  hooks.screenSize = [] { return ScreenSize{800, 600}; };
  StoreSystemServices hooked(store, hooks);
  EXPECT_EQ(hooked.screenSize().width, 800);
  EXPECT_EQ(hooked.screenSize().height, 600);
}

TEST(OsMinorFromRelease, TakesTheSecondNumberOfTheKernelRelease) {
  EXPECT_EQ(osMinorFromRelease("6.1.0-17-amd64"), 1u);
  EXPECT_EQ(osMinorFromRelease("6.18.44-fc-v1300"), 18u);
  EXPECT_EQ(osMinorFromRelease("5.0"), 0u);
  EXPECT_EQ(osMinorFromRelease("6"), 0u);
  EXPECT_EQ(osMinorFromRelease("6.x"), 0u);
  EXPECT_EQ(osMinorFromRelease(""), 0u);
}

}  // namespace
}  // namespace qv::platform
