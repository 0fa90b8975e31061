// The driver stand-in as a process in a private machine root, reached through the
// driver channel over its socket: every request's effect, the store, the log, and how
// it starts and stops.
#include "driver/driver_channel.h"
#include "driverd_protocol.h"
#include "driver_model.h"
#include "platform/posix/socket_device_io.h"
#include "support/controller_process.h"
#include "support/driverd_process.h"
#include "support/private_root.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

namespace qv::driver {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using driverd::DriverModel;
using driverd::OwnCode;

std::string fileText(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The log's request lines: those of what else the driver says start with "# ".
std::string requestLines(const std::string& log) {
  std::istringstream in(log);
  std::string lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with("# ")) lines += line + "\n";
  }
  return lines;
}

// The process tests start programs from the build's bin folder.
[[maybe_unused]] const bool binDirKnown = ::setenv("QV_BIN_DIR", QV_TEST_BIN_DIR, 0) == 0;

constexpr const char* kMinimalStore =
    "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Vxd Version\"=\"3.1.05\"\n";

class DriverdTest : public ::testing::Test {
protected:
  test::PrivateRoot root;
  platform::SocketDeviceIo io{2000ms};
  DriverChannel channel{io};

  // Sends one of qv-driverd's own requests on a fresh connection.
  bool own(OwnCode code, const Bytes& in = {}, Bytes* out = nullptr) {
    auto handle = io.open(root.path() / "dev" / "QV.VXD");
    if (!handle) return false;
    Bytes unused;
    return handle->control(static_cast<std::uint32_t>(code), in, out ? *out : unused);
  }

  DriverModel state() {
    Bytes out(driverd::kStateSize);
    EXPECT_TRUE(own(OwnCode::ReadState, {}, &out));
    return DriverModel::fromBytes(std::span<const std::uint8_t, driverd::kStateSize>(out.data(), out.size()));
  }
};

TEST_F(DriverdTest, EveryPanelRequestTakesItsEffect) {
  root.writeRegistry(kMinimalStore);
  test::DriverdProcess driverd;
  ASSERT_TRUE(driverd.ready());

  channel.open()->beginCalibration();
  EXPECT_TRUE(state().calibrationMode);

  ASSERT_TRUE(own(OwnCode::InjectTouch, {0x12, 0xE0}));
  RawPoint point;
  point.bytes.fill(0x77);
  EXPECT_TRUE(channel.open()->readRawPoint(point));
  EXPECT_EQ(point.rawX(), 0x12);
  EXPECT_EQ(point.rawY(), 0xE0);

  channel.open()->setCalibration({0x04, 0xFB, 0x05, 0xFA});
  auto s = state();
  EXPECT_FALSE(s.calibrationMode);
  EXPECT_EQ(s.limits, (CalibrationRecord{0x04, 0xFB, 0x05, 0xFA}));

  {
    auto ok = channel.open();
    ASSERT_TRUE(ok);
    ok->setBeepSound(true);
    ok->setFixedMode();
    ok->setLongBeep(true);
    ok->setCursorOffset(makeCursorOffsetRecord(true, -2, 3, 800, 600));
  }
  s = state();
  EXPECT_TRUE(s.beepSound);
  EXPECT_TRUE(s.longBeep);
  EXPECT_EQ(s.fixedMode, (std::array<std::uint8_t, 4>{1, 0, 0, 0}));
  EXPECT_EQ(CursorOffsetRecord::fromBytes(s.cursorOffset), makeCursorOffsetRecord(true, -2, 3, 800, 600));

  channel.open()->setBeepSound(false);
  EXPECT_FALSE(state().beepSound);

  ASSERT_TRUE(own(OwnCode::InjectTouch, {1, 2}));
  ASSERT_TRUE(own(OwnCode::InjectLineErrors, {3, 0, 0, 0, 0, 1, 0, 0}));
  LineStatistics stats;
  EXPECT_TRUE(channel.open()->readLineStatistics(stats));
  EXPECT_EQ(stats.overrunErrors, 3u);
  EXPECT_EQ(stats.framingErrors, 256u);
  EXPECT_EQ(stats.penDowns, 2u);
  EXPECT_EQ(stats.penUps, 2u);

  ASSERT_TRUE(own(OwnCode::Reset));
  s = state();
  EXPECT_EQ(s.line.penDowns, 0u);
  EXPECT_FALSE(s.longBeep);
}

