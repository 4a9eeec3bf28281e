#pragma once

#include <string>
#include <string_view>

namespace qsi::control {

// The questions the flow asks, by the keys that answer them unattended.
inline constexpr std::string_view kUnfinishedRunQuestion = "unfinished_run";
inline constexpr std::string_view kOnFailureQuestion = "on_failure";
inline constexpr std::string_view kLoginRetryQuestion = "login_retries";
inline constexpr std::string_view kCustomizationsQuestion = "customizations";
inline constexpr std::string_view kPasswordQuestion = "password";

// The SQL Server password dialog. It is hidden, never unloaded: it keeps the
// typed text and the proven password until the program ends.
struct frmLogin {
  static constexpr std::string_view caption = "SQL Server Login Data";
  static constexpr std::string_view lblLabels = "&SA Password:";

  bool OK = false;
  std::string SAPassword;
  std::string txtPassword;

  void cmdOK_Click() {
    SAPassword = txtPassword;
    OK = true;
  }
  void cmdCancel_Click() {
    OK = false;
    SAPassword.clear();
  }
};

// One report window: the customizations report, or the installation plan.
struct frmReport {
  static constexpr std::string_view kCustomizations = "Customizations";
  static constexpr std::string_view kInstallationPlan = "Installation Plan";
  static constexpr std::string_view cmdOK = "Exit";
  std::string txtReport;
  std::string caption{kCustomizations};
};

}  // namespace qsi::control
