#include <gtest/gtest.h>

#include "platform/CommandRunner.h"

namespace qsi::platform {
namespace {

TEST(CommandRunnerTest, ReturnsTheExitCodeAnd127WhenTheProgramCannotStart) {
  PosixCommandRunner runner;
  EXPECT_EQ(runner.run("true"), 0);
  EXPECT_EQ(runner.run("sh -c \"exit 3\""), 3);
  EXPECT_EQ(runner.run("sh -c \"kill -9 $$\""), 128 + 9);
  EXPECT_EQ(runner.run("qsi-no-such-program-here arg"), kCommandNotStarted);
  EXPECT_EQ(runner.run("/nonexistent/folder/stop.exe"), kCommandNotStarted);
  EXPECT_EQ(runner.run("   "), kCommandNotStarted);
  // The command has no window: nothing it prints reaches our output, and it
  // reads nothing of our input (the console's answers).
  testing::internal::CaptureStdout();
  EXPECT_EQ(runner.run("sh -c \"echo leaked; read line\""), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
}  // namespace qsi::platform
