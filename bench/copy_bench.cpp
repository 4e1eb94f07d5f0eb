// MoreUNIXCopyFile against cp(1) on a 256 MiB file, side by side in one run.
//
// Each iteration copies the same cached source once with MoreUNIXCopyFile and
// once with /bin/cp (posix_spawn + waitpid, so cp's process start is counted),
// alternating which goes first, and removes both copies before the next one.
// The benchmark's own time is ours; the counters show the median of each, the
// ratio of the medians, and the ratio of the fastest runs, which a busy shared
// machine disturbs least.

#include "MoreUNIX.h"

#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

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
  std::vector<double> oursTimes, cpTimes;
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
    oursTimes.push_back(ours);
    cpTimes.push_back(theirs);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kCopyBenchFileSize));
  state.counters["moreunix_median_ms"] = Median(oursTimes) * 1e3;
  state.counters["cp_median_ms"] = Median(cpTimes) * 1e3;
  state.counters["ratio_vs_cp"] = Median(oursTimes) / Median(cpTimes);
  state.counters["ratio_best_vs_cp"] = *std::min_element(oursTimes.begin(), oursTimes.end()) /
                                       *std::min_element(cpTimes.begin(), cpTimes.end());
}
BENCHMARK(BM_CopyFile256MiB_MoreUNIXVsCp)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace
