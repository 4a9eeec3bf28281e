#pragma once

#include <cstddef>
#include <string>

#include "control/Dialogs.h"
#include "platform/UserInterface.h"

namespace qsi::control {

// The main window's content, kept by Main and drawn by the view.
struct MainWindowState {
  std::string txtProgressText;
  std::string txtProgressDetail;
  std::string txtSolution;
  std::string txtCurrent;
  bool cmdRetrieveInfoEnabled = true;
  bool cmdStartEnabled = false;
  bool cmdCustimizationReportEnabled = false;
  bool cmdViewPlanEnabled = false;  // "View Installation Plan": enabled whenever cmdStart is
  std::size_t filesDone = 0;        // the progress bar of the file loops
  std::size_t filesTotal = 0;       // 0: no loop running
};

enum class Element {
  txtProgressText,
  txtProgressDetail,
  txtSolution,
  txtCurrent,
  buttons,
  progressBar,
};

// What a front-end draws. Main calls it on the user-interface thread.
class View {
 public:
  virtual ~View() = default;
  // The element changed; show its new state (at once for the progress boxes,
  // though the view may skip repaints that come faster than the screen).
  virtual void refresh(Element element, const MainWindowState& state) = 0;
  // A modal message box; returns the button pressed. Boxes have OK, Retry
  // and Cancel, or Yes and No.
  virtual platform::Answer messageBox(const platform::MessageBox& box) = 0;
  // The modal password dialog over the main window; returns when one of its
  // buttons was pressed (the model's OK and SAPassword are then set).
  virtual void showLogin(frmLogin& login) = 0;
  // A new modeless report window showing `report`, titled by its caption.
  virtual void showReport(const frmReport& report) = 0;
};

}  // namespace qsi::control