TEST_F(DriverdTest, InitializeWritesVxdInitBeforeReplying) {
  // No settings key at all: the driver creates it.
  test::DriverdProcess driverd;
  ASSERT_TRUE(driverd.ready());
  auto session = channel.open();
  ASSERT_TRUE(session);
  session->initializeDriver({0x03, 0xFC, 0x03, 0xFC});
  // Read at once after the reply, as the Initial procedure does.
  const std::string store = root.readRegistry();
  EXPECT_NE(store.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]"), std::string::npos) << store;
  EXPECT_NE(store.find("\"Vxd Init\"=\"Success\""), std::string::npos) << store;
  const auto s = state();
  EXPECT_TRUE(s.initialised);
  EXPECT_EQ(s.limits, (CalibrationRecord{0x03, 0xFC, 0x03, 0xFC}));
}

TEST_F(DriverdTest, FailingInitializeRecordsItsFailureTextAndKeepsOtherValues) {
  root.writeRegistry(std::string(kMinimalStore) + "\"Vxd Init\"=\"Success\"\n");
  test::DriverdProcess driverd({"--fail-init=Not Ready"});
  ASSERT_TRUE(driverd.ready());
  auto handle = io.open(driverd.socketPath());
  ASSERT_TRUE(handle);
  const auto rec = CalibrationRecord{}.toBytes();
  EXPECT_FALSE(handle->control(static_cast<std::uint32_t>(RequestCode::InitializeDriver), rec, {}));
  const std::string store = root.readRegistry();
  EXPECT_NE(store.find("\"Vxd Init\"=\"Not Ready\""), std::string::npos) << store;
  EXPECT_NE(store.find("\"Vxd Version\"=\"3.1.05\""), std::string::npos) << store;
  EXPECT_FALSE(state().initialised);
}

TEST_F(DriverdTest, StoreThatCannotBeWrittenFailsInitializeAndIsLeftAlone) {
  const std::string broken = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\nnot a value line\n";
  root.writeRegistry(broken);
  test::DriverdProcess driverd;
  ASSERT_TRUE(driverd.ready());
  auto handle = io.open(driverd.socketPath());
  ASSERT_TRUE(handle);
  const auto rec = CalibrationRecord{}.toBytes();
  EXPECT_FALSE(handle->control(static_cast<std::uint32_t>(RequestCode::InitializeDriver), rec, {}));
  EXPECT_EQ(root.readRegistry(), broken);
}

TEST_F(DriverdTest, InitAtStartRecordsSuccessBeforeServing) {
  root.writeRegistry(kMinimalStore);
  test::DriverdProcess driverd({"--init-at-start"});
  ASSERT_TRUE(driverd.ready());
  EXPECT_NE(root.readRegistry().find("\"Vxd Init\"=\"Success\""), std::string::npos);
}

TEST_F(DriverdTest, WrongRequestsFailButTheConnectionGoesOnAndEverythingIsLogged) {
  test::DriverdProcess driverd;
  ASSERT_TRUE(driverd.ready());
  auto handle = io.open(driverd.socketPath());
  ASSERT_TRUE(handle);
  EXPECT_FALSE(handle->control(0x04, {}, {}));          // not a request of this driver
  EXPECT_FALSE(handle->control(0x0D, Bytes{1, 0}, {}));  // long beep takes one byte
  EXPECT_TRUE(handle->control(0x0D, Bytes{1}, {}));
  Bytes shortOut(2, 0xEE);
  EXPECT_TRUE(handle->control(0x0C, {}, shortOut));  // reply cut to the room given
  handle.reset();
  const std::string log = requestLines(fileText(root.path() / "driverd.log"));
  EXPECT_EQ(log, "00000004 - fail\n0000000d 0100 fail\n0000000d 01 ok\n0000000c - ok\n");
}

// With --log-times each line keeps its fields and ends with the monotonic time in µs at
// which the request was answered, in order.
TEST_F(DriverdTest, LogTimesStampEachLineWithTheMonotonicClock) {
  auto nowUs = [] {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1'000'000LL + ts.tv_nsec / 1000;
  };
  test::DriverdProcess driverd({"--log-times"});
  ASSERT_TRUE(driverd.ready());
  auto handle = io.open(driverd.socketPath());
  ASSERT_TRUE(handle);
  const long long before = nowUs();
  EXPECT_TRUE(handle->control(0x0D, Bytes{1}, {}));
  EXPECT_FALSE(handle->control(0x04, {}, {}));
  const long long after = nowUs();
  handle.reset();
  std::istringstream log(requestLines(fileText(root.path() / "driverd.log")));
  const char* const fields[] = {"0000000d 01 ok ", "00000004 - fail "};
  long long previous = before;
  for (const char* expected : fields) {
    std::string line;
    ASSERT_TRUE(std::getline(log, line));
    ASSERT_TRUE(line.starts_with(expected)) << line;
    const long long at = std::stoll(line.substr(std::strlen(expected)));
    EXPECT_GE(at, previous);
    EXPECT_LE(at, after);
    previous = at;
  }
}

