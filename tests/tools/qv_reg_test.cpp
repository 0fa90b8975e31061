#include "platform/posix/registry_file_store.h"
#include "support/private_root.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// The built programs sit beside this test program; QV_BIN_DIR names that folder when set.
std::filesystem::path programDir() {
  if (std::getenv("QV_BIN_DIR")) return qv::test::binDir();
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs qv-reg with the arguments, feeding `input` to its standard input.
ToolRun qvReg(const qv::test::PrivateRoot& root, std::vector<std::string> args, const std::string& input = "") {
  const std::string dir = root.path().string();
  const std::string outFile = dir + "/out.txt", errFile = dir + "/err.txt", inFile = dir + "/in.txt";
  std::ofstream(inFile) << input;
  pid_t pid = ::fork();
  if (pid == 0) {
    if (!std::freopen(inFile.c_str(), "r", stdin) || !std::freopen(outFile.c_str(), "w", stdout) ||
        !std::freopen(errFile.c_str(), "w", stderr)) {
      ::_exit(127);
    }
    std::string program = (programDir() / "qv-reg").string();
    std::vector<char*> argv{program.data()};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ToolRun run;
  int status = 0;
  ::waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::stringstream out, err;
  out << std::ifstream(outFile).rdbuf();
  err << std::ifstream(errFile).rdbuf();
  run.out = out.str();
  run.err = err.str();
  return run;
}

TEST(QvReg, AddQueryExportAndDelete) {
  qv::test::PrivateRoot root;
  const std::string key = "HKLM\\SOFTWARE\\Quorvane";
  EXPECT_EQ(qvReg(root, {"add", key, "Vxd Version", "REG_SZ", "3.1.05"}).status, 0);
  EXPECT_EQ(qvReg(root, {"add", key, "Restart", "REG_DWORD", "-1"}).status, 0);
  EXPECT_EQ(qvReg(root, {"add", key, "Firmware", "reg_binary", "10,0"}).status, 0);
  EXPECT_EQ(qvReg(root, {"add", key, "Port", "REG_BINARY", "03F8"}).status, 0);
  EXPECT_EQ(qvReg(root, {"add", key, "Path", "REG_EXPAND_SZ", "/opt"}).status, 0);
  EXPECT_EQ(qvReg(root, {"add", "HKEY_CURRENT_USER\\Control Panel\\Cursors"}).status, 0);

  qv::platform::RegistryFileStore store(root.path());
  using qv::platform::RegistryValue;
  EXPECT_EQ(store.readValue(qv::platform::RegistryRoot::LocalMachine, "SOFTWARE\\Quorvane", "Restart"),
            RegistryValue::dword(0xFFFFFFFF));
  EXPECT_EQ(store.readValue(qv::platform::RegistryRoot::LocalMachine, "SOFTWARE\\Quorvane", "Port"),
            RegistryValue::binary({0x03, 0xF8}));
  EXPECT_TRUE(store.keyExists(qv::platform::RegistryRoot::CurrentUser, "Control Panel\\Cursors"));

  ToolRun query = qvReg(root, {"query", "hkey_local_machine\\software\\quorvane", "firmware"});
  EXPECT_EQ(query.status, 0);
  EXPECT_EQ(query.out, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane\n    Firmware    REG_BINARY    1000\n");
  query = qvReg(root, {"query", "HKLM\\SOFTWARE"});
  EXPECT_EQ(query.out, "HKEY_LOCAL_MACHINE\\SOFTWARE\n\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane\n");
  EXPECT_THAT(qvReg(root, {"query", key}).out, HasSubstr("    Path    REG_EXPAND_SZ    /opt\n"));

  ToolRun exported = qvReg(root, {"export", key});
  EXPECT_EQ(exported.status, 0);
  EXPECT_EQ(exported.out,
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Vxd Version\"=\"3.1.05\"\n"
            "\"Restart\"=dword:ffffffff\n\"Firmware\"=hex:10,00\n\"Port\"=hex:03,f8\n\"Path\"=hex(2):2f,6f,70,74,00\n\n");
  EXPECT_EQ(qvReg(root, {"export"}).out, root.readRegistry());

  EXPECT_EQ(qvReg(root, {"delete", key, "RESTART"}).status, 0);
  EXPECT_EQ(qvReg(root, {"query", key, "Restart"}).status, 1);
  EXPECT_EQ(qvReg(root, {"delete", key, "Restart"}).status, 1);
  EXPECT_EQ(qvReg(root, {"delete", "HKLM\\SOFTWARE"}).status, 0);
  ToolRun gone = qvReg(root, {"query", key});
  EXPECT_EQ(gone.status, 1);
  EXPECT_EQ(gone.err, "qv-reg: key not found: HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane\n");
  EXPECT_EQ(qvReg(root, {"export", key}).status, 1);
}

TEST(QvReg, ImportAppliesDeletionsInOneStep) {
  qv::test::PrivateRoot root;
  root.writeRegistry(
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Keep\"=\"1\"\n\"Drop\"=\"2\"\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Old\\Sub]\n\n");
  const std::string file = (root.path() / "change.reg").string();
  std::ofstream(file) << "REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n"
                         "[HKLM\\SOFTWARE\\Quorvane]\r\n\"Drop\"=-\r\n\"Added\"=dword:00000005\r\n";
  ToolRun run = qvReg(root, {"import", file});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(root.readRegistry(),
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Keep\"=\"1\"\n\"Added\"=dword:00000005\n\n");

  EXPECT_EQ(qvReg(root, {"import", "-"}, "REGEDIT4\n[HKCU\\Control Panel\\Mouse]\n\"DoubleClickSpeed\"=\"500\"\n").status, 0);
  EXPECT_THAT(root.readRegistry(), HasSubstr("[HKEY_CURRENT_USER\\Control Panel\\Mouse]\n\"DoubleClickSpeed\"=\"500\"\n"));
}

TEST(QvReg, ErrorsSayWhatIsWrong) {
  qv::test::PrivateRoot root;
  const std::string bad = (root.path() / "bad.reg").string();
  std::ofstream(bad) << "REGEDIT4\n[HKLM\\A]\n\"x\"=hex:zz\n";
  ToolRun run = qvReg(root, {"import", bad});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "qv-reg: " + bad + ":3: bad byte in hex data\n");
  EXPECT_FALSE(std::filesystem::exists(root.path() / "registry.reg"));

  EXPECT_EQ(qvReg(root, {"import", bad + ".missing"}).status, 2);
  EXPECT_EQ(qvReg(root, {}).status, 2);
  EXPECT_EQ(qvReg(root, {"frobnicate"}).status, 2);
  EXPECT_EQ(qvReg(root, {"query", "HKEY_CLASSES_ROOT\\x"}).status, 2);
  EXPECT_EQ(qvReg(root, {"delete", "HKLM"}).status, 2);
  ToolRun type = qvReg(root, {"add", "HKLM\\A", "v", "REG_QWORD", "1"});
  EXPECT_EQ(type.status, 2);
  EXPECT_THAT(type.err, HasSubstr("unknown type 'REG_QWORD'"));
  EXPECT_EQ(qvReg(root, {"add", "HKLM\\A", "v", "REG_DWORD", "4294967296"}).status, 2);
  EXPECT_EQ(qvReg(root, {"add", "HKLM\\A", "v", "REG_BINARY", "123"}).status, 2);
  ToolRun help = qvReg(root, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_THAT(help.out, HasSubstr("REG_DWORD      a number"));

  // A broken store is reported with its file and line, and left as it is.
  const std::string broken = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\noops\n";
  root.writeRegistry(broken);
  ToolRun add = qvReg(root, {"add", "HKLM\\A", "v", "REG_SZ", "x"});
  EXPECT_EQ(add.status, 2);
  EXPECT_THAT(add.err, StartsWith("qv-reg: " + (root.path() / "registry.reg").string() + ":3: "));
  EXPECT_EQ(qvReg(root, {"query", "HKLM\\A"}).status, 2);
  EXPECT_EQ(root.readRegistry(), broken);
}


TEST(QvReg, ADwordWithALongNameReadsBack) {
  qv::test::PrivateRoot root;
  const std::string key = "HKLM\\SOFTWARE\\Quorvane";
  const std::string name(70, 'n');
  ASSERT_EQ(qvReg(root, {"add", key, name, "REG_DWORD", "0x1234567"}).status, 0);
  EXPECT_THAT(root.readRegistry(), HasSubstr("\"" + name + "\"=dword:01234567\n"));
  ToolRun query = qvReg(root, {"query", key, name});
  EXPECT_EQ(query.status, 0) << query.err;
  EXPECT_THAT(query.out, HasSubstr("REG_DWORD    0x1234567"));
  EXPECT_EQ(qvReg(root, {"add", key, "Next", "REG_SZ", "x"}).status, 0);
}

TEST(QvReg, AddOfAKeyAndItsValueIsOneWrite) {
  qv::test::PrivateRoot root;
  // Each write replaces registry.reg by a rename; count them.
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, root.path().c_str(), IN_MOVED_TO), 0);
  ASSERT_EQ(qvReg(root, {"add", "HKLM\\SOFTWARE\\Quorvane\\New", "Restart", "REG_DWORD", "1"}).status, 0);
  int replacements = 0;
  alignas(inotify_event) char buffer[4096];
  for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
    for (char* p = buffer; p < buffer + n;) {
      auto* event = reinterpret_cast<inotify_event*>(p);
      if (event->len > 0 && std::string(event->name) == "registry.reg") ++replacements;
      p += sizeof(inotify_event) + event->len;
    }
  }
  ::close(watch);
  EXPECT_EQ(replacements, 1);
  qv::platform::RegistryFileStore store(root.path());
  EXPECT_EQ(store.readValue(qv::platform::RegistryRoot::LocalMachine, "SOFTWARE\\Quorvane\\New", "Restart"),
            qv::platform::RegistryValue::dword(1));
}

}  // namespace
