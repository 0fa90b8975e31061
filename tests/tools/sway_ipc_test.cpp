// sway's IPC as qv-monitor reads it: messages cut short, too long, of another form or never
// finished (whole ones go through the mapping's test); the outputs as monitors (turns,
// serial numbers, outputs that are off) and the touch screen among the inputs.
#include "sway_ipc.h"
#include "sway_replies.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <cstring>

namespace qv::tools {
namespace {

struct SocketPair {
  platform::UniqueFd ours, theirs;
  SocketPair() {
    int fds[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    ours.reset(fds[0]);
    theirs.reset(fds[1]);
  }
  void write(const std::string& bytes) {
    EXPECT_EQ(::write(theirs.get(), bytes.data(), bytes.size()), ssize_t(bytes.size()));
  }
};

std::string header(std::string_view magic, std::uint32_t length, std::uint32_t type) {
  std::string h(magic);
  h.append(reinterpret_cast<const char*>(&length), 4);
  h.append(reinterpret_cast<const char*>(&type), 4);
  return h;
}

TEST(SwayIpc, SaysWhatIsWrongWithAMessage) {
  const struct {
    std::string bytes;
    bool close;
    const char* error;
  } cases[] = {
      {"", true, "closed its IPC"},
      {header("i3-ipc", 10, 3) + "[1,", true, "ends early"},
      {"i3-ip", true, "ends early"},
      {header("i3-ipc", sway::kMaxPayload + 1, 3), false, "over the"},
      {header("i3-ipx", 2, 3) + "[]", false, "without the \"i3-ipc\" mark"},
      {header("i3-ipc", 10, 3) + "[1,", false, "no whole message within 50 ms"},
  };
  for (const auto& c : cases) {
    SocketPair p;
    p.write(c.bytes);
    if (c.close) p.theirs.reset();
    try {
      readSwayMessage(p.ours.get(), std::chrono::milliseconds(50));
      ADD_FAILURE() << "no error for case " << &c - cases;
    } catch (const SwayIpcError& e) {
      EXPECT_NE(std::strstr(e.what(), c.error), nullptr) << e.what();
    }
  }
}

TEST(SwayIpc, OutputsBecomeMonitorsTurnedCounterClockwise) {
  const auto monitors = swayMonitors(R"([
    {"name":"DP-1","make":"Maker","model":"Touch 15","serial":"0x00003039","active":true,
     "transform":"90","rect":{"x":1024,"y":0,"width":768,"height":1024}},
    {"name":"HDMI-A-1","make":"Other","model":"Office","serial":"0x00000000","active":true,
     "transform":"flipped-270","rect":{"x":0,"y":0,"width":1024,"height":768}},
    {"name":"DP-2","active":false,"transform":"normal","rect":{"x":0,"y":0,"width":0,"height":0}}])");
  ASSERT_EQ(monitors.size(), 2u);  // the output that is off shows nothing
  EXPECT_EQ(monitors[0].serial, "12345");  // in decimal, as the panel keeps it
  EXPECT_EQ(monitors[0].left, 1024);
  EXPECT_EQ(monitors[0].rotation, 270);  // sway's clockwise 90
  EXPECT_EQ(monitors[1].serial, "");
  EXPECT_EQ(monitors[1].rotation, 90);
  EXPECT_EQ(rotationOfSwayTransform("180"), 180);
  EXPECT_EQ(rotationOfSwayTransform("flipped90"), std::nullopt);
  EXPECT_EQ(rotationOfSwayTransform("45"), std::nullopt);
  EXPECT_THROW(swayMonitors(R"({"name":"DP-1"})"), SwayIpcError);
  EXPECT_THROW(swayMonitors("[{"), SwayIpcError);
}

TEST(SwayIpc, TheTouchScreenAmongTheInputsAndTheCommandsForIt) {
  const auto input = swayInput(R"([{"identifier":"1:1:Keyboard","name":"Keyboard"},
    {"identifier":"20822:21587:Quorvane_Touch_Screen","name":"Quorvane Touch Screen",
     "libinput":{"calibration_matrix":[0,-1,1,1,0,0]}}])",
                               "Quorvane Touch Screen");
  ASSERT_TRUE(input);
  EXPECT_EQ(input->identifier, "20822:21587:Quorvane_Touch_Screen");
  EXPECT_EQ(input->matrix, (std::array<float, 6>{0, -1, 1, 1, 0, 0}));
  EXPECT_EQ(swayCommandFailure(R"([{"success":true},{"success":false,"error":"Unknown output"}])"), "Unknown output");
  EXPECT_EQ(swayArgument("DP-1\" ; exec x"), std::nullopt);  // would end the argument
  EXPECT_EQ(swayArgument("DP-1\nexit"), std::nullopt);
}

}  // namespace
}  // namespace qv::tools