TEST_F(DriverdTest, MalformedOrStuckClientsDoNotBlockOthers) {
  test::DriverdProcess driverd;
  ASSERT_TRUE(driverd.ready());
  // One client sends half a frame and stalls; another claims a huge input.
  auto raw = [&](const Bytes& bytes) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, driverd.socketPath().c_str());
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    return fd;
  };
  const int stalled = raw({0x07, 0, 0, 0, 4, 0});
  const int huge = raw({0x02, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0});
  // The malformed one is closed by the driver.
  char c;
  EXPECT_EQ(::read(huge, &c, 1), 0);
  ::close(huge);
  // Meanwhile others are served.
  EXPECT_TRUE(own(OwnCode::InjectTouch, {9, 9}));
  EXPECT_EQ(state().rawX, 9);
  ::close(stalled);
}

TEST_F(DriverdTest, AClientThatStopsSendingStillGetsItsInitializeReply) {
  test::DriverdProcess driverd;
  ASSERT_TRUE(driverd.ready());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strcpy(addr.sun_path, driverd.socketPath().c_str());
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  // InitializeDriver, whose reply waits for the store, then nothing more from this side.
  const Bytes request{0x03, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0x03, 0xFC, 0x03, 0xFC, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(::write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
  ::shutdown(fd, SHUT_WR);
  std::uint8_t reply[16];
  EXPECT_EQ(::read(fd, reply, sizeof reply), 8);
  EXPECT_EQ(reply[0], 1);
  EXPECT_EQ(::read(fd, reply, sizeof reply), 0);  // then the driver closes
  ::close(fd);
}

TEST_F(DriverdTest, IdleClientsCannotLockOthersOutAndLiveOnesAreNeverDropped) {
  test::DriverdProcess driverd;
  ASSERT_TRUE(driverd.ready());
  std::vector<std::unique_ptr<platform::DeviceHandle>> clients;
  for (int i = 0; i < 100; ++i) {
    clients.push_back(io.open(driverd.socketPath()));
    ASSERT_TRUE(clients.back());
  }
  // Newcomers are served, and so is every connection that was opened before them.
  EXPECT_TRUE(own(OwnCode::InjectTouch, {5, 6}));
  int served = 0;
  for (auto& c : clients) served += c->control(0x01, {}, {}) ? 1 : 0;
  EXPECT_EQ(served, 100);
}

TEST_F(DriverdTest, AStoreLockedByAnotherProgramDelaysOnlyThatInitialize) {
  test::DriverdProcess driverd;
  ASSERT_TRUE(driverd.ready());
  // Another program holds the store's lock, as a writer of the store does.
  const int lock = ::open((root.path() / "registry.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);

  platform::SocketDeviceIo patient(30s);
  auto waiting = std::async(std::launch::async, [&] {
    auto handle = patient.open(driverd.socketPath());
    return handle && handle->control(static_cast<std::uint32_t>(RequestCode::InitializeDriver),
                                     CalibrationRecord{}.toBytes(), {});
  });
  ASSERT_TRUE(test::waitFor([&] { return state().initializeCount == 1; }));

  // Meanwhile every other client is answered within its limit.
  std::vector<std::future<bool>> others;
  for (int i = 0; i < 10; ++i) {
    others.push_back(std::async(std::launch::async, [&, i] {
      auto handle = io.open(driverd.socketPath());
      Bytes out(driverd::kStateSize);
      return handle && handle->control(static_cast<std::uint32_t>(OwnCode::InjectTouch), Bytes{1, static_cast<std::uint8_t>(i)}, {}) &&
             handle->control(static_cast<std::uint32_t>(OwnCode::ReadState), {}, out);
    }));
  }
  for (auto& o : others) EXPECT_TRUE(o.get());
  EXPECT_EQ(waiting.wait_for(0s), std::future_status::timeout);  // still waits for the store

  ::close(lock);
  EXPECT_TRUE(waiting.get());
  EXPECT_NE(root.readRegistry().find("\"Vxd Init\"=\"Success\""), std::string::npos);
}

TEST_F(DriverdTest, PeersOfAnotherUserAreRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs to switch users";
  test::DriverdProcess driverd;
  ASSERT_TRUE(driverd.ready());
  ::chmod(root.path().c_str(), 0755);
  ::chmod(driverd.socketPath().parent_path().c_str(), 0755);
  ::chmod(driverd.socketPath().c_str(), 0777);
  const Bytes touch{0x00, 0x10, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0x77, 0x77};  // InjectTouch (0x77, 0x77)
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The raw call: the C library's setuid() coordinates all threads, which a child of
    // a threaded process must not rely on.
    if (::syscall(SYS_setuid, 65534) != 0) ::_exit(3);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, driverd.socketPath().c_str());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) ::_exit(4);
    [[maybe_unused]] const auto sent = ::send(fd, touch.data(), touch.size(), MSG_NOSIGNAL);
    char reply[8];
    ::_exit(::recv(fd, reply, sizeof reply, MSG_WAITALL) > 0 ? 5 : 0);  // closed unanswered
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(state().rawX, 0);
}

TEST_F(DriverdTest, DriverKilledMidRequestFailsTheRequestPromptly) {
  test::DriverdProcess driverd({"--hold-code=9"});
  ASSERT_TRUE(driverd.ready());
  auto session = channel.open();
  ASSERT_TRUE(session);
  RawPoint point;
  point.bytes.fill(0x33);
  const auto start = std::chrono::steady_clock::now();
  auto request = std::async(std::launch::async, [&] { return session->readRawPoint(point); });
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(driverd.stop(SIGKILL));
  EXPECT_FALSE(request.get());
  // Failed when the connection broke, well before the reply limit.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
  EXPECT_EQ(point.bytes[1], 0x33);
  EXPECT_FALSE(channel.open());  // nobody serves the socket any more
}

// A controller on a pseudo-terminal, where this machine may offer no uinput: the driver
// reads and counts all the same, says once why nothing reaches a pointer device, and
// keeps serving when the line hangs up, telling the panel which port failed and why.
TEST_F(DriverdTest, ReadsTheControllerWithoutPointerOutputAndOutlivesItsHangUp) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master) | ::unlockpt(master), 0);
  std::filesystem::create_directories(root.path() / "dev");
  std::filesystem::create_symlink(::ptsname(master), root.path() / "dev" / "COM3");
  root.writeRegistry(std::string(kMinimalStore) + "\"Cfg_COM\"=\"COM3\"\n\"ChipBaudRate\"=\"115200\"\n" +
                     "\"X1\"=hex:00,10\n\"Ctrl_Sound\"=dword:00000001\n");
  // The controller acknowledges the driver's probes, as an older chip does.
  std::thread controller([master] { test::acknowledgeAfter(master, 10); });
  test::DriverdProcess driverd({"--init-at-start"}, false);
  controller.join();
  ASSERT_TRUE(driverd.ready());
  EXPECT_NE(root.readRegistry().find("\"Vxd Init\"=\"Success\""), std::string::npos);
  termios line{};
  ASSERT_EQ(::tcgetattr(master, &line), 0);
  EXPECT_EQ(::cfgetispeed(&line), static_cast<speed_t>(B115200));
  // The stored calibration and beep hold from the start.
  EXPECT_EQ(state().limits, (CalibrationRecord{0x10, 0xFC, 0x03, 0xFC}));
  EXPECT_TRUE(state().beepSound);

  // A probe reply, then a touch at 100.5, 50 (its pen down, the report that confirms it,
  // its pen up) whose second report is split between two writes.
  const Bytes first{0xFF, 0x70, 0x00, 0xC1, 0x32, 0x20, 0x19, 0x00, 0xC1, 0x32};
  const Bytes second{0x20, 0x19, 0x00, 0xC0, 0x32, 0x20, 0x19, 0x00};
  ASSERT_EQ(::write(master, first.data(), first.size()), static_cast<ssize_t>(first.size()));
  ASSERT_EQ(::write(master, second.data(), second.size()), static_cast<ssize_t>(second.size()));
  ASSERT_TRUE(test::waitFor([&] { return state().line.penUps == 1; }));
  EXPECT_EQ(state().line.penDowns, 1u);
  EXPECT_EQ(state().rawX, 100);
  EXPECT_EQ(state().rawY, 50);
  // A touch whose pen up never comes ends when the line stays quiet.
  const Bytes held{0xC1, 0x10, 0x00, 0x10, 0x00, 0xC1, 0x10, 0x00, 0x10, 0x00};
  ASSERT_EQ(::write(master, held.data(), held.size()), static_cast<ssize_t>(held.size()));
  EXPECT_TRUE(test::waitFor([&] { return state().line.penUps == 2; }));
  EXPECT_EQ(state().line.penDowns, 2u);

  ::close(master);
  const auto log = [&] { return fileText(root.path() / "driverd.log"); };
  ASSERT_TRUE(test::waitFor([&] { return log().find("is gone") != std::string::npos; })) << log();
  auto handle = io.open(driverd.socketPath());
  ASSERT_TRUE(handle);
  EXPECT_FALSE(handle->control(static_cast<std::uint32_t>(RequestCode::InitializeDriver), CalibrationRecord{}.toBytes(), {}));
  EXPECT_NE(root.readRegistry().find("\"Vxd Init\"=\"cannot open the controller port COM3: "), std::string::npos);
  EXPECT_NE(log().find("noise bytes 3"), std::string::npos) << log();
  EXPECT_NE(log().find("# beep\n"), std::string::npos) << log();
  if (::access("/dev/uinput", W_OK) != 0) {
    const std::string text = log();
    const auto said = text.find("# no pointer output: ");
    EXPECT_NE(said, std::string::npos) << text;
    EXPECT_EQ(text.find("# no pointer output: ", said + 1), std::string::npos) << text;
  }
}

