// A user who may not change the machine: told once at start-up, sees everything, and OK
// writes nothing of the machine; their own double-click values stand.
#include "panel_rig.h"

#include <gtest/gtest.h>

namespace qv::app {
namespace {

struct Viewer {
  test::PanelRig rig;
  PanelController panel{{rig.store, rig.driver, rig.messenger, rig.launcher, rig.system, rig.prompts,
                         MachineAccess{false, "members only"}},
                        rig.timer};
};

TEST(MachineAccess, AViewerIsToldOnceAndOkWritesNothingOfTheMachine) {
  Viewer v;
  ASSERT_EQ(v.panel.load(), LoadOutcome::Ready);
  EXPECT_EQ(v.rig.prompts.notices, (std::vector<std::string>{"members only"}));
  EXPECT_TRUE(v.rig.store.writeLog().empty());  // not even the start-up's own record

  // The double-click bars are the user's: they apply, and OK closes without a word.
  v.panel.controls().speedPosition = 700;
  v.panel.TrackBar1Change();
  EXPECT_TRUE(v.panel.btnOkClick());
  EXPECT_EQ(v.rig.system.doubleClickTime(), 300u);
  EXPECT_TRUE(v.rig.store.writeLog().empty());
  EXPECT_EQ(v.rig.prompts.notices.size(), 1u);

  // A change of the machine is refused before anything is written; the window stays.
  v.rig.store.clearLogs();
  v.panel.controls().sound = false;
  EXPECT_FALSE(v.panel.btnOkClick());
  EXPECT_EQ(v.rig.prompts.notices, (std::vector<std::string>{"members only", "members only"}));
  EXPECT_TRUE(v.rig.store.writeLog().empty());
  EXPECT_TRUE(v.rig.deviceIo.sessions().empty());
  EXPECT_TRUE(v.panel.btnCancelClick());
  EXPECT_EQ(v.rig.text("Cfg_X1"), "03H");
}

}  // namespace
}  // namespace qv::app
