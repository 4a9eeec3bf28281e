#include "control/Main.h"

#include <exception>

#include "platform/Failure.h"
#include "platform/Text.h"
#include "solution/SolutionReader.h"

namespace qsi::control {

using platform::Answer;
using platform::Failure;
using platform::InfoBox;
using platform::ProgressBox;

Main::Main(Services services, View& view)
    : view_(view),
      clock_(services.clock),
      env_{services.registry, services.profiles, *this, std::move(services.installerFolder), {}} {}

void Main::Form_Load() {
  try {
    env_.stamp = platform::makeRunStamp(clock_.now());
    getSolutionInformation();
    clearProgress();
  } catch (const Failure& failure) {
    endWithFailure(failure);
  }
}

void Main::getSolutionInformation() {
  if (!solutionLog_) solutionLog_.emplace(env_);
  solutionInfo_ = solution::readSolutionInfo(env_, folders_, *solutionLog_);
  if (solutionInfo_.productName.empty())
    messageBox({"Solution info could not be found in the Solution.info file"});
}

void Main::press(Button button) {
  try {
    switch (button) {
      case Button::cmdRetrieveInfo:
        if (state_.cmdRetrieveInfoEnabled) cmdRetrieveInfo_Click();
        break;
      case Button::cmdStart:
        if (state_.cmdStartEnabled) cmdStart_Click();
        break;
      case Button::cmdCustimizationReport:
        if (state_.cmdCustimizationReportEnabled) cmdCustimizationReport_Click();
        break;
    }
  } catch (const Failure& failure) {
    endWithFailure(failure);
  }
}

void Main::cmdRetrieveInfo_Click() {
  messageBox({"Retrieving the current installation is not available in this build."});
}

void Main::cmdStart_Click() {}

void Main::cmdCustimizationReport_Click() {}

void Main::endWithFailure(const Failure& failure) {
  std::string text = "Error " + std::to_string(failure.number()) + " in " + failure.source() + ":" +
                     std::string(platform::kCrLf) + failure.description();
  if (!failure.cause().empty()) text += std::string(platform::kCrLf) + failure.cause();
  messageBox({text, platform::Buttons::OK, platform::Icon::Critical});
  throw platform::EndProgram{platform::EndProgram::kFailed};
}

void Main::clearProgress() {
  setProgress(ProgressBox::Text, "");
  setProgress(ProgressBox::Detail, "");
}

void Main::setButtons(bool retrieve, bool start, bool report) {
  state_.cmdRetrieveInfoEnabled = retrieve;
  state_.cmdStartEnabled = start;
  state_.cmdCustimizationReportEnabled = report;
  view_.refresh(Element::buttons, state_);
}

void Main::setProgress(ProgressBox box, std::string text, bool repaint) {
  const bool isText = box == ProgressBox::Text;
  (isText ? state_.txtProgressText : state_.txtProgressDetail) = std::move(text);
  if (repaint)
    view_.refresh(isText ? Element::txtProgressText : Element::txtProgressDetail, state_);
}

void Main::append(InfoBox box, std::string_view text) {
  const bool isSolution = box == InfoBox::Solution;
  (isSolution ? state_.txtSolution : state_.txtCurrent).append(text);
  view_.refresh(isSolution ? Element::txtSolution : Element::txtCurrent, state_);
}

void Main::setProgressCount(std::size_t done, std::size_t total) {
  state_.filesDone = done;
  state_.filesTotal = total;
  view_.refresh(Element::progressBar, state_);
}

Answer Main::messageBox(const platform::MessageBox& box) {
  return view_.messageBox(box);
}

}  // namespace qsi::control
