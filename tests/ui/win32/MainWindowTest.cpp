#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "actions/ActionServices.h"
#include "platform/Text.h"
#include "support/TestSite.h"
#include "support/win32/WindowDriver.h"
#include "ui/win32/MainWindow.h"

namespace qsi::ui::win32 {
namespace {

using platform::Answer;
using platform::Buttons;
using platform::Icon;

// Acts on a window of this process as soon as it shows, from another thread,
// while the test's thread waits in the window's own loop; joined when it ends.
std::jthread answer(std::string title, std::function<void(HWND)> act) {
  return std::jthread([title = std::move(title), act = std::move(act)] {
    if (const HWND window = test::waitForWindow(GetCurrentProcessId(), title))
      act(window);
    else
      ADD_FAILURE() << "no window \"" << title << "\"";
  });
}

class MainWindowTest : public ::testing::Test {
 protected:
  test::TestSite site;
  test::FixedClock clock;
  actions::NativeActionServices actions{site.registry};

  MainWindowTest() {
    site.writePackage(
        "configuration files/Solution.info",
        "[ReleaseInfo]\nProductName=Q-Alder\nVersion=2.1.1.0\nSolutionType=Solution\n");
    site.writePackage("configuration files/Q-Alder.ini", "[ReleaseInfo]\nVersion=2.1.1.0\n");
  }
  control::Services services() {
    return {site.registry, site.profiles, clock, site.installer, actions.services()};
  }
  static std::string text(HWND control) { return test::textOf(control); }
};

TEST_F(MainWindowTest, StartsWithEveryElementInTheStartedState) {
  MainWindow window(services());
  ASSERT_TRUE(window.start());
  EXPECT_EQ(text(window.handle()), "Q-Orchard Solution Installer");
  const std::pair<const char*, const char*> captions[] = {{"Frame1", "Solution Info"},
                                                          {"Website", "Current Installation Info"},
                                                          {"cmdViewPlan", "View Installation Plan"},
                                                          {"txtProgressText", ""},
                                                          {"txtProgressDetail", ""},
                                                          {"txtCurrent", ""},
                                                          {"Line1", ""}};
  for (const auto& [name, caption] : captions) {
    ASSERT_NE(window.element(name), nullptr) << name;
    EXPECT_EQ(text(window.element(name)), caption) << name;
  }
  EXPECT_TRUE(IsWindowEnabled(window.element("cmdRetrieveInfo")));
  EXPECT_FALSE(IsWindowEnabled(window.element("cmdStart")));
  EXPECT_FALSE(IsWindowEnabled(window.element("cmdCustimizationReport")));
  EXPECT_FALSE(IsWindowEnabled(window.element("cmdViewPlan")));
  EXPECT_TRUE(text(window.element("txtSolution")).starts_with("ProductName    : Q-Alder\r\n"));

  // The progress bar lies below the two progress boxes.
  RECT detail{};
  RECT bar{};
  GetWindowRect(window.element("txtProgressDetail"), &detail);
  GetWindowRect(window.element("progressBar"), &bar);
  EXPECT_GE(bar.top, detail.bottom);
  // The buttons stand side by side in one row inside the window, each wide
  // enough for its caption.
  RECT client{};
  GetClientRect(window.handle(), &client);
  MapWindowPoints(window.handle(), nullptr, reinterpret_cast<POINT*>(&client), 2);
  RECT row{};
  GetWindowRect(window.element("cmdRetrieveInfo"), &row);
  LONG right = client.left;
  for (const char* name :
       {"cmdRetrieveInfo", "cmdStart", "cmdCustimizationReport", "cmdViewPlan"}) {
    const HWND control = window.element(name);
    RECT button{};
    GetWindowRect(control, &button);
    EXPECT_EQ(button.top, row.top) << name;
    EXPECT_GT(button.left, right) << name;
    EXPECT_LE(button.right, client.right) << name;
    right = button.right;
    const HDC dc = GetDC(control);
    SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    const std::string caption = text(control);
    SIZE size{};
    GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
    ReleaseDC(control, dc);
    EXPECT_LT(size.cx + 8, button.right - button.left) << name << ": " << size.cx;
  }
}

TEST_F(MainWindowTest, MessageBoxesHaveTheirButtonsIconsAndTitle) {
  MainWindow window(services());
  ASSERT_TRUE(window.start());
  struct Case {
    platform::MessageBox box;
    const char* press;
    std::vector<std::string> buttons;
    bool icon;
    Answer answer;
  };
  const platform::MessageBox again{"Again?", Buttons::RetryCancel, Icon::None,
                                   "Q-SollutionInstaller"};
  const platform::MessageBox goOn{"Go on?", Buttons::YesNo};
  const std::vector<std::string> ok{"OK"}, retryCancel{"Retry", "Cancel"}, yesNo{"Yes", "No"};
  const Case cases[] = {
      {{"The entered Password is not valid"}, "OK", ok, false, Answer::OK},
      {again, "Retry", retryCancel, false, Answer::Retry},
      {again, "Cancel", retryCancel, false, Answer::Cancel},
      {goOn, "Yes", yesNo, false, Answer::Yes},
      {goOn, "No", yesNo, false, Answer::No},
      {{"The info is retrieved.", Buttons::OK, Icon::Information}, "OK", ok, true, Answer::OK},
      {{"1 file was not installed", Buttons::OK, Icon::Warning}, "OK", ok, true, Answer::OK},
      {{"Error while Copying", Buttons::OK, Icon::Critical, "Q-SolutionInstaller"},
       "OK",
       ok,
       true,
       Answer::OK},
  };
  for (const Case& c : cases) {
    std::vector<std::string> buttons;
    bool icon = false;
    bool text = false;
    {
      const auto answerer = answer(c.box.title, [&](HWND box) {
        for (const test::Control& control : test::controlsOf(box)) {
          if (platform::iequals(control.className, "Button"))
            buttons.push_back(platform::replaceAll(control.text, "&", ""));
          // Wine keeps an icon control in every box; only a shown icon counts.
          icon = icon ||
                 ((control.style & SS_TYPEMASK) == SS_ICON && IsWindowVisible(control.handle) &&
                  SendMessageA(control.handle, STM_GETICON, 0, 0) != 0);
          text = text || control.text == c.box.text;
        }
        test::pressButton(box, c.press);
      });
      EXPECT_EQ(window.messageBox(c.box), c.answer) << c.box.text;
    }
    EXPECT_EQ(buttons, c.buttons) << c.box.text;
    EXPECT_EQ(icon, c.icon) << c.box.text;
    EXPECT_TRUE(text) << c.box.text;
  }
}

TEST_F(MainWindowTest, TheLoginDialogMasksThePasswordAndKeepsItsText) {
  MainWindow window(services());
  ASSERT_TRUE(window.start());
  control::frmLogin login;
  std::vector<test::Control> controls;
  {
    const auto answerer = answer("SQL Server Login Data", [&](HWND dialog) {
      controls = test::controlsOf(dialog);
      for (const auto& control : controls)
        if (platform::iequals(control.className, "Edit"))
          SendMessageA(control.handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("secret"));
      test::pressButton(dialog, "OK");
    });
    window.showLogin(login);
  }
  EXPECT_TRUE(login.OK);
  EXPECT_EQ(login.SAPassword, "secret");
  ASSERT_EQ(controls.size(), 4u);
  EXPECT_EQ(controls[0].text, "&SA Password:");
  EXPECT_NE(controls[1].style & ES_PASSWORD, 0u);
  EXPECT_EQ(SendMessageA(controls[1].handle, EM_GETPASSWORDCHAR, 0, 0), '*');

  // Shown again, it still holds the text typed last; Cancel empties the password.
  std::string shown;
  {
    const auto answerer = answer("SQL Server Login Data", [&](HWND dialog) {
      shown = test::textOf(controls[1].handle);
      test::pressButton(dialog, "Cancel");
    });
    window.showLogin(login);
  }
  EXPECT_EQ(shown, "secret");
  EXPECT_FALSE(login.OK);
  EXPECT_EQ(login.SAPassword, "");
  EXPECT_EQ(login.txtPassword, "secret");
}

TEST_F(MainWindowTest, ReportWindowsAreModelessAndEachClosesByItsExitButton) {
  MainWindow window(services());
  ASSERT_TRUE(window.start());
  window.showReport({"line one\r\nline two\r\n"});
  window.showReport({"line one\r\nline two\r\n"});
  std::vector<HWND> reports;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND w, LPARAM found) {
        if (test::textOf(w) == "Customizations" && IsWindowVisible(w))
          reinterpret_cast<std::vector<HWND>*>(found)->push_back(w);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&reports));
  ASSERT_EQ(reports.size(), 2u);
  for (const HWND report : reports) {
    const auto controls = test::controlsOf(report);
    ASSERT_EQ(controls.size(), 2u);
    EXPECT_EQ(controls[0].text, "line one\r\nline two\r\n");
    const DWORD wanted = WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY;
    EXPECT_EQ(controls[0].style & wanted, wanted);
    EXPECT_EQ(controls[1].text, "Exit");
  }
  ASSERT_TRUE(test::pressButton(reports[0], "Exit"));
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  EXPECT_FALSE(IsWindow(reports[0]));
  EXPECT_TRUE(IsWindow(reports[1]));
}

TEST_F(MainWindowTest, ProgressPaintsAtMostOncePerRefreshAndAlwaysTheLastText) {
  MainWindow window(services());
  ASSERT_TRUE(window.start());
  control::MainWindowState state;
  const int atStart = window.progressPaints();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 100000; ++i) {
    state.txtProgressDetail = "file " + std::to_string(i);
    window.refresh(control::Element::txtProgressDetail, state);
  }
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  const int paints = window.progressPaints() - atStart;
  EXPECT_LE(paints, elapsed.count() / 16 + 1) << elapsed.count() << " ms";
  EXPECT_GT(paints, 0);
  // A message box paints what is still pending before it shows.
  const int before = window.progressPaints();
  state.txtProgressDetail = "last";
  window.refresh(control::Element::txtProgressDetail, state);
  {
    const auto answerer =
        answer("QSolutionInstaller", [](HWND box) { test::pressButton(box, "OK"); });
    window.messageBox({"done"});
  }
  EXPECT_EQ(window.progressPaints(), before + 1);
  EXPECT_EQ(text(window.element("txtProgressDetail")), "last");
}

}  // namespace
}  // namespace qsi::ui::win32
