#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "control/View.h"

namespace qsi::test {

// The tests' user: it records what the window was asked to show and answers
// message boxes and the login dialog from scripts. An unscripted box gets the
// answer that changes nothing (OK, Cancel or No); an unscripted login is cancelled.
class ScriptedView final : public control::View {
 public:
  struct Login {
    std::string password;
    bool ok = true;
  };

  std::deque<platform::Answer> answers;
  std::deque<Login> logins;

  std::vector<platform::MessageBox> boxes;
  std::vector<control::frmReport> reports;
  std::vector<std::pair<control::Element, std::string>> refreshes;  // progress texts as painted
  int loginsShown = 0;

  void refresh(control::Element element, const control::MainWindowState& state) override {
    if (element == control::Element::txtProgressText)
      refreshes.emplace_back(element, state.txtProgressText);
    else if (element == control::Element::txtProgressDetail)
      refreshes.emplace_back(element, state.txtProgressDetail);
  }
  platform::Answer messageBox(const platform::MessageBox& box) override {
    boxes.push_back(box);
    return answers.empty() ? platform::unanswered(box.buttons) : next(answers);
  }
  void showLogin(control::frmLogin& login) override {
    ++loginsShown;
    if (logins.empty()) {
      login.cmdCancel_Click();
      return;
    }
    const Login typed = next(logins);
    login.txtPassword = typed.password;
    if (typed.ok)
      login.cmdOK_Click();
    else
      login.cmdCancel_Click();
  }
  void showReport(const control::frmReport& report) override { reports.push_back(report); }

 private:
  template <typename T>
  static T next(std::deque<T>& script) {
    T first = script.front();
    script.pop_front();
    return first;
  }
};

}  // namespace qsi::test
