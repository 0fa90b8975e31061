// The registry store file: what one value write (lock, re-read, atomic replacement)
// costs, alone and as twenty in a row as OK writes them, and what a warm read costs.
// Each case runs on a folder on disk (/tmp) and, for comparison, in memory (/dev/shm),
// which shows how much of a write is the flush to disk.
//
// Growth with the store's size: one write into a store of 100 and of 10,000 values (on
// disk, in memory, and its CPU part alone: parse, change, text), an import of 32,000 new
// keys and of 64,000 values into one key, and parsing in MB/s.
#include "platform/posix/registry_file_store.h"
#include "platform/regedit_format.h"
#include "settings/settings_key.h"

#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

using qv::platform::RegistryFileStore;
using qv::platform::RegistryRoot;
using qv::platform::RegistryValue;

constexpr const char* kKey = "SOFTWARE\\Quorvane";

// A private machine root holding a settings key of the usual size.
class BenchRoot {
public:
  explicit BenchRoot(const char* parent) {
    std::string pattern = std::string(parent) + "/qvb-XXXXXX";
    if (::mkdtemp(pattern.data())) path_ = pattern;
    std::ofstream out(path_ / "registry.reg");
    out << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n"
           "\"Vxd Version\"=\"3.1.05\"\n\"Vxd Init\"=\"Success\"\n\"Support Chip\"=\"T303\"\n"
           "\"Firmware\"=hex:10,00\n\"Restart\"=dword:00000000\n\"IsComUserDef\"=dword:00000000\n"
           "\"CursorOffsetDX\"=\"0\"\n\"CursorOffsetDY\"=\"0\"\n\"InstallDir\"=\"/opt/quorvane\"\n";
    for (int n = 1; n <= 4; ++n) {
      out << "\"COM" << n << "_IRQ\"=\"4\"\n\"COM" << n << "_ADDR\"=\"3F8H\"\n";
    }
    for (int n = 0; n < 20; ++n) out << "\"Setting" << n << "\"=\"value\"\n";
    out << "\n[HKEY_CURRENT_USER\\Control Panel\\Cursors]\n\"Arrow\"=\"\"\n\n";
    out.close();
    // An old file, as the store usually is: its stamp is trusted at once.
    std::error_code ec;
    auto file = path_ / "registry.reg";
    std::filesystem::last_write_time(file, std::filesystem::last_write_time(file, ec) - std::chrono::seconds(10), ec);
  }
  ~BenchRoot() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  bool ok() const { return !path_.empty(); }
  const std::filesystem::path& path() const { return path_; }

private:
  std::filesystem::path path_;
};

const char* parentOf(const benchmark::State& state) { return state.range(0) == 0 ? "/tmp" : "/dev/shm"; }

