#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <thread>

#include "platform/CommandRunner.h"
#include "platform/Interrupt.h"
#include "support/Process.h"
#include "support/TestSite.h"

namespace qsi::platform {
namespace {

using Words = std::vector<std::string>;

TEST(CommandRunnerTest, SplitsWordsAtBlanksAndGroupsQuotedStretches) {
  const std::vector<std::pair<std::string, Words>> cases = {
      {"net stop W3SVC /y", {"net", "stop", "W3SVC", "/y"}},
      {"  mtxstop\t ", {"mtxstop"}},
      {"x\"y z\"w", {"xy zw"}},
      {"\"say \"\"hi\"\"\" \"\"", {"say \"hi\"", ""}},
      {"$(touch pwned);rm `id` \\a", {"$(touch", "pwned);rm", "`id`", "\\a"}},
      {"\"unclosed quote", {"unclosed quote"}},
  };
  for (const auto& [text, words] : cases) EXPECT_EQ(splitCommandWords(text), words) << text;
  for (const std::string word : {"", "a b", "\"", "x\"\"y\" $(id) ;", "\"\"\""})
    EXPECT_EQ(splitCommandWords(quoteCommandWord(word) + " next"), (Words{word, "next"})) << word;
}

// Never from the current folder, even where PATH names it, nor by a relative path.
TEST(CommandRunnerTest, StartsProgramsByTheirFullPathOnlyAndReturnsTheirExitCode) {
  const test::TestSite site;
  test::writeScript(site.root / "net", "exit 0");
  const test::ScopedEnv path("PATH", ".::bin:/usr/bin:/bin");
  const auto folder = std::filesystem::current_path();
  ASSERT_EQ(::chdir(site.root.c_str()), 0);
  PosixCommandRunner runner;
  const auto code = [&](std::string_view command) { return runner.run(command).exitCode; };
  EXPECT_EQ(code("true"), 0);
  EXPECT_EQ(code("sh -c \"exit 3\""), 3);
  EXPECT_EQ(code("sh -c \"kill -9 $$\""), 128 + 9);
  EXPECT_EQ(code("qsi-no-such-program-here arg"), kCommandNotStarted);
  EXPECT_EQ(code("net stop W3SVC /y"), kCommandNotStarted);
  EXPECT_EQ(code("./net stop W3SVC /y"), kCommandNotStarted);
  EXPECT_EQ(code((site.root / "net").string()), 0);
  ASSERT_EQ(::chdir(folder.c_str()), 0);
  // Nothing it prints reaches our output; it reads none of our input (the console's answers).
  testing::internal::CaptureStdout();
  EXPECT_EQ(code("sh -c \"echo leaked; read line\""), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// A hung command, even one ignoring SIGTERM, ends at its limit; an interrupt ends it at once.
TEST(CommandRunnerTest, EndsACommandAtItsTimeLimitOrWhenInterrupted) {
  PosixCommandRunner runner(std::chrono::milliseconds(200));
  const auto started = std::chrono::steady_clock::now();
  const CommandResult hung = runner.run("sh -c \"trap '' TERM; sleep 30\"");
  EXPECT_TRUE(hung.timedOut && !hung.succeeded());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));

  PosixCommandRunner patient(std::chrono::minutes(1));
  std::thread interrupter([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    requestInterrupt(SIGTERM);
  });
  EXPECT_THROW((void)patient.run("sleep 30"), Interrupted);
  interrupter.join();
  {
    const InterruptShield shield;  // the way out still runs its commands
    EXPECT_TRUE(patient.run("true").succeeded());
  }
  clearInterruptRequest();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8));
}

}  // namespace
}  // namespace qsi::platform
