#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "process_runner.h"

// A whole measurement as a user makes it: the program started, "r" typed,
// the results confirmed, the program left. Through the fast simulated room
// (how long the run itself takes, how much memory it holds) and through the
// room that keeps hardware time (whether the transfer keeps up, also while
// other work loads every core).
namespace {

constexpr double kSignalSeconds = 11.0;  // 10 s sweep and two half-second silences
constexpr double kTotalSamples = 528000.0;

const char* const kRooms =
    "pcm.fastroom { type simroom clock \"fast\" loop_delay 300 acoustic_delay 0 }\n"
    "pcm.realroom { type simroom clock \"realtime\" loop_delay 300 acoustic_delay 0 }\n";

// Runs the program with the given console input in a room of its own.
ProcessResult RunProgram(const SimroomHome& home, const std::string& input) {
  return RunProcess({TONVALE_EXE},
                    {.input = input, .environment = home.environment(), .workDir = home.path()});
}

// One default measurement on device.
ProcessResult Measure(const SimroomHome& home, const std::string& device) {
  return RunProgram(home, "c\n" + device + "\nr\nc\nx\n");
}

// Underruns and overruns the run reported (0 when it printed no warning).
long long Xruns(const std::string& err) {
  const std::string marker = "Warning: the transfer was disturbed (";
  const std::size_t at = err.find(marker);
  if (at == std::string::npos) return 0;
  char* end = nullptr;
  const long long count = std::strtoll(err.c_str() + at + marker.size(), &end, 10);
  return std::string_view(end).starts_with(" underrun") ? count : 0;
}

// Busy loops on every core, for as long as this object lives.
class CpuLoad {
 public:
  CpuLoad() {
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    for (long i = 0; i < cores; ++i) {
      const pid_t pid = fork();
      if (pid == 0) {
        volatile unsigned long spins = 0;
        for (;;) spins = spins + 1;
      }
      pids_.push_back(pid);
    }
  }
  ~CpuLoad() {
    for (const pid_t pid : pids_) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  CpuLoad(const CpuLoad&) = delete;
  CpuLoad& operator=(const CpuLoad&) = delete;
  CpuLoad(CpuLoad&&) = delete;
  CpuLoad& operator=(CpuLoad&&) = delete;

 private:
  std::vector<pid_t> pids_;
};

// The program started and left at once: libraries, ALSA's configuration,
// the sync arrays. A run's own memory is what comes on top of this.
long BaselineRssKiB(const SimroomHome& home) {
  return RunProgram(home, "x\n").peakRssKiB;
}

void Report(benchmark::State& state, const ProcessResult& o, long baselineKiB) {
  if (o.exitStatus != 0) state.SkipWithError(("program failed: " + o.err).c_str());
  state.SetIterationTime(o.seconds);
  state.counters["peak_rss_MiB"] = static_cast<double>(o.peakRssKiB) / 1024.0;
  state.counters["baseline_rss_MiB"] = static_cast<double>(baselineKiB) / 1024.0;
  state.counters["run_bytes_per_sample"] =
      static_cast<double>(o.peakRssKiB - baselineKiB) * 1024.0 / kTotalSamples;
  // Summed over the iterations: one xrun in any run is one too many.
  state.counters["xruns"].value += static_cast<double>(Xruns(o.err));
}

// ALSA's own null device moves nothing anywhere: what remains is the
// program's own time and memory.
void BM_DefaultRunNullDevice(benchmark::State& state) {
  const SimroomHome home(kRooms);
  const long baseline = BaselineRssKiB(home);
  for (auto _ : state) Report(state, Measure(home, "null"), baseline);
}
BENCHMARK(BM_DefaultRunNullDevice)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The simulated room keeps what was played in a ring inside the program's
// process (16 bytes per frame), so its peak memory includes the room's.
void BM_DefaultRunFastDevice(benchmark::State& state) {
  const SimroomHome home(kRooms);
  const long baseline = BaselineRssKiB(home);
  for (auto _ : state) Report(state, Measure(home, "fastroom"), baseline);
}
BENCHMARK(BM_DefaultRunFastDevice)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_DefaultRunRealTimeDevice(benchmark::State& state) {
  const SimroomHome home(kRooms);
  const long baseline = BaselineRssKiB(home);
  for (auto _ : state) {
    const ProcessResult o = Measure(home, "realroom");
    Report(state, o, baseline);
    state.counters["wall_per_signal_second"] = o.seconds / kSignalSeconds;
  }
}
BENCHMARK(BM_DefaultRunRealTimeDevice)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

void BM_DefaultRunRealTimeDeviceAllCoresBusy(benchmark::State& state) {
  const SimroomHome home(kRooms);
  const long baseline = BaselineRssKiB(home);
  for (auto _ : state) {
    const CpuLoad load;
    const ProcessResult o = Measure(home, "realroom");
    Report(state, o, baseline);
    state.counters["wall_per_signal_second"] = o.seconds / kSignalSeconds;
  }
}
BENCHMARK(BM_DefaultRunRealTimeDeviceAllCoresBusy)
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(2);

// The peak memory of one run with a sweep of state.range(0) seconds, its
// files saved: bytes per sweep sample, everything the process holds
// included (the libraries, and the simulated room's ring of at most 16 MiB),
// and without what the program holds before any run.
void BM_SweepPeakMemory(benchmark::State& state) {
  const SimroomHome home(kRooms);
  const long baseline = BaselineRssKiB(home);
  const auto seconds = static_cast<double>(state.range(0));
  for (auto _ : state) {
    const ProcessResult o =
        RunProcess({TONVALE_EXE, "--save", "runs"},
                   {.input = "c\nfastroom\nt\n" + std::to_string(state.range(0)) + "\nr\nc\nx\n",
                    .environment = home.environment(),
                    .workDir = home.path(),
                    .timeout = std::chrono::seconds(600)});
    if (o.exitStatus != 0 || o.err.find("Saved run-") == std::string::npos) {
      state.SkipWithError(("run not saved: " + o.err).c_str());
    }
    state.SetIterationTime(o.seconds);
    state.counters["peak_rss_MiB"] = static_cast<double>(o.peakRssKiB) / 1024.0;
    state.counters["bytes_per_sweep_sample"] =
        static_cast<double>(o.peakRssKiB) * 1024.0 / (seconds * 48000.0);
    state.counters["run_bytes_per_sweep_sample"] =
        static_cast<double>(o.peakRssKiB - baseline) * 1024.0 / (seconds * 48000.0);
  }
}
BENCHMARK(BM_SweepPeakMemory)
    ->Arg(10)
    ->Arg(600)
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
