#pragma once
// A private machine root for one test: a fresh directory under /tmp named by
// QUORVANE_HOME while the object lives, removed afterwards.
#include <filesystem>
#include <string>

namespace qv::test {

class PrivateRoot {
public:
  PrivateRoot();
  ~PrivateRoot();
  PrivateRoot(const PrivateRoot&) = delete;
  PrivateRoot& operator=(const PrivateRoot&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Writes text to the root's registry.reg (a whole store file).
  void writeRegistry(const std::string& text) const;
  std::string readRegistry() const;

private:
  std::filesystem::path path_;
  std::string previous_;
  bool hadPrevious_ = false;
};

// A whole file's bytes; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);

// Folder of the built programs (QV_BIN_DIR, set by CTest), for tests that start them.
std::filesystem::path binDir();

}  // namespace qv::test