void BM_WriteOneValue(benchmark::State& state) {
  BenchRoot root(parentOf(state));
  if (!root.ok()) return state.SkipWithError("no folder");
  RegistryFileStore store(root.path());
  std::uint32_t n = 0;
  for (auto _ : state) {
    if (!store.writeValue(RegistryRoot::LocalMachine, kKey, "Cfg_DKSpeed", RegistryValue::dword(++n))) {
      return state.SkipWithError("write failed");
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteOneValue)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// Twenty values in a row through the settings layer, each its own store write.
void BM_Write20Values(benchmark::State& state) {
  BenchRoot root(parentOf(state));
  if (!root.ok()) return state.SkipWithError("no folder");
  RegistryFileStore store(root.path());
  qv::settings::SettingsKey key(store);
  key.open(RegistryRoot::LocalMachine, kKey, false);
  int round = 0;
  for (auto _ : state) {
    ++round;
    for (int i = 0; i < 20; ++i) key.writeText("Setting" + std::to_string(i), std::to_string(round));
  }
  state.SetItemsProcessed(state.iterations() * 20);
}
BENCHMARK(BM_Write20Values)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// The same twenty values as one store write.
void BM_Write20ValuesAtOnce(benchmark::State& state) {
  BenchRoot root(parentOf(state));
  if (!root.ok()) return state.SkipWithError("no folder");
  RegistryFileStore store(root.path());
  int round = 0;
  for (auto _ : state) {
    ++round;
    std::vector<qv::platform::RegValueEntry> values;
    for (int i = 0; i < 20; ++i) values.push_back({"Setting" + std::to_string(i), RegistryValue::text(std::to_string(round))});
    if (!store.writeValues(RegistryRoot::LocalMachine, kKey, values)) return state.SkipWithError("write failed");
  }
  state.SetItemsProcessed(state.iterations() * 20);
}
BENCHMARK(BM_Write20ValuesAtOnce)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_WarmRead(benchmark::State& state) {
  BenchRoot root("/tmp");
  if (!root.ok()) return state.SkipWithError("no folder");
  RegistryFileStore store(root.path());
  store.readValue(RegistryRoot::LocalMachine, kKey, "Vxd Init");
  for (auto _ : state) {
    benchmark::DoNotOptimize(store.readValue(RegistryRoot::LocalMachine, kKey, "Setting19"));
  }
}
BENCHMARK(BM_WarmRead)->Unit(benchmark::kMicrosecond);

void BM_WarmReadThroughSettings(benchmark::State& state) {
  BenchRoot root("/tmp");
  if (!root.ok()) return state.SkipWithError("no folder");
  RegistryFileStore store(root.path());
  qv::settings::SettingsKey key(store);
  key.open(RegistryRoot::LocalMachine, kKey, false);
  for (auto _ : state) benchmark::DoNotOptimize(key.readText("Vxd Init"));
}
BENCHMARK(BM_WarmReadThroughSettings)->Unit(benchmark::kMicrosecond);

// A read right after another process changed the file: parse again.
void BM_ColdRead(benchmark::State& state) {
  BenchRoot root("/tmp");
  if (!root.ok()) return state.SkipWithError("no folder");
  for (auto _ : state) {
    RegistryFileStore store(root.path());
    benchmark::DoNotOptimize(store.readValue(RegistryRoot::LocalMachine, kKey, "Setting19"));
  }
}
BENCHMARK(BM_ColdRead)->Unit(benchmark::kMicrosecond);


// A store of `values` values: ten to a key under SOFTWARE\Bulk, then the settings key.
std::string storeText(int values) {
  std::string text = "REGEDIT4\n\n";
  for (int i = 0; i < values; ++i) {
    if (i % 10 == 0) text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bulk\\Key" + std::to_string(i / 10) + "]\n";
    text += "\"Value" + std::to_string(i) + "\"=\"some text of a usual length\"\n";
    if (i % 10 == 9) text += '\n';
  }
  text += "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"Cfg_DKSpeed\"=dword:00000000\n\n";
  return text;
}

// One write into a store of range(1) values; range(0) chooses disk or memory.
void BM_WriteAtStoreSize(benchmark::State& state) {
  BenchRoot root(parentOf(state));
  if (!root.ok()) return state.SkipWithError("no folder");
  std::ofstream(root.path() / "registry.reg") << storeText(static_cast<int>(state.range(1)));
  RegistryFileStore store(root.path());
  std::uint32_t n = 0;
  for (auto _ : state) {
    if (!store.writeValue(RegistryRoot::LocalMachine, kKey, "Cfg_DKSpeed", RegistryValue::dword(++n))) {
      return state.SkipWithError("write failed");
    }
  }
}
BENCHMARK(BM_WriteAtStoreSize)
    ->ArgsProduct({{0, 1}, {100, 10'000}})
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// The CPU part of that write: change the value and make the new text (the file a writer
// re-reads is not parsed again while its bytes are those it last parsed or wrote).
void BM_WriteCpuAtStoreSize(benchmark::State& state) {
  auto parsed = qv::platform::parseStoreFile(storeText(static_cast<int>(state.range(0))));
  auto& tree = std::get<qv::platform::RegistryTree>(parsed);
  std::uint32_t n = 0;
  for (auto _ : state) {
    auto* key = qv::platform::findKey(tree, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane");
    qv::platform::setValue(*key, "Cfg_DKSpeed", RegistryValue::dword(++n));
    benchmark::DoNotOptimize(qv::platform::writeRegedit(tree));
  }
}
BENCHMARK(BM_WriteCpuAtStoreSize)->Arg(100)->Arg(10'000)->Unit(benchmark::kMicrosecond);

// One import into a store of the usual size: range(0) new keys, or range(1) values in one key.
void BM_Import(benchmark::State& state) {
  std::string text = "REGEDIT4\n";
  if (state.range(1) == 0) {
    for (int i = 0; i < state.range(0); ++i) text += "[HKLM\\SOFTWARE\\Bulk\\Key" + std::to_string(i) + "]\n";
  } else {
    text += "[HKLM\\SOFTWARE\\Bulk]\n";
    for (int i = 0; i < state.range(1); ++i) text += "\"Value" + std::to_string(i) + "\"=dword:00000001\n";
  }
  for (auto _ : state) {
    state.PauseTiming();
    {
      BenchRoot root("/dev/shm");
      RegistryFileStore store(root.path());
      state.ResumeTiming();
      if (!store.importText(text, "bulk.reg")) return state.SkipWithError("import failed");
      state.PauseTiming();
    }
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Import)->Args({32'000, 0})->Args({0, 64'000})->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_Parse(benchmark::State& state) {
  const std::string text = storeText(200'000);  // about 10 MB
  for (auto _ : state) {
    auto parsed = qv::platform::parseStoreFile(text);
    if (parsed.index() != 0) return state.SkipWithError("does not parse");
    benchmark::DoNotOptimize(parsed);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_Parse)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
