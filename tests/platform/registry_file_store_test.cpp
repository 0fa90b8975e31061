#include "platform/machine_root.h"
#include "platform/posix/registry_file_store.h"
#include "support/private_root.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <set>
#include <thread>

namespace qv::platform {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr auto HKLM = RegistryRoot::LocalMachine;
constexpr auto HKCU = RegistryRoot::CurrentUser;
constexpr const char* kKey = "SOFTWARE\\Quorvane";

bool fileParses(const std::string& text) { return parseStoreFile(text).index() == 0; }

TEST(RegistryFileStore, KeepsEveryValueFormAcrossInstances) {
  test::PrivateRoot root;
  {
    RegistryFileStore store(root.path());
    EXPECT_FALSE(store.keyExists(HKLM, kKey));
    EXPECT_TRUE(store.lastError().empty());
    EXPECT_FALSE(store.writeValue(HKLM, kKey, "Restart", RegistryValue::dword(0)));  // no key yet
    ASSERT_TRUE(store.createKey(HKLM, "SOFTWARE\\Quorvane\\Sub"));
    ASSERT_TRUE(store.createKey(HKCU, "Control Panel\\Cursors"));
    EXPECT_TRUE(store.keyExists(HKLM, "software"));  // parents were created
    EXPECT_TRUE(store.writeValue(HKLM, "Software\\QUORVANE", "Vxd Version", RegistryValue::text("3.1.05")));
    EXPECT_TRUE(store.writeValue(HKLM, kKey, "Restart", RegistryValue::dword(0xFFFFFFFF)));
    EXPECT_TRUE(store.writeValue(HKLM, kKey, "Firmware", RegistryValue::binary({0x10, 0x00})));
    EXPECT_TRUE(store.writeValue(HKLM, kKey, "Path", RegistryValue{regtype::ExpandSz, {'/', 'u', 0}}));
    EXPECT_TRUE(store.writeValue(HKLM, kKey, "Quote", RegistryValue::text("C:\\x \"y\"\nz")));
    EXPECT_TRUE(store.writeValue(HKLM, kKey, "VXD VERSION", RegistryValue::text("3.1.06")));
    EXPECT_TRUE(store.writeValue(HKCU, "Control Panel\\Cursors", "Arrow", RegistryValue::text("")));
    EXPECT_FALSE(store.writeValue(HKLM, kKey, "Bad\nName", RegistryValue::text("")));
    EXPECT_FALSE(store.writeValues(HKLM, "SOFTWARE\\Missing", {{"A", RegistryValue::dword(1)}}));
    EXPECT_TRUE(store.writeValues(HKLM, "SOFTWARE\\Quorvane\\Sub",
                                  {{"A", RegistryValue::dword(1)}, {"B", RegistryValue::dword(2)}, {"a", RegistryValue::dword(3)}}));
  }
  std::string text = root.readRegistry();
  EXPECT_THAT(text, StartsWith("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n"));
  EXPECT_THAT(text, HasSubstr("\"Vxd Version\"=\"3.1.06\"\n\"Restart\"=dword:ffffffff\n\"Firmware\"=hex:10,00\n"));
  EXPECT_THAT(text, HasSubstr("[HKEY_CURRENT_USER\\Control Panel\\Cursors]\n\"Arrow\"=\"\"\n"));

  RegistryFileStore other(root.path());
  EXPECT_THAT(other.valueNames(HKLM, "software\\quorvane"), ElementsAre("Vxd Version", "Restart", "Firmware", "Path", "Quote"));
  EXPECT_EQ(other.readValue(HKLM, kKey, "vxd version"), RegistryValue::text("3.1.06"));
  EXPECT_EQ(other.readValue(HKLM, kKey, "Restart"), RegistryValue::dword(0xFFFFFFFF));
  EXPECT_EQ(other.readValue(HKLM, kKey, "Path"), (RegistryValue{regtype::ExpandSz, {'/', 'u', 0}}));
  EXPECT_EQ(other.readValue(HKLM, kKey, "Quote"), RegistryValue::text("C:\\x \"y\"\nz"));
  EXPECT_EQ(other.readValue(HKLM, kKey, "Missing"), std::nullopt);
  EXPECT_THAT(other.valueNames(HKLM, "SOFTWARE\\Quorvane\\Sub"), ElementsAre("A", "B"));
  EXPECT_EQ(other.readValue(HKLM, "SOFTWARE\\Quorvane\\Sub", "A"), RegistryValue::dword(3));
  EXPECT_TRUE(other.lastError().empty());

  EXPECT_TRUE(other.deleteValue(HKLM, kKey, "FIRMWARE"));
  EXPECT_TRUE(other.deleteValue(HKLM, kKey, "Firmware"));  // already gone: still fine
  EXPECT_FALSE(other.deleteKey(HKLM, ""));
  EXPECT_TRUE(other.deleteKey(HKLM, "Software\\Quorvane"));
  EXPECT_FALSE(other.keyExists(HKLM, "SOFTWARE\\Quorvane\\Sub"));
  EXPECT_TRUE(other.keyExists(HKLM, "SOFTWARE"));
  EXPECT_FALSE(std::filesystem::exists(root.path() / "registry.reg.tmp"));
}

TEST(RegistryFileStore, SeesChangesMadeByOthers) {
  test::PrivateRoot root;
  root.writeRegistry("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Vxd Init\"=\"Failure\"\n");
  RegistryFileStore store(root.path());
  RegistryFileStore other(root.path());
  EXPECT_EQ(store.readValue(HKLM, kKey, "Vxd Init"), RegistryValue::text("Failure"));
  // Rewritten in place at once, same size: the inode, size and probably the time stay.
  root.writeRegistry("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Vxd Init\"=\"Success\"\n");
  EXPECT_EQ(store.readValue(HKLM, kKey, "Vxd Init"), RegistryValue::text("Success"));
  // Replaced by another writer twice within a moment, same size each time.
  for (const char* v : {"AAAAAAA", "BBBBBBB"}) {
    ASSERT_TRUE(other.writeValue(HKLM, kKey, "Vxd Init", RegistryValue::text(v)));
    EXPECT_EQ(store.readValue(HKLM, kKey, "Vxd Init"), RegistryValue::text(v));
  }
  // Once the file is old enough for its stamp to be trusted, reads come from the cache
  // and a replacement by another writer is still seen.
  const auto file = root.path() / "registry.reg";
  std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) - std::chrono::seconds(10));
  EXPECT_EQ(store.readValue(HKLM, kKey, "Vxd Init"), RegistryValue::text("BBBBBBB"));
  EXPECT_EQ(store.readValue(HKLM, kKey, "Vxd Init"), RegistryValue::text("BBBBBBB"));
  ASSERT_TRUE(other.writeValue(HKLM, kKey, "Vxd Init", RegistryValue::text("CCCCCCC")));
  EXPECT_EQ(store.readValue(HKLM, kKey, "Vxd Init"), RegistryValue::text("CCCCCCC"));
}

