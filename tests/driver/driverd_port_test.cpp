// The driver as the machine's service meets its controller port: initialised only when
// the controller answers at the stored speed, the port released when it does not, and
// taken again when it comes back.
#include "driver/driver_channel.h"
#include "platform/posix/socket_device_io.h"
#include "platform/serial_port.h"
#include "support/controller_process.h"
#include "support/driverd_process.h"
#include "support/private_root.h"
#include "support/wait_for.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace qv::driver {
namespace {

using namespace std::chrono_literals;

class DriverdPortTest : public ::testing::Test {
protected:
  void store(const char* baud) {
    root.writeRegistry(std::string("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Cfg_COM\"=\"COM1\"\n") +
                       "\"ChipBaudRate\"=\"" + baud + "\"\n");
  }
  bool vxdInit(const std::string& text) const {
    return root.readRegistry().find("\"Vxd Init\"=\"" + text) != std::string::npos;
  }
  std::uint32_t penDowns() {
    LineStatistics stats;
    auto session = channel.open();
    return session && session->readLineStatistics(stats) ? stats.penDowns : 0;
  }

  test::PrivateRoot root;
  platform::SocketDeviceIo io{2000ms};
  DriverChannel channel{io};
};

TEST_F(DriverdPortTest, OnlyAControllerThatAnswersAtTheStoredSpeedInitialisesElseThePortIsReleased) {
  store("19200");
  test::ControllerProcess t302(root.path(), "COM1", "T302");  // answers at 9600 only
  ASSERT_TRUE(t302.linked());
  {
    test::DriverdProcess driverd({}, false);
    ASSERT_TRUE(driverd.ready());
    EXPECT_TRUE(vxdInit("no controller answered on COM1 at 19200 baud\"")) << root.readRegistry();
    EXPECT_TRUE(platform::serialPortPresent("COM1"));  // not held: the detection may search it
  }
  store("9600");
  test::DriverdProcess driverd({}, false);
  ASSERT_TRUE(driverd.ready());
  EXPECT_TRUE(vxdInit("Success\"")) << root.readRegistry();
  EXPECT_FALSE(platform::serialPortPresent("COM1"));
}

TEST_F(DriverdPortTest, APortThatGoesAwayIsTakenAgainWhenItComesBack) {
  store("19200");
  auto controller = std::make_unique<test::ControllerProcess>(root.path(), "COM1", "T303");
  ASSERT_TRUE(controller->linked());
  test::DriverdProcess driverd({}, false);
  ASSERT_TRUE(driverd.ready());
  ASSERT_TRUE(vxdInit("Success\""));

  controller.reset();  // the adapter is pulled: its line hangs up and its link goes
  EXPECT_TRUE(test::waitFor([&] { return vxdInit("the controller port COM1 is gone"); })) << root.readRegistry();
  controller = std::make_unique<test::ControllerProcess>(root.path(), "COM1", "T303");
  ASSERT_TRUE(controller->linked());
  EXPECT_TRUE(test::waitFor([&] { return vxdInit("Success\""); }, 2s)) << root.readRegistry();
  controller->play("tap 100 50");
  EXPECT_TRUE(test::waitFor([&] { return penDowns() == 1; }));
}

// A controller still starting when its port comes back stays silent at first: the driver
// asks again while it waits for it, rather than letting the port go at the first silence.
TEST_F(DriverdPortTest, APortThatCameBackIsAskedAgainUntilItsControllerAnswers) {
  store("19200");
  auto controller = std::make_unique<test::ControllerProcess>(root.path(), "COM1", "T303");
  ASSERT_TRUE(controller->linked());
  test::DriverdProcess driverd({}, false);
  ASSERT_TRUE(driverd.ready());
  controller.reset();
  ASSERT_TRUE(test::waitFor([&] { return vxdInit("the controller port COM1 is gone"); })) << root.readRegistry();

  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master) | ::unlockpt(master), 0);
  // The first round of probes (two of five bytes) goes unanswered, the second is answered.
  std::thread starting([master] { test::acknowledgeAfter(master, 20); });
  std::filesystem::remove(root.path() / "dev" / "COM1");  // the simulator takes its link along; in case not
  std::filesystem::create_symlink(::ptsname(master), root.path() / "dev" / "COM1");
  EXPECT_TRUE(test::waitFor([&] { return vxdInit("Success\""); }, 5s)) << root.readRegistry();
  starting.join();
  ::close(master);
}

}  // namespace
}  // namespace qv::driver
