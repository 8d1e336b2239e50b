#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

// A whole measurement as a user makes it: the program started, "r" typed,
// the results confirmed, the program left. Through the fast simulated room
// (how long the run itself takes, how much memory it holds) and through the
// room that keeps hardware time (whether the transfer keeps up, also while
// other work loads every core).
namespace {

constexpr double kSignalSeconds = 11.0;  // 10 s sweep and two half-second silences
constexpr double kTotalSamples = 528000.0;

struct Outcome {
  double seconds = 0.0;
  long peakRssKiB = 0;
  int exitStatus = -1;
  std::string err;
};

class Sandbox {
 public:
  Sandbox() {
    std::string pattern = (std::filesystem::temp_directory_path() / "bench_run_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    dir_ = pattern;
    std::ofstream rc(dir_ / ".asoundrc");
    rc << "pcm_type.simroom { lib \"" << TONVALE_SIMROOM_PLUGIN << "\" }\n"
       << "pcm.fastroom { type simroom clock \"fast\" loop_delay 300 acoustic_delay 0 }\n"
       << "pcm.realroom { type simroom clock \"realtime\" loop_delay 300 acoustic_delay 0 }\n";
  }
  ~Sandbox() { std::filesystem::remove_all(dir_); }
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;
  Sandbox(Sandbox&&) = delete;
  Sandbox& operator=(Sandbox&&) = delete;
  [[nodiscard]] const std::filesystem::path& dir() const { return dir_; }

 private:
  std::filesystem::path dir_;
};

// Runs the program with the given console input; standard output is thrown
// away, standard error kept for the warnings.
Outcome RunProgram(const Sandbox& box, const std::string& input) {
  const std::filesystem::path in = box.dir() / "input.txt";
  const std::filesystem::path err = box.dir() / "stderr.txt";
  std::ofstream(in) << input;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> envText = {"HOME=" + box.dir().string(),
                                      "ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf"};
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (!entry.starts_with("HOME=") && !entry.starts_with("ALSA_CONFIG_PATH=")) {
      envText.push_back(entry);
    }
  }
  std::vector<char*> env;
  for (std::string& entry : envText) env.push_back(entry.data());
  env.push_back(nullptr);
  std::string exe = TONVALE_EXE;
  char* argv[] = {exe.data(), nullptr};

  Outcome outcome;
  const auto started = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, env.data()) != 0) std::abort();
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) std::abort();
  outcome.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  outcome.peakRssKiB = usage.ru_maxrss;
  outcome.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::ifstream errIn(err);
  outcome.err.assign(std::istreambuf_iterator<char>(errIn), std::istreambuf_iterator<char>());
  return outcome;
}

// One default measurement on device.
Outcome Measure(const Sandbox& box, const std::string& device) {
  return RunProgram(box, "c\n" + device + "\nr\nc\nx\n");
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
long BaselineRssKiB(const Sandbox& box) {
  return RunProgram(box, "x\n").peakRssKiB;
}

void Report(benchmark::State& state, const Outcome& o, long baselineKiB) {
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
  const Sandbox box;
  const long baseline = BaselineRssKiB(box);
  for (auto _ : state) Report(state, Measure(box, "null"), baseline);
}
BENCHMARK(BM_DefaultRunNullDevice)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The simulated room keeps what was played in a ring inside the program's
// process (16 bytes per frame), so its peak memory includes the room's.
void BM_DefaultRunFastDevice(benchmark::State& state) {
  const Sandbox box;
  const long baseline = BaselineRssKiB(box);
  for (auto _ : state) Report(state, Measure(box, "fastroom"), baseline);
}
BENCHMARK(BM_DefaultRunFastDevice)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_DefaultRunRealTimeDevice(benchmark::State& state) {
  const Sandbox box;
  const long baseline = BaselineRssKiB(box);
  for (auto _ : state) {
    const Outcome o = Measure(box, "realroom");
    Report(state, o, baseline);
    state.counters["wall_per_signal_second"] = o.seconds / kSignalSeconds;
  }
}
BENCHMARK(BM_DefaultRunRealTimeDevice)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

void BM_DefaultRunRealTimeDeviceAllCoresBusy(benchmark::State& state) {
  const Sandbox box;
  const long baseline = BaselineRssKiB(box);
  for (auto _ : state) {
    const CpuLoad load;
    const Outcome o = Measure(box, "realroom");
    Report(state, o, baseline);
    state.counters["wall_per_signal_second"] = o.seconds / kSignalSeconds;
  }
}
BENCHMARK(BM_DefaultRunRealTimeDeviceAllCoresBusy)
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
