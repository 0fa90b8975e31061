// qv-sendmsg: finds a window by class and title and posts or sends it one message. See --help.
#include "cli/command_line.h"
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

constexpr qv::cli::Program kProgram{"qv-sendmsg", R"(Usage: qv-sendmsg [--post|--send] CLASS TITLE MSG [WPARAM LPARAM]
       qv-sendmsg --find CLASS TITLE
Finds the window CLASS with the caption TITLE in the machine root named by QUORVANE_HOME
and posts it the message MSG (--post, the default), or sends it and prints the answer
(--send); --find only tells whether the window is there. Numbers are decimal or 0x hex.

Options:
  --help     show this text
  --version  show the version

Exit status: 0 when delivered or found, 1 when the window is absent or did not answer,
2 for wrong arguments.
)"};

int usage(const std::string& problem) { return qv::cli::refuse(kProgram, problem); }

}  // namespace

int main(int argc, char** argv) {
  if (auto status = qv::cli::answerHelpOrVersion(kProgram, argc, argv)) return *status;
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string mode = "--post";
  if (!args.empty() && qv::cli::isOption(args[0])) {
    mode = args[0];
    args.erase(args.begin());
  }
  if (mode != "--post" && mode != "--send" && mode != "--find") return usage("unknown option " + mode);
  qv::platform::UnixWindowMessenger messenger;
  if (mode == "--find") {
    if (args.size() != 2) return usage("--find takes CLASS and TITLE");
    const bool found = messenger.windowExists(args[0], args[1]);
    std::cout << (found ? "found" : "absent") << "\n";
    return found ? 0 : 1;
  }
  if (args.size() != 3 && args.size() != 5) return usage("wrong number of arguments");
  qv::platform::WindowMessage msg;
  const auto m = number(args[2]);
  const auto w = args.size() == 5 ? number(args[3]) : std::optional<std::uint32_t>(0);
  const auto l = args.size() == 5 ? number(args[4]) : std::optional<std::uint32_t>(0);
  if (!m || !w || !l) return usage("not a number from 0 to 0xFFFFFFFF");
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
