// Start-up refusals on a virtual display: a machine without the panel's settings key or
// with a driver of another version gets its message box, and the panel ends with status 1
// once the box is closed with Enter.
#include "road.h"

#include <gtest/gtest.h>

namespace qv::e2e {
namespace {

using namespace std::chrono_literals;

// keyFound: the panel found its settings key (and so wrote OSVersion into it) before it
// refused.
void expectRefusal(const std::string& shot, const std::string& change, bool keyFound) {
  Road road("refusal");
  ASSERT_EQ(road.problem(), "");
  road.storeImport(change);
  // No driver: the panel refuses before it would talk to one (and the stand-in's start
  // would write its key back into the store).
  road.startPanel();
  // The box carries the program's title; the main window never shows.
  const auto box = road.waitWindow("Quorvane Control Panel");
  ASSERT_TRUE(box);
  EXPECT_LT(box->width, 500);
  road.shoot(shot);
  EXPECT_EQ(pressUntilEnded(road, *box, "Return"), 1);
  EXPECT_EQ(road.storeValue("HKLM\\SOFTWARE\\Quorvane", "OSVersion").empty(), !keyFound);
}

TEST(StartupRefusalRoad, NoSettingsKey) {
  expectRefusal("no-settings-key", "REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n", false);
}

TEST(StartupRefusalRoad, WrongDriverVersion) {
  expectRefusal("wrong-driver",
                "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Vxd Version\"=\"2.0.01\"\n", true);
}

}  // namespace
}  // namespace qv::e2e
