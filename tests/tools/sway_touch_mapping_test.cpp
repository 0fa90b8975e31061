// qv-monitor's mapping on a sway desktop, against a stand-in for sway's IPC that answers
// with its outputs and records the commands: nothing done before a calibration, the covered
// monitor while the calibration screen is shown and the mapping put back after it, then the
// calibrated monitor, turned, followed when it is turned back.
#include "calibration/calibrating_monitor.h"
#include "platform/posix/system_store.h"
#include "settings/monitor_values.h"
#include "settings/value_names.h"
#include "support/private_root.h"
#include "support/wait_for.h"
#include "sway_ipc.h"
#include "sway_touch_mapping.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>
#include <fstream>
#include <mutex>
#include <thread>

namespace qv::tools {
namespace {

// Answers like sway 1.7 (no output events) and keeps every command it is sent.
class FakeSway {
public:
  explicit FakeSway(const std::string& path) : listener_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(listener_.get(), 4), 0);
    acceptor_ = std::thread([this] {
      for (int fd; (fd = ::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
        clients_.emplace_back([this, client = std::make_shared<platform::UniqueFd>(fd)] { serve(client->get()); });
      }
    });
  }
  ~FakeSway() {
    ::shutdown(listener_.get(), SHUT_RDWR);  // ends accept(); the clients end as their peers close
    acceptor_.join();
    for (auto& t : clients_) t.join();
  }
  void setOutputs(std::string json) {
    std::lock_guard lock(mutex_);
    outputs_ = std::move(json);
  }
  std::string lastCommand() {
    std::lock_guard lock(mutex_);
    return commands_.empty() ? "" : commands_.back();
  }

private:
  void serve(int fd) {
    try {
      for (;;) {
        const SwayMessage m = readSwayMessage(fd, std::chrono::seconds(60));
        std::string reply = "[]";
        std::lock_guard lock(mutex_);
        const bool known = m.payload.find("output") == std::string::npos;
        if (m.type == sway::kSubscribe) reply = known ? R"({"success":true})" : R"({"success":false})";
        if (m.type == sway::kGetOutputs) reply = outputs_;
        if (m.type == sway::kRunCommand) {
          commands_.push_back(m.payload);
          reply = R"([{"success":true},{"success":true}])";
        }
        const std::string bytes = swayMessageBytes(m.type, reply);
        if (::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0) return;
      }
    } catch (const SwayIpcError&) {
      // the mapping closed its connection
    }
  }

  platform::UniqueFd listener_;
  std::mutex mutex_;
  std::string outputs_ = "[]";
  std::vector<std::string> commands_;
  std::thread acceptor_;
  std::vector<std::thread> clients_;
};

std::string outputs(const char* dp2Transform) {
  return std::string(R"([{"name":"DP-1","model":"Office","active":true,"transform":"normal",
    "rect":{"x":0,"y":0,"width":1024,"height":768}},
   {"name":"DP-2","model":"Touch 15","active":true,"transform":")") + dp2Transform +
         R"(","rect":{"x":1024,"y":0,"width":768,"height":1024}}])";
}

std::string mapping(const char* output, const char* matrix) {
  const std::string device = "input \"20822:21587:Quorvane_Touch_Screen\"";
  return device + " map_to_output " + output + "; " + device + " calibration_matrix " + matrix;
}

TEST(SwayTouchMapping, CalibratingThenCalibratedThenTurnedBack) {
  test::PrivateRoot root;
  FakeSway sway((root.path() / "sway.sock").string());
  sway.setOutputs(outputs("90"));
  std::mutex saidMutex;
  std::string said;  // every line, one after another
  auto heard = [&](const char* text) {
    std::lock_guard lock(saidMutex);
    return said.find(text) != std::string::npos;
  };
  SwayTouchMapping mapper((root.path() / "sway.sock").string(), [&](const std::string& line) {
    std::lock_guard lock(saidMutex);
    said += line + "\n";
  });
  auto mappedTo = [&](const char* output, const char* matrix) {
    return test::waitFor([&] { return sway.lastCommand() == mapping(output, matrix); });
  };
  ASSERT_TRUE(test::waitFor([&] { return heard("no monitor calibrated yet"); }));
  EXPECT_EQ(sway.lastCommand(), "");  // a mapping made by hand stays

  std::filesystem::create_directories(calibration::calibratingMonitorFile().parent_path());
  std::ofstream(calibration::calibratingMonitorFile()) << "DP-2\n";
  mapper.reapply();
  // sway's "90" turns the picture clockwise: the unturned top-left corner lands bottom-left.
  EXPECT_TRUE(mappedTo("\"DP-2\"", "0 1 0 -1 0 1")) << sway.lastCommand();
  std::filesystem::remove(calibration::calibratingMonitorFile());
  mapper.reapply();
  EXPECT_TRUE(mappedTo("*", "1 0 0 0 1 0")) << sway.lastCommand();

  const auto store = platform::openSystemStore();
  ASSERT_TRUE(store->createKey(platform::RegistryRoot::LocalMachine, settings::kSettingsKey));
  store->writeValues(platform::RegistryRoot::LocalMachine, settings::kSettingsKey,
                     settings::monitorValues({"DP-2", "", "Touch 15", "", 0, 0, {}}));
  mapper.reapply();
  EXPECT_TRUE(mappedTo("\"DP-2\"", "0 1 0 -1 0 1")) << sway.lastCommand();
  sway.setOutputs(outputs("normal"));  // seen without being told
  EXPECT_TRUE(mappedTo("\"DP-2\"", "1 0 0 0 1 0")) << sway.lastCommand();
  EXPECT_TRUE(heard("touch screen on DP-2 (Touch 15), turned 270°"));
}

}  // namespace
}  // namespace qv::tools
