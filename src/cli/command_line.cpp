#include "cli/command_line.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace qv::cli {

namespace {

void write(std::FILE* to, std::string_view text) { std::fwrite(text.data(), 1, text.size(), to); }

bool named(const Environment& environment, const char* name) {
  const char* value = environment(name);
  return value && *value;
}

// Whether one platform of QT_QPA_PLATFORM ("name" or "name:options") can start here.
bool platformCanStart(std::string_view entry, const Environment& environment) {
  const std::string_view name = entry.substr(0, entry.find(':'));
  if (name == "xcb") return named(environment, "DISPLAY");
  if (name.starts_with("wayland")) return named(environment, "WAYLAND_DISPLAY");
  // offscreen, minimal, vnc, linuxfb, eglfs and the like draw without a display server;
  // any other name is left to the toolkit to judge.
  return !name.empty();
}

}  // namespace

std::string_view projectVersion() { return QV_PROJECT_VERSION; }

std::optional<int> answerHelpOrVersion(const Program& program, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--") break;
    if (argument == "--help" || argument == "-h") {
      write(stdout, program.usage);
      return 0;
    }
    if (argument == "--version") {
      std::printf("%.*s %.*s\n", static_cast<int>(program.name.size()), program.name.data(),
                  static_cast<int>(projectVersion().size()), projectVersion().data());
      return 0;
    }
  }
  return std::nullopt;
}

std::optional<int> takeNoArguments(const Program& program, int argc, char** argv) {
  if (auto status = answerHelpOrVersion(program, argc, argv)) return status;
  if (argc > 1) {
    return refuse(program, std::string(isOption(argv[1]) ? "unknown option " : "unexpected argument ") + argv[1]);
  }
  return std::nullopt;
}

int refuse(const Program& program, std::string_view problem) {
  std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(program.name.size()), program.name.data(),
               static_cast<int>(problem.size()), problem.data());
  write(stderr, program.usage);
  return kUsageError;
}

bool isOption(std::string_view argument) { return argument.size() > 1 && argument[0] == '-'; }

bool hasDisplay(const Environment& environment) {
  const char* platform = environment("QT_QPA_PLATFORM");
  if (platform && *platform) {
    // A list is tried in order; one platform that can start is enough.
    std::string_view list = platform;
    while (!list.empty()) {
      const std::size_t end = list.find(';');
      if (platformCanStart(list.substr(0, end), environment)) return true;
      if (end == std::string_view::npos) break;
      list.remove_prefix(end + 1);
    }
    return false;
  }
  return named(environment, "DISPLAY") || named(environment, "WAYLAND_DISPLAY");
}

bool hasDisplay() {
  return hasDisplay([](const char* name) { return static_cast<const char*>(std::getenv(name)); });
}

}  // namespace qv::cli
