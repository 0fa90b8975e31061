// What every program answers on its command line, without a machine root or a display.
#include "cli/command_line.h"
#include "support/private_root.h"
#include "support/program_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

namespace qv::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr const char* kPrograms[] = {"quorvane-panel", "qv-monitor",   "AltKey",  "qv-sendmsg", "qv-driverctl",
                                     "qv-blank-cursor", "qv-gifgen",   "qv-reg",  "qv-driverd", "qv-controller-sim", "qvdetect"};
constexpr const char* kProgramsWithoutArguments[] = {"quorvane-panel", "qv-monitor", "AltKey", "qvdetect"};

class ProgramOptions : public ::testing::Test {
protected:
  // Runs a program in a machine root that must never come into being, with no display.
  test::ProgramRun run(const std::string& program, const std::vector<std::string>& args,
                       std::optional<std::string> display = std::nullopt) {
    return test::runProgram(program, args,
                            {{"QUORVANE_HOME", absentRoot.string()},
                             {"DISPLAY", std::move(display)},
                             {"WAYLAND_DISPLAY", std::nullopt},
                             {"QT_QPA_PLATFORM", std::nullopt}});
  }

  test::PrivateRoot root;
  fs::path absentRoot = root.path() / "absent";
};

TEST_F(ProgramOptions, EveryProgramAnswersHelpAndVersionAndRefusesWhatItDoesNotKnow) {
  for (const std::string program : kPrograms) {
    SCOPED_TRACE(program);
    const auto help = run(program, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, StartsWith("Usage: " + program));
    EXPECT_THAT(help.out, HasSubstr("--version"));
    EXPECT_EQ(help.err, "");

    const auto version = run(program, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, program + " " QV_PROJECT_VERSION "\n");

    const auto unknown = run(program, {"--no-such-option"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_THAT(unknown.err, StartsWith(program + ": "));
    EXPECT_THAT(unknown.err, HasSubstr("--no-such-option"));
  }
  for (const std::string program : kProgramsWithoutArguments) {
    const auto extra = run(program, {"extra"});
    EXPECT_EQ(extra.status, 2) << program;
    EXPECT_THAT(extra.err, HasSubstr("Usage: " + program)) << program;
  }
  EXPECT_FALSE(fs::exists(absentRoot));
}

TEST_F(ProgramOptions, ThePanelWithoutADisplaySaysSoInOneLine) {
  const auto panel = run("quorvane-panel", {});
  EXPECT_EQ(panel.status, 1);
  EXPECT_EQ(panel.err, "quorvane-panel: no display\n");
  EXPECT_EQ(panel.out, "");

  // A display that is named but cannot be reached ends the same way, with its reason.
  const auto unreachable = run("quorvane-panel", {}, ":987");
  EXPECT_EQ(unreachable.status, 1);
  EXPECT_THAT(unreachable.err, StartsWith("quorvane-panel: no display: "));
  EXPECT_EQ(std::count(unreachable.err.begin(), unreachable.err.end(), '\n'), 1) << unreachable.err;
  EXPECT_FALSE(fs::exists(absentRoot));
}

TEST(HasDisplay, FollowsThePlatformAndTheDisplayItNeeds) {
  auto with = [](std::map<std::string, std::string> env) {
    return hasDisplay([env](const char* name) -> const char* {
      const auto it = env.find(name);
      return it == env.end() ? nullptr : it->second.c_str();
    });
  };
  EXPECT_FALSE(with({}));
  EXPECT_FALSE(with({{"DISPLAY", ""}}));
  EXPECT_TRUE(with({{"DISPLAY", ":0"}}));
  EXPECT_TRUE(with({{"WAYLAND_DISPLAY", "wayland-0"}}));
  EXPECT_TRUE(with({{"QT_QPA_PLATFORM", "offscreen"}}));
  EXPECT_TRUE(with({{"QT_QPA_PLATFORM", "vnc:size=800x600"}}));
  EXPECT_FALSE(with({{"QT_QPA_PLATFORM", "xcb"}, {"WAYLAND_DISPLAY", "wayland-0"}}));
  EXPECT_TRUE(with({{"QT_QPA_PLATFORM", "wayland;xcb"}, {"DISPLAY", ":0"}}));
}

}  // namespace
}  // namespace qv::cli
