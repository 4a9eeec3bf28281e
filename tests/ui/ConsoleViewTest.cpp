#include <gtest/gtest.h>

#include <algorithm>
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

// Progress to a pipe: every headline, in order; details no more often than
// the window repaints, and the last detail before a box is always written.
TEST(ConsoleViewTest, ProgressToAPipeKeepsHeadlinesAndTheLastDetail) {
  std::istringstream in("\n");
  std::ostringstream out;
  std::ostringstream progress;
  ConsoleView view({in, out, progress});
  control::MainWindowState state;
  const auto update = [&](std::string text, std::string detail) {
    state.txtProgressText = std::move(text);
    state.txtProgressDetail = std::move(detail);
    view.refresh(control::Element::txtProgressDetail, state);
  };
  update("Reading", "a");
  for (int i = 0; i < 10000; ++i) update("Reading", "file " + std::to_string(i));
  update("Copying", "b");
  update("Copying", "c");
  view.messageBox({"Done", platform::Buttons::OK, platform::Icon::None, "End"});
  const std::string text = progress.str();
  EXPECT_TRUE(text.starts_with("[progress] Reading\n[detail] a\n")) << text;
  EXPECT_NE(text.find("[detail] file 9999\n[progress] Copying\n"), std::string::npos);
  EXPECT_TRUE(text.ends_with("[detail] c\n")) << text;
  EXPECT_LT(std::count(text.begin(), text.end(), '\n'), 1000);
}

}  // namespace
}  // namespace qsi::ui::console
