// The calibrated monitor beside the limits: what is written reads back, and values that
// are absent or malformed read as an unknown monitor on an unturned panel.
#include "settings/monitor_values.h"

#include "settings/value_names.h"
#include "support/memory_registry_store.h"

#include <gtest/gtest.h>

namespace qv::settings {
namespace {

TEST(MonitorValues, WrittenMonitorReadsBackAndMalformedValuesReadAsUnknown) {
  test::MemoryRegistryStore store;
  const auto root = platform::RegistryRoot::LocalMachine;
  const CalibratedMonitor monitor{"HDMI-A-1", "QVM", "Panel 15", "0042", 304, 228, {270, true}};
  ASSERT_TRUE(store.createKey(root, kSettingsKey));
  store.writeValues(root, kSettingsKey, monitorValues(monitor));
  EXPECT_EQ(storedMonitor(store), monitor);

  for (const auto& [size, rotation] : {std::pair{"304", "45"}, {"304,x", "ninety"}, {"-3,228", ""}, {",", "90 "}}) {
    store.writeValue(root, kSettingsKey, names::CfgMonitorSizeMM, platform::RegistryValue::text(size));
    store.writeValue(root, kSettingsKey, names::CfgRotation, platform::RegistryValue::text(rotation));
    const CalibratedMonitor read = storedMonitor(store);
    EXPECT_EQ(read.widthMm + read.heightMm, 0) << size;
    EXPECT_EQ(read.mounting.rotation, 0) << rotation;
  }
  store.writeValue(root, kSettingsKey, names::CfgRotation, platform::RegistryValue::text("-90"));
  EXPECT_EQ(storedMonitor(store).mounting.rotation, 270);
  store.writeValue(root, kSettingsKey, names::CfgSwapXY, platform::RegistryValue::dword(1));
  EXPECT_FALSE(storedMonitor(store).mounting.swapXY);  // a text, or nothing
}

}  // namespace
}  // namespace qv::settings
