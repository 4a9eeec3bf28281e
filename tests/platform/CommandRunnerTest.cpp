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

}  // namespace
}  // namespace qsi::platform
