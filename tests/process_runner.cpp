#include "process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>

extern char** environ;

namespace {

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& overrides) {
  std::map<std::string, std::string> entries;
  auto add = [&](const std::string& entry) {
    const auto eq = entry.find('=');
    entries[entry.substr(0, eq)] = entry;
  };
  for (char** e = environ; *e != nullptr; ++e) add(*e);
  for (const auto& entry : overrides) add(entry);
  std::vector<std::string> merged;
  merged.reserve(entries.size());
  for (auto& [name, entry] : entries) merged.push_back(entry);
  return merged;
}

std::vector<char*> CStrings(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  pointers.reserve(strings.size() + 1);
  for (auto& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

void Check(int result, const char* what) {
  if (result != 0) throw std::runtime_error(std::string(what) + ": " + std::strerror(result));
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
  std::array<int, 2> in{};
  std::array<int, 2> out{};
  std::array<int, 2> err{};
  if (pipe2(in.data(), O_CLOEXEC) != 0 || pipe2(out.data(), O_CLOEXEC) != 0 ||
      pipe2(err.data(), O_CLOEXEC) != 0) {
    throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  }

  posix_spawn_file_actions_t actions;
  Check(posix_spawn_file_actions_init(&actions), "posix_spawn_file_actions_init");
  Check(posix_spawn_file_actions_adddup2(&actions, in[0], 0), "adddup2");
  Check(posix_spawn_file_actions_adddup2(&actions, out[1], 1), "adddup2");
  Check(posix_spawn_file_actions_adddup2(&actions, err[1], 2), "adddup2");
  if (!options.workDir.empty()) {
    Check(posix_spawn_file_actions_addchdir_np(&actions, options.workDir.c_str()), "addchdir");
  }

  auto args = argv;
  auto env = MergedEnvironment(options.environment);
  auto argPointers = CStrings(args);
  auto envPointers = CStrings(env);
  pid_t pid = 0;
  const auto started = std::chrono::steady_clock::now();
  const int spawned = posix_spawnp(&pid, args.at(0).c_str(), &actions, nullptr, argPointers.data(),
                                   envPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  if (spawned != 0) {
    close(in[1]);
    close(out[0]);
    close(err[0]);
    throw std::runtime_error("cannot start " + args.at(0) + ": " + std::strerror(spawned));
  }

  // Feed standard input and drain both outputs together, so that neither side
  // can block the other on a full pipe.
  signal(SIGPIPE, SIG_IGN);
  fcntl(in[1], F_SETFL, O_NONBLOCK);
  ProcessResult result;
  std::size_t written = 0;
  int inFd = in[1];
  if (options.input.empty()) {
    close(inFd);
    inFd = -1;
  }
  const auto deadline = std::chrono::steady_clock::now() + options.timeout;
  std::array<char, 65536> chunk{};
  int openOutputs = 2;
  while (openOutputs > 0) {
    std::array<pollfd, 3> fds{{{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {inFd, POLLOUT, 0}}};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timedOut = true;
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds.data(), inFd >= 0 ? 3 : 2, static_cast<int>(left.count())) < 0 && errno != EINTR) {
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if ((fds[static_cast<std::size_t>(i)].revents & (POLLIN | POLLHUP)) == 0) continue;
      const ssize_t n = read(fds[static_cast<std::size_t>(i)].fd, chunk.data(), chunk.size());
      if (n > 0) {
        (i == 0 ? result.out : result.err).append(chunk.data(), static_cast<std::size_t>(n));
      } else if (n == 0) {
        fds[static_cast<std::size_t>(i)].fd = -1;
        close(i == 0 ? out[0] : err[0]);
        (i == 0 ? out[0] : err[0]) = -1;
        --openOutputs;
      }
    }
    if (out[0] < 0 && err[0] < 0) break;
    if (inFd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
      const ssize_t n = write(inFd, options.input.data() + written, options.input.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n < 0 && errno != EAGAIN) written = options.input.size();
      if (written == options.input.size()) {
        close(inFd);
        inFd = -1;
      }
    }
  }
  if (inFd >= 0) close(inFd);
  if (out[0] >= 0) close(out[0]);
  if (err[0] >= 0) close(err[0]);

  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  result.peakRssKiB = usage.ru_maxrss;
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tonvale-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // A test may have made the directory read-only; give the permission back.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

SimroomHome::SimroomHome(const std::string& deviceEntries) {
  std::ofstream rc(dir_.path() / ".asoundrc");
  rc << "pcm_type.simroom { lib \"" << TONVALE_SIMROOM_PLUGIN << "\" }\n" << deviceEntries << "\n";
  if (!rc) throw std::runtime_error("cannot write .asoundrc");
}

std::vector<std::string> SimroomHome::environment() const {
  return {"HOME=" + path().string(), "ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf"};
}