TEST_F(DriverdTest, StartAndStop) {
  const auto socket = root.path() / "dev" / "QV.VXD";
  // A stale socket left by a driver that did not stop cleanly is replaced.
  std::filesystem::create_directories(socket.parent_path());
  {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, socket.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
  }
  // The first reads a controller: SIGTERM stops it cleanly also with its port open.
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master) | ::unlockpt(master), 0);
  std::filesystem::create_symlink(::ptsname(master), root.path() / "dev" / "COM3");
  root.writeRegistry(std::string(kMinimalStore) + "\"Cfg_COM\"=\"COM3\"\n");
  test::DriverdProcess first({}, false);
  ASSERT_TRUE(first.ready());

  // A second driver on the same socket refuses to start, before it looks at its input,
  // and leaves the first serving.
  std::string output;
  EXPECT_EQ(test::runProgram("qv-driverd", {"--input=/dev/null"}, &output), 1);
  EXPECT_NE(output.find("already serves"), std::string::npos) << output;
  EXPECT_TRUE(test::socketAnswers(socket));

  EXPECT_EQ(first.stop(SIGTERM), 0);
  EXPECT_FALSE(std::filesystem::exists(socket));
  ::close(master);

  test::DriverdProcess second;
  ASSERT_TRUE(second.ready());
  EXPECT_EQ(second.stop(SIGINT), 0);
  EXPECT_FALSE(std::filesystem::exists(socket));
}

