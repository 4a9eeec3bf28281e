#include "support/ScriptedView.h"

namespace qsi::test {

void ScriptedView::refresh(control::Element element, const control::MainWindowState& state) {
  if (element == control::Element::txtProgressText)
    refreshes.emplace_back(element, state.txtProgressText);
  else if (element == control::Element::txtProgressDetail)
    refreshes.emplace_back(element, state.txtProgressDetail);
}

platform::Answer ScriptedView::messageBox(const platform::MessageBox& box) {
  boxes.push_back(box);
  if (answers.empty()) return platform::unanswered(box.buttons);
  const auto answer = answers.front();
  answers.pop_front();
  return answer;
}

void ScriptedView::showLogin(control::frmLogin& login) {
  ++loginsShown;
  if (logins.empty()) {
    login.cmdCancel_Click();
    return;
  }
  const Login next = logins.front();
  logins.pop_front();
  login.txtPassword = next.password;
  if (next.ok)
    login.cmdOK_Click();
  else
    login.cmdCancel_Click();
}

}  // namespace qsi::test
