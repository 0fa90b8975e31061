#include "support/private_root.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace qv::test {

PrivateRoot::PrivateRoot() {
  if (const char* old = std::getenv("QUORVANE_HOME")) {
    previous_ = old;
    hadPrevious_ = true;
  }
  // Short paths: socket names under the root must stay within 107 bytes.
  std::string pattern = "/tmp/qvt-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  ::setenv("QUORVANE_HOME", path_.c_str(), 1);
  ::setenv("QUORVANE_REBOOT_COMMAND", "true", 1);
}

PrivateRoot::~PrivateRoot() {
  if (hadPrevious_) {
    ::setenv("QUORVANE_HOME", previous_.c_str(), 1);
  } else {
    ::unsetenv("QUORVANE_HOME");
  }
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void PrivateRoot::writeRegistry(const std::string& text) const {
  std::ofstream out(path_ / "registry.reg", std::ios::binary | std::ios::trunc);
  out << text;
}

std::string PrivateRoot::readRegistry() const { return readFile(path_ / "registry.reg"); }

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::filesystem::path binDir() {
  if (const char* dir = std::getenv("QV_BIN_DIR"); dir && *dir) return dir;
#ifdef QV_DEFAULT_BIN_DIR
  return QV_DEFAULT_BIN_DIR;
#else
  return std::filesystem::current_path();
#endif
}

}  // namespace qv::test