TEST(RegistryFileStore, BrokenFileFailsEveryOperationAndIsNeverOverwritten) {
  test::PrivateRoot root;
  const std::string broken =
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Restart\"=dword:0000000\n\"Odd\"=dwrd:1\n";
  root.writeRegistry(broken);
  RegistryFileStore store(root.path());
  const std::string expected = (root.path() / "registry.reg").string() + ":5: ";

  auto failedWithLine = [&](bool ok) {
    EXPECT_FALSE(ok);
    EXPECT_THAT(store.lastError(), StartsWith(expected));
  };
  failedWithLine(store.keyExists(HKLM, kKey));
  failedWithLine(store.readValue(HKLM, kKey, "Restart").has_value());
  failedWithLine(!store.valueNames(HKLM, kKey).empty());
  failedWithLine(store.createKey(HKLM, "SOFTWARE\\New"));
  failedWithLine(store.writeValue(HKLM, kKey, "Restart", RegistryValue::dword(1)));
  failedWithLine(store.deleteValue(HKLM, kKey, "Restart"));
  failedWithLine(store.deleteKey(HKLM, kKey));
  failedWithLine(store.importText("REGEDIT4\n[HKLM\\A]\n", "in.reg"));
  failedWithLine(store.exportText().has_value());
  EXPECT_EQ(root.readRegistry(), broken);
  EXPECT_FALSE(std::filesystem::exists(root.path() / "registry.reg.tmp"));

  // Once repaired by hand, the store works again.
  root.writeRegistry("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Restart\"=dword:00000001\n");
  EXPECT_EQ(store.readValue(HKLM, kKey, "Restart"), RegistryValue::dword(1));
  EXPECT_TRUE(store.lastError().empty());

  // An empty file is a store without keys, and a first write fills it.
  root.writeRegistry("");
  EXPECT_FALSE(store.keyExists(HKLM, kKey));
  EXPECT_TRUE(store.lastError().empty());
  EXPECT_TRUE(store.createKey(HKLM, kKey));
}

