// MoreUNIXCopyFile against cp(1) on a 256 MiB file, side by side in one run.
//
// Each iteration copies the same cached source once with MoreUNIXCopyFile and
// once with /bin/cp (posix_spawn + waitpid, so cp's process start is counted),
// alternating which goes first, and removes both copies before the next one.
// The benchmark's own time is ours; the counters show cp's and the ratio.

#include "MoreUNIX.h"

#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

extern char** environ;

namespace {

const size_t kCopyBenchFileSize = size_t{256} << 20;

// A folder holding the 256 MiB source, made once per run and removed at exit.
class CopyBenchFiles {
 public:
  CopyBenchFiles() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillon-copy-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    dir_ = pattern;
    std::vector<char> block(1 << 20);
    uint32_t x = 2463534242u;
    std::ofstream out(source(), std::ios::binary);
    for (size_t written = 0; written < kCopyBenchFileSize; written += block.size()) {
      for (char& c : block) {
        x ^= x << 13; x ^= x >> 17; x ^= x << 5;
        c = static_cast<char>(x);
      }
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    ok_ = static_cast<bool>(out.flush());
  }
  ~CopyBenchFiles() {
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }
  bool ok() const { return ok_; }
  std::string source() const { return dir_ + "/source"; }
  std::string ours() const { return dir_ + "/copy-moreunix"; }
  std::string theirs() const { return dir_ + "/copy-cp"; }

 private:
  std::string dir_;
  bool ok_ = false;
};

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Returns the seconds one copy took, or a negative value if it failed.
double TimeMoreUNIXCopy(const CopyBenchFiles& files) {
  auto start = std::chrono::steady_clock::now();
  int err = MoreUNIXCopyFile(files.source().c_str(), files.ours().c_str());
  double seconds = Seconds(start);
  return err == 0 ? seconds : -1.0;
}

double TimeCp(const CopyBenchFiles& files) {
  std::string source = files.source(), dest = files.theirs();
  char* argv[] = {const_cast<char*>("cp"), source.data(), dest.data(), nullptr};
  auto start = std::chrono::steady_clock::now();
  pid_t pid;
  int status = 0;
  if (posix_spawn(&pid, "/bin/cp", nullptr, nullptr, argv, environ) != 0 ||
      waitpid(pid, &status, 0) != pid) {
    return -1.0;
  }
  double seconds = Seconds(start);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1.0;
}

void BM_CopyFile256MiB_MoreUNIXVsCp(benchmark::State& state) {
  static CopyBenchFiles files;
  if (!files.ok() || MoreUNIXIgnoreSIGPIPE() != 0) {
    state.SkipWithError("cannot create the source file");
    return;
  }
  double oursTotal = 0.0, cpTotal = 0.0;
  bool oursFirst = true;
  for (auto _ : state) {
    double ours, theirs;
    if (oursFirst) {
      ours = TimeMoreUNIXCopy(files);
      theirs = TimeCp(files);
    } else {
      theirs = TimeCp(files);
      ours = TimeMoreUNIXCopy(files);
    }
    oursFirst = !oursFirst;
    unlink(files.ours().c_str());
    unlink(files.theirs().c_str());
    if (ours < 0 || theirs < 0) {
      state.SkipWithError(ours < 0 ? "MoreUNIXCopyFile failed" : "cp failed");
      return;
    }
    state.SetIterationTime(ours);
    oursTotal += ours;
    cpTotal += theirs;
  }
  const double iterations = static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kCopyBenchFileSize));
  state.counters["moreunix_ms"] = oursTotal / iterations * 1e3;
  state.counters["cp_ms"] = cpTotal / iterations * 1e3;
  state.counters["ratio_vs_cp"] = oursTotal / cpTotal;
}
BENCHMARK(BM_CopyFile256MiB_MoreUNIXVsCp)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);

}  // namespace
