#include <gtest/gtest.h>

#include <csignal>
#include <sstream>

#include "platform/Interrupt.h"
#include "ui/console/ConsoleView.h"

namespace qsi::ui::console {
namespace {

using platform::Answer;

// A Yes/No box read from a pipe: only a line that says yes is Yes; the end of
// input, or a program told to end, answers No.
TEST(ConsoleViewTest, AYesNoBoxIsYesOnlyWhenTheLineSaysSo) {
  const struct {
    std::string input;
    bool toldToEnd;
    Answer answer;
  } cases[] = {
      {"y\n", false, Answer::Yes},   {" YES\r\n", false, Answer::Yes}, {"n\n", false, Answer::No},
      {"yess\n", false, Answer::No}, {"", false, Answer::No},          {"yes\n", true, Answer::No},
  };
  for (const auto& c : cases) {
    std::istringstream in(c.input);
    std::ostringstream out;
    std::ostringstream progress;
    ConsoleView view({in, out, progress});
    if (c.toldToEnd) platform::requestInterrupt(SIGTERM);
    EXPECT_EQ(view.messageBox({"Go on?", platform::Buttons::YesNo, platform::Icon::None, "Plan"}),
              c.answer)
        << c.input;
    platform::clearInterruptRequest();
    EXPECT_EQ(out.str(), "[Plan]\nGo on?\n[Yes] [No]\n") << c.input;
  }
}

}  // namespace
}  // namespace qsi::ui::console