TEST(RegistryFileStore, ImportsWithDeletionsAndExportsOneSubtree) {
  test::PrivateRoot root;
  RegistryFileStore store(root.path());
  ASSERT_TRUE(store.importText(
      "REGEDIT4\n[HKLM\\SOFTWARE\\Quorvane]\n\"A\"=\"1\"\n\"B\"=\"2\"\n[HKLM\\SOFTWARE\\Quorvane\\Sub]\n"
      "[HKLM\\SOFTWARE\\Other]\n\"C\"=dword:00000003\n",
      "first.reg"));
  const std::string before = root.readRegistry();
  EXPECT_FALSE(store.importText("REGEDIT4\n[-HKLM\\SOFTWARE\\Other]\n\"x\"=hex:zz\n", "second.reg"));
  EXPECT_EQ(store.lastError(), "second.reg:3: value line under a [-key] deletion");
  EXPECT_EQ(root.readRegistry(), before);  // nothing of a broken import is applied

  ASSERT_TRUE(store.importText("REGEDIT4\n[-HKLM\\SOFTWARE\\Other]\n[HKLM\\SOFTWARE\\Quorvane]\n\"a\"=-\n", "third.reg"));
  EXPECT_FALSE(store.keyExists(HKLM, "SOFTWARE\\Other"));
  EXPECT_THAT(store.valueNames(HKLM, kKey), ElementsAre("B"));
  EXPECT_EQ(store.exportText(HKLM, "software\\quorvane"),
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"B\"=\"2\"\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane\\Sub]\n\n");
  EXPECT_EQ(store.exportText(HKLM, "SOFTWARE\\Other"), std::nullopt);
  EXPECT_TRUE(store.lastError().empty());
}

// Runs fn in a child process; the child's exit status is fn's result (0 = success).
pid_t spawnChild(const std::function<int()>& fn) {
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(fn());
  return pid;
}

