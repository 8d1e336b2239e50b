#include <gtest/gtest.h>

#include <string>

#include "run_harness.h"

// The memory check before a run tells the truth: under a limit on the
// process, a sweep it lets through is analysed to the end (its impulse
// response gives the distance line), and one it refuses is never played.
namespace {

TEST(MemoryCheck, RunsThatFitAreAnalysedAndOthersAreNotPlayed) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer cannot run under a memory limit";
#endif
  const struct {
    const char* seconds;
    bool played;
  } kCases[] = {{"200", true}, {"280", false}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.seconds);
    TempDir work;
    const ProcessResult r =
        RunTonvale(Room{}.Entry("room"), "c\nroom\nt\n" + std::string(c.seconds) + "\nr\nc\nx\n",
                   work.path(), 120, {"sh", "-c", "ulimit -v 400000 && exec \"$0\""});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out.find("Running Test...") != std::string::npos, c.played) << r.err;
    EXPECT_EQ(r.err.find("Microphone about") != std::string::npos, c.played) << r.err;
    EXPECT_EQ(r.err.find("Not enough memory") == std::string::npos, c.played) << r.err;
  }
}

}  // namespace
