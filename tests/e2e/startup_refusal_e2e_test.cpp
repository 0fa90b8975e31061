// Start-up refusals on a virtual display: a machine without the panel's settings key or
// with a driver of another version gets its message box, and the panel ends with status 1
// once the box is closed with Enter.
#include "road.h"

#include <gtest/gtest.h>

namespace qv::e2e {
namespace {

using namespace std::chrono_literals;

void expectRefusal(const std::string& shot, const std::string& change) {
  Road road("refusal");
  ASSERT_EQ(road.problem(), "");
  road.storeImport(change);
  ASSERT_TRUE(road.startDriverd());
  road.startPanel();
  // The box carries the program's title; the main window never shows.
  const auto box = road.waitWindow("Quorvane Control Panel");
  ASSERT_TRUE(box);
  EXPECT_LT(box->width, 500);
  road.shoot(shot);
  keyTo(*box, "Return");
  EXPECT_EQ(road.panel().waitExit(scaled(20s)), 1);
}

TEST(StartupRefusalRoad, NoSettingsKey) {
  expectRefusal("no-settings-key", "REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n");
}

TEST(StartupRefusalRoad, WrongDriverVersion) {
  expectRefusal("wrong-driver", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Vxd Version\"=\"2.0.01\"\n");
}

}  // namespace
}  // namespace qv::e2e
