// Where the machine's parts live for a given environment, and the store that routes each
// root to its own file.
#include "platform/machine_root.h"
#include "platform/posix/routed_registry_store.h"
#include "support/private_root.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cerrno>

#include <map>

namespace qv::platform {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

MachinePlaces placesOf(std::map<std::string, std::string> env) {
  return machinePlacesFrom([&env](const char* name) -> const char* {
    auto it = env.find(name);
    return it == env.end() ? nullptr : it->second.c_str();
  });
}

TEST(MachinePlaces, FollowTheEnvironment) {
  struct Case {
    std::map<std::string, std::string> env;
    const char* userDir;
    const char* runDir;
  };
  const Case installed[] = {
      {{{"HOME", "/home/a"}}, "/home/a/.local/share/quorvane", "/home/a/.local/share/quorvane/run"},
      {{{"HOME", "/home/a"}, {"XDG_DATA_HOME", "/d"}, {"XDG_RUNTIME_DIR", "/run/user/7"}},
       "/d/quorvane", "/run/user/7/quorvane"},
      // Relative XDG folders are not folders at all.
      {{{"HOME", "/home/a"}, {"XDG_DATA_HOME", "d"}, {"XDG_RUNTIME_DIR", "r"}},
       "/home/a/.local/share/quorvane", "/home/a/.local/share/quorvane/run"},
  };
  for (const Case& c : installed) {
    const MachinePlaces p = placesOf(c.env);
    EXPECT_FALSE(p.privateMachine);
    EXPECT_EQ(p.machineDir, "/var/lib/quorvane");
    EXPECT_EQ(p.driverDevice, "/run/quorvane/QV.VXD");
    EXPECT_EQ(p.userDir, c.userDir);
    EXPECT_EQ(p.runDir, c.runDir);
  }
  const MachinePlaces own = placesOf({{"QUORVANE_HOME", "/m"}, {"HOME", "/home/a"}, {"XDG_RUNTIME_DIR", "/r"}});
  EXPECT_TRUE(own.privateMachine);
  EXPECT_EQ(own.machineDir, "/m");
  EXPECT_EQ(own.userDir, "/m");
  EXPECT_EQ(own.runDir, "/m/run");
  EXPECT_EQ(own.driverDevice, "/m/dev/QV.VXD");
  EXPECT_TRUE(placesOf({}).userDir.empty());  // a service without a home: the machine's part only
}

TEST(RoutedRegistryStore, KeepsEachRootInItsOwnFileAndShowsThemAsOne) {
  test::PrivateRoot root;
  const fs::path machine = root.path() / "machine";
  const fs::path user = root.path() / "user";
  RoutedRegistryStore store(machine, user);
  ASSERT_TRUE(store.importText("REGEDIT4\n\n[HKLM\\SOFTWARE\\Quorvane]\n\"Cfg_X1\"=\"10H\"\n\n"
                               "[HKCU\\Control Panel\\Mouse]\n\"DoubleClickSpeed\"=\"400\"\n",
                               "in"));
  ASSERT_TRUE(store.writeValue(RegistryRoot::CurrentUser, "Control Panel\\Mouse", "DoubleClickWidth",
                               RegistryValue::text("4")));
  const std::string machineText = test::readFile(machine / "registry.reg");
  const std::string userText = test::readFile(user / "registry.reg");
  EXPECT_THAT(machineText, HasSubstr("Cfg_X1"));
  EXPECT_THAT(machineText, Not(HasSubstr("HKEY_CURRENT_USER")));
  EXPECT_THAT(userText, HasSubstr("DoubleClickWidth"));
  EXPECT_THAT(userText, Not(HasSubstr("HKEY_LOCAL_MACHINE")));
  // An earlier version's machine part in the user's file is never read as the machine's.
  ASSERT_TRUE(store.userFile().importText("REGEDIT4\n\n[HKLM\\SOFTWARE\\Quorvane]\n\"Cfg_X1\"=\"20H\"\n", "old"));
  EXPECT_EQ(store.readValue(RegistryRoot::LocalMachine, "SOFTWARE\\Quorvane", "Cfg_X1"), RegistryValue::text("10H"));
  const auto both = store.exportText();
  ASSERT_TRUE(both);
  EXPECT_THAT(*both, HasSubstr("\"Cfg_X1\"=\"10H\""));
  EXPECT_THAT(*both, Not(HasSubstr("20H")));
  EXPECT_THAT(*both, HasSubstr("\"DoubleClickSpeed\"=\"400\""));
  EXPECT_THAT(store.location(), HasSubstr((machine / "registry.reg").string()));
  EXPECT_THAT(store.location(), HasSubstr((user / "registry.reg").string()));
}

// Replacing a store file fails with this error while it is set.
int failReplaceWith = 0;

TEST(RoutedRegistryStore, AMachineStoreThisUserMayNotChangeIsReadAndItsRefusalSaysSo) {
  test::PrivateRoot root;
  RoutedRegistryStore store(root.path() / "machine", root.path() / "user");
  ASSERT_TRUE(store.createKey(RegistryRoot::LocalMachine, "SOFTWARE\\Quorvane"));
  failReplaceWith = EACCES;
  EXPECT_FALSE(store.writeValue(RegistryRoot::LocalMachine, "SOFTWARE\\Quorvane", "Cfg_X1", RegistryValue::text("1")));
  EXPECT_TRUE(store.accessDenied());
  EXPECT_TRUE(store.keyExists(RegistryRoot::LocalMachine, "SOFTWARE\\Quorvane"));
  EXPECT_FALSE(store.accessDenied());
  failReplaceWith = EIO;
  EXPECT_FALSE(store.createKey(RegistryRoot::CurrentUser, "Control Panel"));
  EXPECT_FALSE(store.accessDenied());  // a failure, but not one of permission
  failReplaceWith = 0;
}

}  // namespace
}  // namespace qv::platform

// The store's rename fails while failReplaceWith is set; every other is the C library's.
extern "C" int rename(const char* from, const char* to) {
  static const auto real = reinterpret_cast<int (*)(const char*, const char*)>(::dlsym(RTLD_NEXT, "rename"));
  if (qv::platform::failReplaceWith == 0) return real(from, to);
  errno = qv::platform::failReplaceWith;
  return -1;
}
