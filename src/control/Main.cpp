#include "control/Main.h"

#include <exception>

#include "actions/FileInstallation.h"
#include "actions/Services.h"
#include "control/Checks.h"
#include "control/FileSelection.h"
#include "customization/Customization.h"
#include "metabase/MetabaseStatements.h"
#include "metabase/MetabaseUpdate.h"
#include "metabase/RegistryUpdate.h"
#include "metabase/SAPassword.h"
#include "metabase/SqlScripts.h"
#include "platform/Failure.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "solution/SolutionReader.h"

namespace qsi::control {

using platform::Answer;
using platform::Buttons;
using platform::Failure;
using platform::Icon;
using platform::InfoBox;
using platform::kCrLf;
using platform::ProgressBox;

namespace {

const std::string kLineBreak(kCrLf);
constexpr std::string_view kSolutionInstallerTitle = "Q-SolutionInstaller";

// The password dialog as the password proof sees it.
class LoginAdapter final : public metabase::PasswordDialog {
 public:
  LoginAdapter(View& view, frmLogin& login) : view_(view), login_(login) {}
  bool ask() override {
    view_.showLogin(login_);
    return login_.OK;
  }
  [[nodiscard]] std::string password() const override { return login_.SAPassword; }

 private:
  View& view_;
  frmLogin& login_;
};

}  // namespace

Main::Main(Services services, View& view)
    : view_(view),
      clock_(services.clock),
      actions_(services.actions),
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
  LoginAdapter dialog(view_, login_);
  while (!metabase::validateSAPassword(env_, dialog)) {
    const Answer answer = messageBox({"The installer cannot proceed without the SA Password",
                                      Buttons::RetryCancel, Icon::None, "Q-SollutionInstaller"});
    if (answer == Answer::Retry) continue;
    messageBox({"The installer is about to exit", Buttons::OK, Icon::Critical,
                std::string(kSolutionInstallerTitle)});
    throw platform::EndProgram{platform::EndProgram::kStopped};
  }
  messageBox({"The Installer is about to read the system information" + kLineBreak +
                  "This can take a while!",
              Buttons::OK, Icon::Information, std::string(kSolutionInstallerTitle)});
  getCurrentInstallationInformation();
  clearProgress();
  customization::buildCustomizationsLog(env_, solutionInfo_);
  setButtons(false, false, false);
  clearProgress();
  determineWhatToInstall(env_, solutionInfo_, siteInfo_);
  setButtons(false, true, false);
  clearProgress();
  if (solutionInfo_.hasCustomizedFiles) {
    setButtons(false, true, true);
    messageBox({"The info is retrieved." + kLineBreak +
                "To see which customized files have been found press View Report!" + kLineBreak +
                "To start the installation press Start!"});
  } else {
    messageBox({"The info is retrieved." + kLineBreak + "To start the installation press Start!"});
  }
}

void Main::getCurrentInstallationInformation() {
  if (!siteLog_) siteLog_.emplace(env_);
  siteInfo_ = site::readSiteInfo(env_, *siteLog_);
  site::readCurrentSiteChecksums(env_, solutionInfo_);
  checkProductVersion(env_, solutionInfo_, InstalledVersion);
  checkDependencyProduct(env_, solutionInfo_);
  checkDependencyProductVersion(env_, solutionInfo_, InstalledVersion);
  checkDependencyCommonVersion(env_, solutionInfo_, InstalledVersion);
}

void Main::cmdStart_Click() {
  clearProgress();
  setButtons(state_.cmdRetrieveInfoEnabled, false, state_.cmdCustimizationReportEnabled);
  const bool updatesRegistry = solutionInfo_.solutionType != "Solution";
  if (solutionInfo_.hasFiles) {
    if (solutionInfo_.hasComponents) {
      actions::stopNTServices(env_, actions_.commands);
      actions::stopQOServices(env_, actions_.commands);
    }
    actions::installFiles(env_, actions_, siteInfo_.InstMainDir, solutionInfo_, folders_);
    metabase::updateMetabase(env_, solutionInfo_, metabase::kWebServer, login_.SAPassword);
    if (updatesRegistry)
      metabase::updateRegistryModulesInfo(env_, solutionInfo_, metabase::kWebServer);
    if (solutionInfo_.hasComponents) actions::startNTServices(env_, actions_.commands);
  }
  if (solutionInfo_.hasSqlScripts) {
    metabase::runSQLScripts(env_, solutionInfo_, login_.SAPassword);
    metabase::updateMetabase(env_, solutionInfo_, metabase::kDbServer, login_.SAPassword);
    if (updatesRegistry)
      metabase::updateRegistryModulesInfo(env_, solutionInfo_, metabase::kDbServer);
  }
  setButtons(state_.cmdRetrieveInfoEnabled, false, state_.cmdCustimizationReportEnabled);
  clearProgress();
  messageBox({closingText(), Buttons::OK, Icon::Information, std::string(kSolutionInstallerTitle)});
  throw platform::EndProgram{platform::EndProgram::kInstalled};
}

std::string Main::closingText() const {
  const std::filesystem::path instMainDir(siteInfo_.InstMainDir);
  const std::string& stamp = env_.stamp.installDateAndTimeFormat;
  std::string text = "The setup program has finished updating " + solutionInfo_.productName + "." +
                     kLineBreak + kLineBreak;
  text += "The logfiles are written to the location: " + kLineBreak +
          platform::displayPath(instMainDir / "QOLog" / stamp, true) + "." + kLineBreak;
  if (solutionInfo_.hasCustomizedFiles)
    text += "The Customized files are written to the location: " + kLineBreak +
            platform::displayPath(instMainDir / "QOCustomized" / stamp, true) + ".";
  return text;
}

void Main::cmdCustimizationReport_Click() {
  view_.showReport(frmReport{customization::showCustomizationReport(env_)});
}

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
