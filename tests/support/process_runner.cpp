#include "process_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

void Check(bool ok, const std::string& what, int error = errno) {
  if (!ok) throw std::runtime_error(what + ": " + std::strerror(error));
}

// Everything read from fd until its end; fd is closed.
std::string Drain(int fd) {
  std::string text;
  std::array<char, 65536> chunk{};
  for (ssize_t n = 0; (n = read(fd, chunk.data(), chunk.size())) > 0;) {
    text.append(chunk.data(), static_cast<std::size_t>(n));
  }
  close(fd);
  return text;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
  // timeout kills the process (and whatever it started) when its time is up;
  // env puts the given variables over ours.
  std::vector<std::string> args = {"timeout", "-s", "KILL", std::to_string(options.timeout.count()),
                                   "env"};
  args.insert(args.end(), options.environment.begin(), options.environment.end());
  args.insert(args.end(), argv.begin(), argv.end());
  std::vector<char*> pointers;
  for (std::string& arg : args) pointers.push_back(arg.data());
  pointers.push_back(nullptr);

  // Standard input, output and error, each a pipe: [0] read end, [1] write end.
  std::array<std::array<int, 2>, 3> pipes{};
  for (auto& p : pipes) Check(pipe2(p.data(), O_CLOEXEC) == 0, "pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd = 0; fd < 3; ++fd) {
    posix_spawn_file_actions_adddup2(&actions, pipes[fd][fd == 0 ? 0 : 1], fd);
  }
  if (!options.workDir.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions, options.workDir.c_str());
  }
  pid_t pid = 0;
  const auto started = std::chrono::steady_clock::now();
  const int spawned =
      posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  for (int fd : {pipes[0][0], pipes[1][1], pipes[2][1]}) close(fd);
  if (spawned != 0) {
    for (int fd : {pipes[0][1], pipes[1][0], pipes[2][0]}) close(fd);
    Check(false, "cannot start " + args[0], spawned);
  }

  // The input fits the pipe, so it never waits for the child to read it.
  signal(SIGPIPE, SIG_IGN);
  (void)!write(pipes[0][1], options.input.data(), options.input.size());
  close(pipes[0][1]);
  ProcessResult result;
  std::thread errors([&] { result.err = Drain(pipes[2][0]); });
  result.out = Drain(pipes[1][0]);
  errors.join();
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  result.peakRssKiB = usage.ru_maxrss;
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.timedOut = result.exitStatus == 128 + SIGKILL &&
                    result.seconds >= static_cast<double>(options.timeout.count());
  return result;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tonvale-test-XXXXXX").string();
  Check(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // A test may have made the directory read-only; give the permission back.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string SimroomConfig(const std::string& deviceEntries) {
  return std::string("pcm_type.simroom { lib \"") + TONVALE_SIMROOM_PLUGIN + "\" }\n" +
         deviceEntries + "\n";
}

SimroomHome::SimroomHome(const std::string& deviceEntries) {
  std::ofstream(dir_.path() / ".asoundrc") << SimroomConfig(deviceEntries);
}

std::vector<std::string> SimroomHome::environment() const {
  return {"HOME=" + path().string(), "ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf"};
}

std::string Room::Entry(const std::string& name) const {
  std::ostringstream entry;
  entry << std::showpoint << "pcm." << name << " { type simroom clock \"" << clock
        << "\" loop_delay " << loopDelay << " acoustic_delay " << acousticDelay << " gain_db "
        << gainDb << " noise_db " << noiseDb << " seed " << seed << " cable "
        << (cable ? "true" : "false") << " filters { " << filters << " } " << extra << " }\n";
  return entry.str();
}

ProcessResult RunTonvale(const std::string& deviceEntries, const std::string& input,
                         const std::filesystem::path& workDir, int timeoutSeconds,
                         const std::vector<std::string>& launcher) {
  const SimroomHome home(deviceEntries);
  std::vector<std::string> argv = launcher;
  argv.emplace_back(TONVALE_EXE);
  return RunProcess(argv, {.input = input,
                           .environment = home.environment(),
                           .workDir = workDir,
                           .timeout = std::chrono::seconds(timeoutSeconds)});
}

std::vector<PrintedReport> FindReports(const std::string& out) {
  std::vector<PrintedReport> reports;
  const std::string heading = "Results:\nBand\tRange (Hz)\tdB\n";
  for (std::size_t at = out.find(heading); at != std::string::npos;
       at = out.find(heading, at + 1)) {
    PrintedReport report;
    std::size_t end = at + heading.size();
    BandLine b;
    char tail = 0;
    for (std::size_t next = out.find('\n', end);
         next != std::string::npos &&
         std::sscanf(out.substr(end, next - end).c_str(), "%d\t%lf\t%lf\t%lf%c", &b.number, &b.low,
                     &b.high, &b.level, &tail) == 4;
         end = next + 1, next = out.find('\n', end)) {
      report.bands.push_back(b);
    }
    report.text = out.substr(at, end - at);
    reports.push_back(report);
  }
  return reports;
}

std::filesystem::path FindProgram(const std::string& program) {
  const ProcessResult r = RunProcess({"sh", "-c", "command -v \"$0\"", program}, {});
  return r.exitStatus == 0 ? std::filesystem::path(r.out.substr(0, r.out.find('\n'))) : "";
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}
