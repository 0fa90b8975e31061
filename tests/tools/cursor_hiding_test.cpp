// The monitor program keeps the desktop's pointer hidden exactly while HideCursor is set.
#include "cursor_hiding.h"

#include "settings/value_names.h"
#include "support/memory_registry_store.h"

#include <gtest/gtest.h>

namespace qv::tools {
namespace {

class RecordingPointer final : public DesktopPointer {
public:
  explicit RecordingPointer(std::vector<bool>& applied) : applied_(applied) {}
  void setHidden(bool hidden) override { applied_.push_back(hidden); }

private:
  std::vector<bool>& applied_;
};

TEST(CursorHiding, FollowsTheStoredFlagAndLeavesThePointerWhenTheStoreCannotBeRead) {
  test::MemoryRegistryStore store;
  std::vector<bool> applied;
  std::vector<std::string> said;
  CursorHiding hiding(store, std::make_unique<RecordingPointer>(applied), [&](const std::string& line) {
    said.push_back(line);
  });
  const auto root = platform::RegistryRoot::LocalMachine;
  auto flag = [&](platform::RegistryValue value) {
    store.writeValue(root, settings::kSettingsKey, settings::names::HideCursor, value);
    hiding.update();
  };
  hiding.update();  // no settings yet: the option is off
  store.createKey(root, settings::kSettingsKey);
  flag(platform::RegistryValue::dword(1));
  hiding.update();  // nothing changed: the desktop is not touched again
  flag(platform::RegistryValue::text("1"));  // unreadable as a flag
  EXPECT_EQ(said.size(), 1u);
  flag(platform::RegistryValue::dword(0));
  EXPECT_EQ(applied, (std::vector<bool>{false, true, false}));
}

TEST(CursorHiding, OnWaylandTheCompositorDecidesWhichIsSaidOnce) {
  std::vector<std::string> said;
  WaylandPointer pointer([&](const std::string& line) { said.push_back(line); });
  pointer.setHidden(false);
  pointer.setHidden(true);
  pointer.setHidden(false);
  pointer.setHidden(true);
  ASSERT_EQ(said.size(), 1u);
  EXPECT_NE(said[0].find("compositor decides"), std::string::npos);
}

}  // namespace
}  // namespace qv::tools
