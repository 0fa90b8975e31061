// Runs a fuzz target's entry point once on every file named, or in the folders named, as
// the ordinary suite does for the seeds and the inputs that once found a fault. A folder
// that does not exist holds nothing yet; a replay that finds no input at all fails, since
// it would pass whatever the code does.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  int replayed = 0;
  for (int i = 1; i < argc; ++i) {
    if (!fs::exists(argv[i])) continue;
    std::vector<fs::path> files{argv[i]};
    if (fs::is_directory(argv[i])) files.assign(fs::directory_iterator(argv[i]), {});
    for (const auto& file : files) {
      std::fprintf(stderr, "replaying %s\n", file.c_str());
      std::ifstream in(file, std::ios::binary);
      const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++replayed;
    }
  }
  if (replayed == 0) std::fprintf(stderr, "no input to replay\n");
  return replayed > 0 ? 0 : 1;
}