int exitStatus(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST(RegistryFileStore, TwoProcessesWritingAtOnceLoseNothing) {
  test::PrivateRoot root;
  {
    RegistryFileStore store(root.path());
    ASSERT_TRUE(store.createKey(HKLM, kKey));
  }
  constexpr int kEach = 500;
  auto writer = [&](int which) {
    return spawnChild([&, which] {
      RegistryFileStore store(root.path());
      for (int i = 0; i < kEach; ++i) {
        std::string name = "P" + std::to_string(which) + "_" + std::to_string(i);
        if (!store.writeValue(HKLM, kKey, name, RegistryValue::dword(static_cast<std::uint32_t>(i)))) return 1;
      }
      return 0;
    });
  };
  pid_t a = writer(0);
  pid_t b = writer(1);

  // Meanwhile every version of the file that a reader sees parses.
  std::atomic<bool> done{false};
  int versionsSeen = 0;
  bool allParsed = true;
  std::thread reader([&] {
    while (!done) {
      std::string text = root.readRegistry();
      if (!text.empty() && !fileParses(text)) allParsed = false;
      ++versionsSeen;
    }
  });
  EXPECT_EQ(exitStatus(a), 0);
  EXPECT_EQ(exitStatus(b), 0);
  done = true;
  reader.join();
  EXPECT_TRUE(allParsed);

  RegistryFileStore store(root.path());
  std::vector<std::string> names = store.valueNames(HKLM, kKey);
  EXPECT_EQ(names.size(), 2u * kEach);
  std::set<std::string> unique(names.begin(), names.end());
  EXPECT_EQ(unique.size(), 2u * kEach);
  EXPECT_EQ(store.readValue(HKLM, kKey, "p1_499"), RegistryValue::dword(499));
}

TEST(RegistryFileStore, WriterKilledMidStreamLeavesEveryCompletedWrite) {
  test::PrivateRoot root;
  {
    RegistryFileStore store(root.path());
    ASSERT_TRUE(store.createKey(HKLM, kKey));
  }
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  pid_t child = spawnChild([&] {
    ::close(fds[0]);
    RegistryFileStore store(root.path());
    for (int i = 0;; ++i) {
      // Large values make the window inside a write wide enough to be hit.
      std::vector<std::uint8_t> bytes(2000, static_cast<std::uint8_t>(i));
      if (!store.writeValue(HKLM, kKey, "V" + std::to_string(i), RegistryValue::binary(bytes))) return 1;
      if (::write(fds[1], &i, sizeof i) != sizeof i) return 2;  // reported only once it returned
    }
  });
  ::close(fds[1]);
  int last = -1;
  for (int n; last < 40 && ::read(fds[0], &n, sizeof n) == sizeof n;) last = n;
  ASSERT_GT(child, 0);  // never signal a process group or every process
  ::kill(child, SIGKILL);
  for (int n; ::read(fds[0], &n, sizeof n) == sizeof n;) last = n;
  ::close(fds[0]);
  EXPECT_EQ(exitStatus(child), 100 + SIGKILL);
  ASSERT_GE(last, 40);

  EXPECT_TRUE(fileParses(root.readRegistry()));
  RegistryFileStore store(root.path());
  for (int i = 0; i <= last; ++i) {
    auto v = store.readValue(HKLM, kKey, "V" + std::to_string(i));
    ASSERT_TRUE(v.has_value()) << i;
    EXPECT_EQ(v->data.size(), 2000u);
  }
  // The next writer carries on over whatever temporary file the killed one left.
  EXPECT_TRUE(store.writeValue(HKLM, kKey, "After", RegistryValue::dword(1)));
  EXPECT_FALSE(std::filesystem::exists(root.path() / "registry.reg.tmp"));
}


TEST(RegistryFileStore, KeysBeyondTheLimitsAreRefusedWithNothingWritten) {
  test::PrivateRoot root;
  RegistryFileStore store(root.path());
  ASSERT_TRUE(store.createKey(HKLM, kKey));
  const std::string before = root.readRegistry();

  std::string deep = "REGEDIT4\n[HKLM\\SOFTWARE\\Quorvane]\n\"A\"=\"1\"\n[HKLM";
  for (int i = 0; i < 100'000; ++i) deep += "\\d";
  EXPECT_FALSE(store.importText(deep + "]\n", "deep.reg"));
  EXPECT_EQ(store.lastError(), "deep.reg:4: a key name has more than 512 levels");
  EXPECT_FALSE(store.importText("REGEDIT4\n[HKLM\\" + std::string(256, 'x') + "]\n", "long.reg"));
  EXPECT_EQ(store.lastError(), "long.reg:2: a key name part is longer than 255 characters");
  EXPECT_FALSE(store.createKey(HKLM, std::string(100'000, 'x')));
  EXPECT_THAT(store.lastError(), HasSubstr("a key name part is longer than 255 characters"));
  EXPECT_EQ(root.readRegistry(), before);
}

// Runs fn in a child process and waits at most `deadline` for it (a hang fails the test
// instead of stopping it); the result is fn's exit status, or -1 when it did not finish.
int runBounded(const std::function<int()>& fn, std::chrono::seconds deadline) {
  pid_t child = spawnChild(fn);
  if (child <= 0) return -1;
  for (auto end = std::chrono::steady_clock::now() + deadline; std::chrono::steady_clock::now() < end;) {
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  return -1;
}

TEST(RegistryFileStore, AStoreThatIsNotARegularFileIsRefusedAtOnce) {
  test::PrivateRoot root;
  const auto file = root.path() / "registry.reg";
  auto refusedEverywhere = [&] {
    RegistryFileStore store(root.path());
    const bool read = store.readValue(HKLM, kKey, "Restart").has_value();
    const bool readRefused = store.lastError().find("not a regular file") != std::string::npos;
    const bool written = store.createKey(HKLM, kKey);
    const bool writeRefused = store.lastError().find("not a regular file") != std::string::npos;
    return !read && readRefused && !written && writeRefused ? 0 : 1;
  };
  ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
  EXPECT_EQ(runBounded(refusedEverywhere, std::chrono::seconds(60)), 0) << "a FIFO store";
  std::filesystem::remove(file);
  std::filesystem::create_symlink("/dev/zero", file);
  EXPECT_EQ(runBounded(refusedEverywhere, std::chrono::seconds(60)), 0) << "a link to /dev/zero";
  EXPECT_TRUE(std::filesystem::is_symlink(file));

  // Too large a store is refused too (a sparse file: no disk is used).
  std::filesystem::remove(file);
  std::ofstream(file) << "REGEDIT4\n";
  std::filesystem::resize_file(file, (std::uintmax_t{64} << 20) + 1);
  RegistryFileStore store(root.path());
  EXPECT_FALSE(store.keyExists(HKLM, kKey));
  EXPECT_THAT(store.lastError(), HasSubstr("larger than 64 MB"));
}

TEST(RegistryFileStore, AHeldLockFailsTheWriteAfterTheLimit) {
  test::PrivateRoot root;
  RegistryFileStore store(root.path());
  ASSERT_TRUE(store.createKey(HKLM, kKey));
  int held = ::open((root.path() / "registry.lock").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  store.setLockWaitLimit(std::chrono::milliseconds(200));
  EXPECT_FALSE(store.writeValue(HKLM, kKey, "Restart", RegistryValue::dword(1)));
  EXPECT_EQ(store.lastError(), (root.path() / "registry.reg").string() +
                                   ": the store is locked by another program (waited 200 ms for registry.lock)");
  ::close(held);
  EXPECT_TRUE(store.writeValue(HKLM, kKey, "Restart", RegistryValue::dword(1)));
}

TEST(RegistryFileStore, TheTemporaryFileIsNeverOpenedThroughALink) {
  test::PrivateRoot root;
  RegistryFileStore store(root.path());
  ASSERT_TRUE(store.createKey(HKLM, kKey));
  const auto tmp = root.path() / "registry.reg.tmp";
  const auto target = root.path() / "target";
  std::ofstream(target) << "keep";
  std::filesystem::create_symlink(target, tmp);
  EXPECT_FALSE(store.writeValue(HKLM, kKey, "Restart", RegistryValue::dword(1)));
  EXPECT_THAT(store.lastError(), HasSubstr("registry.reg.tmp"));
  EXPECT_EQ(test::readFile(target), "keep");
  EXPECT_TRUE(std::filesystem::is_symlink(tmp));

  // A regular file there is what a killed writer left: it goes.
  std::filesystem::remove(tmp);
  std::ofstream(tmp) << "stale";
  EXPECT_TRUE(store.writeValue(HKLM, kKey, "Restart", RegistryValue::dword(1)));
  EXPECT_FALSE(std::filesystem::exists(tmp));
}

std::atomic<bool> failFolderFlush{false};

TEST(RegistryFileStore, AFolderThatCannotBeFlushedKeepsTheWriteAndSaysSo) {
  test::PrivateRoot root;
  RegistryFileStore store(root.path());
  ASSERT_TRUE(store.createKey(HKLM, kKey));
  failFolderFlush = true;
  EXPECT_TRUE(store.writeValues(HKLM, kKey, {{"Cfg_X1", RegistryValue::text("10H")}}));
  failFolderFlush = false;
  EXPECT_THAT(store.lastError(), HasSubstr("cannot flush to disk"));
  EXPECT_EQ(RegistryFileStore(root.path()).readValue(HKLM, kKey, "Cfg_X1"), RegistryValue::text("10H"));
}

TEST(MachineRoot, ARelativeNameKeepsNamingTheSameFolderWhenTheWorkingDirectoryChanges) {
  test::PrivateRoot root;
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(root.path());
  ::setenv("QUORVANE_HOME", "machine", 1);
  const std::filesystem::path found = machineRoot();
  std::filesystem::current_path(before);
  EXPECT_EQ(found, std::filesystem::canonical(root.path()) / "machine");
  EXPECT_EQ(machineRoot(), found);
  EXPECT_EQ(std::getenv("QUORVANE_HOME"), found.string());  // as programs started from here see it
}

}  // namespace
}  // namespace qv::platform

// The folder's flush fails while failFolderFlush is set; everything else is the C library's.
extern "C" int fsync(int fd) {
  static const auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
  struct stat st {};
  if (!qv::platform::failFolderFlush || ::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) return real(fd);
  errno = EIO;
  return -1;
}
