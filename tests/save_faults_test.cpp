#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "process_runner.h"
#include "report/frd_file.h"
#include "report/run_plots.h"

// Saving into a folder that cannot take every file, and what --save and
// --eq leave beside runs that share no average or correction.
namespace {

namespace fs = std::filesystem;

// The program in sh after the commands before (a limit, a mount of its own
// in a mount namespace when this user may have one), then out/ is listed;
// nothing when a mount is needed and not to be had.
std::optional<ProcessResult> SaveIntoOut(const TempDir& work, const std::string& before,
                                         const char* input) {
  static const bool kOwnMounts =
      RunProcess({"unshare", "-m", "sh", "-c", "mount -t tmpfs none /mnt"}, {}).exitStatus == 0;
  if (!kOwnMounts && before.find("mount") != std::string::npos) return std::nullopt;
  std::vector<std::string> shell = {
      "sh", "-c",
      "mkdir -p out && " + before + " \"$0\" --save out; " + "s=$?; ls -A out > list; exit $s"};
  if (kOwnMounts) shell.insert(shell.begin(), {"unshare", "-m"});
  return RunTonvale(Room{}.Entry("room"), std::string("c\nroom\n") + input, work.path(), 120,
                    shell);
}

// A file-size limit or a full disk stops the impulse response's file: the
// response before it stays, nothing half-written or hidden is left, and the
// warning names every file not saved and why.
TEST(SaveFaults, FolderThatCannotTakeEveryFile) {
  for (const auto& [before, reason] :
       {std::pair{"ulimit -f 200 &&", "File too large"},
        std::pair{"mount -t tmpfs -o size=64k none out &&", "No space left on device"}}) {
    SCOPED_TRACE(before);
    TempDir work;
    const std::optional<ProcessResult> run = SaveIntoOut(work, before, "r\nc\nx\n");
    if (!run) continue;  // no mount of its own here
    const ProcessResult& r = *run;
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.err.find("Saved run-001.frd in out.\nWarning: run-001-ir.wav and run-001.svg were "
                         "not saved: Could not write out/run-001-ir.wav: " +
                         std::string(reason)),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ReadWholeFile(work.path() / "list"), "run-001.frd\n");
  }
}

// Interrupted while the impulse response is written: the program ends by
// the signal and leaves its complete files, nothing else.
TEST(SaveFaults, InterruptWhileSavingLeavesNoPartialFile) {
  TempDir work;
  fs::create_directory(work.path() / "out");
  // Told of each file made in the folder as it is made, so the signal lands
  // while the impulse response is being written however busy the machine.
  const int watch = inotify_init1(IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, (work.path() / "out").c_str(), IN_CREATE), 0);
  auto run = std::async(std::launch::async, [&] {
    return RunTonvale(Room{}.Entry("room"), "c\nroom\nt\n60\nr\nc\nx\n", work.path(), 60,
                      {"sh", "-c", "echo $$ > pid && exec \"$0\" --save out"});
  });
  bool interrupted = false;
  alignas(inotify_event) char events[4096];
  while (!interrupted && run.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
    pollfd ready{watch, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) {
      continue;
    }
    const ssize_t got = read(watch, events, sizeof events);
    for (ssize_t at = 0; at < got && !interrupted;) {
      const auto* event = reinterpret_cast<const inotify_event*>(events + at);
      if (event->len > 0 && std::string(event->name).starts_with(".run-001-ir.wav.part-")) {
        interrupted = kill(std::stoi(ReadWholeFile(work.path() / "pid")), SIGINT) == 0;
      }
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  close(watch);
  const ProcessResult r = run.get();
  ASSERT_TRUE(interrupted) << "the impulse response was never seen being written";
  EXPECT_EQ(r.exitStatus, 128 + SIGINT);
  EXPECT_EQ(std::distance(fs::directory_iterator(work.path() / "out"), {}), 1);
  EXPECT_TRUE(ReadFrdFile(work.path() / "out" / "run-001.frd").ok);
}

// No filters of an earlier design stay beside runs no correction fits; a
// range beyond the response is brought inside it; the average says which
// runs and frequencies it holds, or why there is none.
TEST(SaveFaults, CorrectionAndAverageMatchTheRunsSaved) {
  const struct {
    std::vector<std::pair<const char*, const char*>> sessions;  // options, runs
    std::vector<std::string> present, absent, said;
  } kCases[] = {
      {{{"--eq", "r\nc\n"}, {"--eq", "f\n600\nr\nc\n"}},
       {"run-002.frd"},
       {"eq-camilladsp.yml", "eq-equalizerapo.txt", "eq-simroom.conf"},
       {"Warning: no room correction was designed: the response covers 600-",
        "Removed eq-camilladsp.yml, eq-equalizerapo.txt and eq-simroom.conf of earlier runs"}},
      {{{"--eq", "f\n50\nr\nc\n"}},
       {"eq-equalizerapo.txt"},
       {},
       {"Note: --eq-range 20:500 reaches beyond the measured response (50-",
        "the filters were designed for 50-500 Hz."}},
      {{{"", "b\n3\nr\nc\nr\nc\nf\n1000\nr\nc\n"}},
       {"run-003.frd"},
       {"average.frd", "average.svg", "average.json"},
       {"Warning: the runs saved share no frequencies (run-001 18-",
        "Removed average.frd, average.svg, "}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.said[0]);
    TempDir work;
    ProcessResult r;
    for (const auto& [options, runs] : c.sessions) {
      r = RunTonvale(Room{}.Entry("room"), std::string("c\nroom\n") + runs + "x\n", work.path(), 60,
                     {"sh", "-c", "exec \"$0\" --save out " + std::string(options)});
      ASSERT_EQ(r.exitStatus, 0) << r.err;
    }
    for (const std::string& name : c.present) EXPECT_TRUE(fs::exists(work.path() / "out" / name));
    for (const std::string& name : c.absent) EXPECT_FALSE(fs::exists(work.path() / "out" / name));
    for (const std::string& text : c.said) EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("not saved"), std::string::npos) << r.err;
  }
  // Two runs' ranges, as their files hold them, in the average's header and
  // in the note.
  const auto range = [](const fs::path& file) { return RangeText(ReadFrdFile(file).points); };
  TempDir work;
  const ProcessResult r = RunTonvale(Room{}.Entry("room"), "c\nroom\nr\nc\nf\n50\nr\nc\nx\n",
                                     work.path(), 60, {"sh", "-c", "exec \"$0\" --save out"});
  const fs::path out = work.path() / "out";
  const std::string runs =
      "run-001 " + range(out / "run-001.frd") + ", run-002 " + range(out / "run-002.frd");
  EXPECT_EQ(ReadFrdFile(out / "average.frd").header.at(2),
            "over " + range(out / "average.frd") + ", where every run measured (" + runs + ")");
  EXPECT_NE(r.err.find("Note: the runs saved cover different frequencies (" + runs +
                       "), so their average holds only " + range(out / "average.frd")),
            std::string::npos)
      << r.err;
}

}  // namespace
