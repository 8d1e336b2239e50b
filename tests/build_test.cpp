#include <gtest/gtest.h>

#include "process_runner.h"

// The runner that every end-to-end test leans on: input in, both outputs and
// the exit status back, even when the outputs outgrow a pipe's buffer.
TEST(ProcessRunner, PassesInputAndCollectsOutputsAndStatus) {
  std::string big(300000, 'a');
  const ProcessResult r = RunProcess({"sh", "-c", "cat; echo oops >&2; exit 3"}, {.input = big});
  EXPECT_EQ(r.out, big);
  EXPECT_EQ(r.err, "oops\n");
  EXPECT_EQ(r.exitStatus, 3);
  EXPECT_FALSE(r.timedOut);
}

TEST(ProcessRunner, KillsAProcessThatOverstaysItsTimeout) {
  const ProcessResult r = RunProcess({"sleep", "30"}, {.timeout = std::chrono::seconds(1)});
  EXPECT_TRUE(r.timedOut);
}
