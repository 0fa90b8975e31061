// The advanced detection's search with a stand-in tool that writes its result after a
// number of waits, on a clock the test moves: the applied port, the time-out question,
// a refused start, a result file that is still being written, and a result that cannot
// be put in place.
#include "detect/advance_search.h"
#include "detect/qvmouse_config.h"
#include "settings/settings_key.h"
#include "support/fake_program_launcher.h"
#include "support/memory_registry_store.h"
#include "support/private_root.h"
#include "support/recording_window_messenger.h"
#include "support/recording_prompts.h"

#include <gtest/gtest.h>

#include <fstream>

namespace qv::detect {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

void writeBytes(const fs::path& file, const Bytes& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes configBytes(std::uint8_t port, std::uint8_t irq) {
  Bytes b(43, 0);
  b[9] = port;
  b[11] = irq;
  return b;
}

struct SearchRig {
  explicit SearchRig(const char* storeText = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Restart\"=dword:00000000\n")
      : store(storeText) {
    dir = root.path() / "bin";
    fs::create_directories(dir);
    fs::create_directories(root.path() / "run");
    messenger.addWindow("TMainForm", "Quorvane Control Panel");
  }
  fs::path file() const { return root.path() / "run" / "qvmouse.cfg"; }

  AdvanceOutcome run() {
    AdvancePortControls controls{[this] { ++userDefineTicks; }, irqText, portText, comboText, comboIndex, comboItems};
    AdvanceServices services{dir,
                             qvMouseConfigPath(),
                             launcher,
                             prompts,
                             messenger,
                             store,
                             [this] {
                               ++pauses;
                               if (atPause) atPause(pauses);
                               return true;
                             },
                             [this](bool busy) { busyLog.push_back(busy); },
                             [this](const fs::path& d) { currentDir = d; }};
    return runAdvanceSearch(controls, services);
  }
  bool restartFlag() {
    const auto v = store.readValue(platform::RegistryRoot::LocalMachine, "SOFTWARE\\Quorvane", "Restart");
    return v && !v->data.empty() && v->data[0] == 1;
  }

  test::PrivateRoot root;
  fs::path dir;
  test::MemoryRegistryStore store;
  test::FakeProgramLauncher launcher;
  test::RecordingWindowMessenger messenger;
  test::RecordingPrompts prompts;
  std::function<void(int pause)> atPause;  // the tool's work, on the test's clock
  int pauses = 0;
  int userDefineTicks = 0;
  std::vector<bool> busyLog;
  fs::path currentDir;
  std::string irqText = "4", portText = "3F8H", comboText = "COM1";
  int comboIndex = 0;
  std::vector<std::string> comboItems{"COM1", "COM2", "COM3"};
};

TEST(AdvanceSearch, ToolResultGoesIntoTheMainWindowAndOkIsAskedFor) {
  SearchRig r;
  writeBytes(r.file(), configBytes(1, 4));  // stale, from an earlier run
  r.launcher.setStartReaction([&](const std::string&) { EXPECT_FALSE(fs::exists(r.file())); });
  r.atPause = [&](int n) {
    if (n == 3) writeBytes(r.file(), configBytes(3, 5));
  };
  EXPECT_EQ(r.run(), AdvanceOutcome::Applied);
  EXPECT_EQ(r.currentDir, r.dir);
  EXPECT_EQ(r.launcher.commands(), (std::vector<std::string>{(r.dir / "qvdetect.exe").string()}));
  EXPECT_EQ(r.pauses, 3);
  EXPECT_EQ(r.busyLog, (std::vector<bool>{true, false}));
  EXPECT_EQ(r.userDefineTicks, 1);
  EXPECT_EQ(r.irqText, "5");
  EXPECT_EQ(r.portText, "3E8H");
  EXPECT_EQ(r.comboText, "COM3");
  EXPECT_EQ(r.comboIndex, 2);
  EXPECT_FALSE(fs::exists(r.file()));
  EXPECT_TRUE(r.restartFlag());
  ASSERT_EQ(r.messenger.posted().size(), 1u);
  EXPECT_EQ(r.messenger.posted()[0].className, "TMainForm");
  EXPECT_EQ(r.messenger.posted()[0].title, "Quorvane Control Panel");
  EXPECT_EQ(r.messenger.posted()[0].message.message, 0x46Fu);
  EXPECT_TRUE(r.prompts.questions.empty());
}

TEST(AdvanceSearch, NoResultWithinTheLimitEndsTheToolAndAsksForTheRestart) {
  for (const bool yes : {false, true}) {
    SearchRig r;
    writeBytes(r.file(), configBytes(2, 3));  // stale: deleted, never taken
    r.prompts.answerYes = yes;
    EXPECT_EQ(r.run(), AdvanceOutcome::TimedOut);
    EXPECT_EQ(r.pauses, 200);
    EXPECT_EQ(r.launcher.watchedStops, 1);
    EXPECT_EQ(r.prompts.questions, (std::vector<std::string>{"Reboot|Can't find Quorvane\nSystem must reboot!"}));
    EXPECT_EQ(r.launcher.restartRequests(), yes ? 1 : 0);
    EXPECT_FALSE(fs::exists(r.file()));
    EXPECT_EQ(r.irqText, "4");
    EXPECT_EQ(r.userDefineTicks, 0);
    EXPECT_FALSE(r.restartFlag());
    EXPECT_TRUE(r.messenger.posted().empty());
    EXPECT_EQ(r.busyLog, (std::vector<bool>{true, false}));
  }
}

TEST(AdvanceSearch, AToolThatEndsWithoutAResultIsNotWaitedForAndSaysWhy) {
  SearchRig r;
  r.atPause = [&](int n) {
    if (n == 2) r.launcher.watchedEnd = "qvdetect: cannot write qvmouse.cfg";
  };
  EXPECT_EQ(r.run(), AdvanceOutcome::ToolEnded);
  EXPECT_EQ(r.pauses, 2);
  EXPECT_EQ(r.prompts.notices, (std::vector<std::string>{"Can't find Quorvane\nqvdetect: cannot write qvmouse.cfg"}));
  EXPECT_TRUE(r.prompts.questions.empty());
}

TEST(AdvanceSearch, ARefusedStartChangesNothing) {
  SearchRig r;
  r.launcher.setStartResult(2);
  EXPECT_EQ(r.run(), AdvanceOutcome::ToolRefused);
  EXPECT_EQ(r.pauses, 0);
  EXPECT_TRUE(r.busyLog.empty());
  EXPECT_TRUE(r.prompts.questions.empty());
  EXPECT_EQ(r.comboText, "COM1");
  EXPECT_FALSE(r.restartFlag());
}

TEST(AdvanceSearch, AFileStillBeingWrittenIsWaitedForAndAnOddPortKeepsItsTexts) {
  SearchRig r;
  r.atPause = [&](int n) {
    if (n == 1) writeBytes(r.file(), {0x51, 0x56, 0x4D, 0x4F, 0x55, 0x53, 0x45, 0x1A, 0x01, 0x07, 0x00});  // 11 bytes
    if (n == 4) writeBytes(r.file(), {0x51, 0x56, 0x4D, 0x4F, 0x55, 0x53, 0x45, 0x1A, 0x01, 0x07, 0x00, 0x0A});
  };
  EXPECT_EQ(r.run(), AdvanceOutcome::Applied);
  EXPECT_EQ(r.pauses, 4);
  EXPECT_EQ(r.irqText, "10");
  EXPECT_EQ(r.portText, "3F8H");  // port 7 is none of COM1..COM4
  EXPECT_EQ(r.comboText, "COM1");
  EXPECT_EQ(r.userDefineTicks, 1);
}

TEST(AdvanceSearch, ARestartFlagThatCannotBeWrittenChangesNoControl) {
  SearchRig r("REGEDIT4\n");  // no settings key to write it in
  r.atPause = [&](int) { writeBytes(r.file(), configBytes(3, 5)); };
  EXPECT_THROW(r.run(), settings::SettingsError);
  EXPECT_EQ(r.userDefineTicks, 0);
  EXPECT_EQ(r.irqText + " " + r.portText + " " + r.comboText, "4 3F8H COM1");
  EXPECT_TRUE(r.messenger.posted().empty());
}

TEST(QvMouseConfigFile, AFileThatCannotBePutInPlaceIsAFailureWithItsReasonAndLeavesNothing) {
  test::PrivateRoot root;
  const fs::path blocked = root.path() / "qvmouse.cfg";
  fs::create_directories(blocked / "taken");  // a folder where the file should go
  const auto problem = writeQvMouseConfig(blocked, buildQvMouseConfig({2, 3, 19200, "T303", "1000"}));
  ASSERT_TRUE(problem);
  EXPECT_NE(problem->find("cannot rename"), std::string::npos) << *problem;
  EXPECT_FALSE(fs::exists(root.path() / "qvmouse.cfg.tmp"));
}

}  // namespace
}  // namespace qv::detect
