// Finds a window by class and title and posts or sends it one message.
//   qv-sendmsg [--post|--send|--find] CLASS TITLE MSG [WPARAM LPARAM]
// Exit code 0 when delivered (a sent message's answer is printed), 1 when the window is
// absent or did not answer, 2 on a usage error. Numbers may be decimal or 0x-hexadecimal.
#include "platform/posix/unix_window_endpoints.h"

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

std::optional<std::uint32_t> number(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
  if (*end != '\0' || errno != 0 || v > 0xFFFFFFFFull || text[0] == '-') return std::nullopt;
  return static_cast<std::uint32_t>(v);
}

int usage() {
  std::cerr << "usage: qv-sendmsg [--post|--send|--find] CLASS TITLE [MSG [WPARAM LPARAM]]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string mode = "--post";
  if (!args.empty() && args[0].rfind("--", 0) == 0) {
    mode = args[0];
    args.erase(args.begin());
  }
  if (mode != "--post" && mode != "--send" && mode != "--find") return usage();
  qv::platform::UnixWindowMessenger messenger;
  if (mode == "--find") {
    if (args.size() != 2) return usage();
    const bool found = messenger.windowExists(args[0], args[1]);
    std::cout << (found ? "found" : "absent") << "\n";
    return found ? 0 : 1;
  }
  if (args.size() != 3 && args.size() != 5) return usage();
  qv::platform::WindowMessage msg;
  const auto m = number(args[2]);
  const auto w = args.size() == 5 ? number(args[3]) : std::optional<std::uint32_t>(0);
  const auto l = args.size() == 5 ? number(args[4]) : std::optional<std::uint32_t>(0);
  if (!m || !w || !l) return usage();
  msg = {*m, *w, *l};
  if (mode == "--post") {
    if (!messenger.post(args[0], args[1], msg)) {
      std::cerr << "window not found\n";
      return 1;
    }
    return 0;
  }
  const auto reply = messenger.send(args[0], args[1], msg);
  if (!reply) {
    std::cerr << "window not found or no answer\n";
    return 1;
  }
  std::cout << *reply << "\n";
  return 0;
}
