#include <gtest/gtest.h>

#include "platform/CommandRunner.h"

namespace qsi::platform {
namespace {

using Words = std::vector<std::string>;

TEST(CommandRunnerTest, SplitsWordsAtBlanksAndGroupsQuotedStretches) {
  const std::vector<std::pair<std::string, Words>> cases = {
      {"net stop W3SVC /y", {"net", "stop", "W3SVC", "/y"}},
      {"  mtxstop\t ", {"mtxstop"}},
      {"\"/a b/bin/stop.exe\" qosvc01.exe", {"/a b/bin/stop.exe", "qosvc01.exe"}},
      {"x\"y z\"w", {"xy zw"}},
      {"\"say \"\"hi\"\"\" \"\"", {"say \"hi\"", ""}},
      {"$(touch pwned);rm `id` \\a", {"$(touch", "pwned);rm", "`id`", "\\a"}},
      {"\"unclosed quote", {"unclosed quote"}},
  };
  for (const auto& [text, words] : cases) EXPECT_EQ(splitCommandWords(text), words) << text;
  for (const std::string word : {"", "a b", "\"", "x\"\"y\" $(id) ;", "\"\"\""})
    EXPECT_EQ(splitCommandWords(quoteCommandWord(word) + " next"), (Words{word, "next"})) << word;
}

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
