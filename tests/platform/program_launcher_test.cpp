#include "platform/posix/posix_program_launcher.h"
#include "support/private_root.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

namespace qv::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::readFile;
using test::waitFor;

void writeFile(const fs::path& path, const std::string& text, unsigned mode) {
  std::ofstream(path, std::ios::binary) << text;
  ::chmod(path.c_str(), mode);
}

TEST(ProgramFileFromCommand, MapsWindowsStyleNames) {
  test::PrivateRoot root;
  const fs::path dir = root.path() / "bin";
  fs::create_directories(dir);
  writeFile(dir / "AltKey", "", 0755);

  EXPECT_EQ(programFileFromCommand(dir.string() + "\\AltKey.exe"), dir / "AltKey");
  EXPECT_EQ(programFileFromCommand(dir.string() + "\\AltKey.EXE"), dir / "AltKey");
  // Without the bare file the suffix stays; a name that merely ends in "exe" is left alone.
  EXPECT_EQ(programFileFromCommand("C:\\dir\\AltKey.exe"), fs::path("C:/dir/AltKey.exe"));
  EXPECT_EQ(programFileFromCommand(dir.string() + "/AltKeyexe"), dir / "AltKeyexe");
  EXPECT_EQ(programFileFromCommand(".exe"), fs::path(".exe"));
}

class LauncherTest : public ::testing::Test {
protected:
  test::PrivateRoot root;
  PosixProgramLauncher launcher;
};

TEST_F(LauncherTest, RunsTheFileItselfFromAFolderWithShellCharacters) {
  const fs::path dir = root.path() / "my dir $(touch pwned); `touch pwned2` 'q\" &x";
  fs::create_directories(dir);
  const fs::path marker = root.path() / "ran.txt";
  // Records its own name and what its stdin is.
  writeFile(dir / "AltKey",
            "#!/bin/sh\n"
            "{ echo \"$0\"; readlink /proc/self/fd/0; } > '" + marker.string() + ".tmp'\n"
            "mv '" + marker.string() + ".tmp' '" + marker.string() + "'\n",
            0755);

  const std::string command = (dir / "AltKey").string() + ".exe";
  const std::uint32_t result = launcher.startProgram(command);
  ASSERT_GT(result, 31u);
  ASSERT_TRUE(waitFor([&] { return fs::exists(marker); }));
  EXPECT_EQ(readFile(marker), (dir / "AltKey").string() + "\n/dev/null\n");
  for (const fs::path& where : {fs::current_path(), root.path(), dir}) {
    EXPECT_FALSE(fs::exists(where / "pwned")) << where;
    EXPECT_FALSE(fs::exists(where / "pwned2")) << where;
  }
}

TEST_F(LauncherTest, FailuresGiveSmallCodes) {
  EXPECT_EQ(launcher.startProgram((root.path() / "missing\\AltKey.exe").string()), 2u);
  EXPECT_EQ(launcher.startProgram(""), 2u);
  writeFile(root.path() / "plain", "#!/bin/sh\n", 0644);
  EXPECT_EQ(launcher.startProgram((root.path() / "plain").string()), 5u);
  EXPECT_EQ(launcher.startProgram(root.path().string()), 5u);  // a folder
  writeFile(root.path() / "garbage", std::string("\x7f" "ELF\x01\x02 junk", 12), 0755);
  EXPECT_EQ(launcher.startProgram((root.path() / "garbage").string()), 11u);
  writeFile(root.path() / "noshebang", "touch should-not-run\n", 0755);
  EXPECT_EQ(launcher.startProgram((root.path() / "noshebang").string()), 11u);
  EXPECT_FALSE(fs::exists(fs::current_path() / "should-not-run"));
}

TEST_F(LauncherTest, EndedProgramsAreReaped) {
  writeFile(root.path() / "quick", "#!/bin/sh\nexit 0\n", 0755);
  const std::uint32_t pid = launcher.startProgram((root.path() / "quick").string());
  ASSERT_GT(pid, 32u);
  // An unreaped child would stay in /proc as a zombie.
  EXPECT_TRUE(waitFor([&] { return !fs::exists("/proc/" + std::to_string(pid)); }));
}

TEST_F(LauncherTest, AWatchedProgramSaysWhyItEndedAndStopEndsItsWholeGroup) {
  writeFile(root.path() / "fails", "#!/bin/sh\necho 'fails: cannot write' >&2\nexit 2\n", 0755);
  const WatchedStart failing = launcher.startWatchedProgram((root.path() / "fails").string());
  ASSERT_TRUE(waitFor([&] { return failing.program->endReason().has_value(); }));
  EXPECT_EQ(failing.program->endReason(), "fails: cannot write");
  const fs::path child = root.path() / "child";
  writeFile(root.path() / "prober", "#!/bin/sh\nsleep 60 &\necho $! > '" + child.string() + "'\nwait\n", 0755);
  const WatchedStart run = launcher.startWatchedProgram((root.path() / "prober").string());
  ASSERT_TRUE(waitFor([&] { return !readFile(child).empty(); }));
  EXPECT_EQ(run.program->endReason(), std::nullopt);
  run.program->stop();
  EXPECT_EQ(run.program->endReason(), "prober was ended by signal 15 (Terminated)");
  const std::string sleeper = "/proc/" + std::to_string(std::stoi(readFile(child))) + "/stat";
  EXPECT_TRUE(waitFor([&] { return readFile(sleeper).find(") Z") != std::string::npos || !fs::exists(sleeper); }));
}

TEST_F(LauncherTest, RestartRunsTheConfiguredCommandThroughTheShell) {
  const fs::path record = root.path() / "restart requested";
  ::setenv("QUORVANE_REBOOT_COMMAND", ("echo reboot >> '" + record.string() + "'").c_str(), 1);
  EXPECT_TRUE(launcher.requestRestart());
  ::setenv("QUORVANE_REBOOT_COMMAND", "true", 1);
  ASSERT_TRUE(waitFor([&] { return readFile(record) == "reboot\n"; }));
}

}  // namespace
}  // namespace qv::platform