TEST_F(DriverdTest, ControlToolPlaysTouchesAndReadsCounters) {
  test::DriverdProcess driverd;
  ASSERT_TRUE(driverd.ready());
  EXPECT_EQ(test::runProgram("qv-driverctl", {"touch", "40", "210"}), 0);
  EXPECT_EQ(test::runProgram("qv-driverctl", {"line-errors", "2", "5"}), 0);
  std::string out;
  EXPECT_EQ(test::runProgram("qv-driverctl", {"stats"}, &out), 0);
  EXPECT_EQ(out, "overrun=2\nframing=5\npen_down=1\npen_up=1\n");
  EXPECT_EQ(test::runProgram("qv-driverctl", {"send", "9", "-", "10"}, &out), 0);
  EXPECT_EQ(out, "ok 002800d2000000000000\n");
  EXPECT_EQ(test::runProgram("qv-driverctl", {"touch", "256", "0"}), 2);
  driverd.stop(SIGTERM);
  EXPECT_EQ(test::runProgram("qv-driverctl", {"stats"}), 1);
  // A device path too long for a socket is not taken for an absent driver.
  EXPECT_EQ(test::runProgram("qv-driverctl", {"--socket=" + std::string(120, 'x'), "stats"}, &out), 1);
  EXPECT_NE(out.find("longer than 107 bytes"), std::string::npos) << out;
}

}  // namespace
}  // namespace qv::driver
