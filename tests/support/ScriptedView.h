#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "control/View.h"

namespace qsi::test {

// The tests' user, answering from scripts; past them it changes nothing.
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

  void refresh(control::Element element, const control::MainWindowState& state) override {
    using control::Element;
    if (element == Element::txtProgressText || element == Element::txtProgressDetail)
      refreshes.emplace_back(element, element == Element::txtProgressText
                                          ? state.txtProgressText
                                          : state.txtProgressDetail);
  }
  platform::Answer messageBox(const platform::MessageBox& box) override {
    boxes.push_back(box);
    if (answers.empty()) return platform::unanswered(box.buttons);
    const platform::Answer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void showLogin(control::frmLogin& login) override {
    const Login typed = logins.empty() ? Login{{}, false} : logins.front();
    if (!logins.empty()) {
      login.txtPassword = typed.password;
      logins.pop_front();
    }
    typed.ok ? login.cmdOK_Click() : login.cmdCancel_Click();
  }
  void showReport(const control::frmReport& report) override { reports.push_back(report); }
};

}  // namespace qsi::test
