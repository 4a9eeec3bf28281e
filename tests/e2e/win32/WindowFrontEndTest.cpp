#include <gtest/gtest.h>

#include <map>

#include "e2e/EndToEnd.h"
#include "support/win32/WindowDriver.h"

namespace qsi::test {
namespace {

// A box that must show with its title and the beginning of its text, answered OK.
void answer(DWORD program, const std::string& title, const std::string& start,
            std::vector<std::string>& seen) {
  const HWND box = waitForWindow(program, title);
  ASSERT_NE(box, nullptr) << "no box \"" << title << "\" for: " << start;
  std::string text;
  for (const Control& control : controlsOf(box))
    if (control.text.size() > text.size() && control.className != "Button") text = control.text;
  seen.push_back(text);
  EXPECT_TRUE(text.starts_with(start)) << text;
  ASSERT_TRUE(pressButton(box, "OK"));
  ASSERT_TRUE(waitUntilGone(box));
}

TEST_F(EndToEnd, TheWindowsLeadThroughAServicePackToTheClosingMessage) {
  writePackage("ServicePack");
  std::vector<std::string> boxes;
  std::map<std::string, bool> enabled;  // the main window's buttons after Retrieve
  std::string report;
  const ProcessResult result = runWithWindows([&](unsigned long id) {
    const auto pid = static_cast<DWORD>(id);
    const HWND main = waitForWindow(pid, "Q-Orchard Solution Installer");
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(pressButton(main, "Retrieve information about the current installation"));

    const HWND login = waitForWindow(pid, "SQL Server Login Data");
    ASSERT_NE(login, nullptr);
    for (const Control& control : controlsOf(login))
      if (control.className == "Edit")
        SendMessageA(control.handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("secret"));
    ASSERT_TRUE(pressButton(login, "OK"));

    answer(pid, "Q-SolutionInstaller", "The Installer is about to read the system information",
           boxes);
    answer(pid, "QSolutionInstaller", "The info is retrieved.", boxes);
    for (const Control& control : controlsOf(main))
      enabled[control.text] = IsWindowEnabled(control.handle);

    for (const auto& [button, title] : {std::pair{"View Customizations Report", "Customizations"},
                                        std::pair{"View Installation Plan", "Installation Plan"}}) {
      ASSERT_TRUE(pressButton(main, button));
      const HWND window = waitForWindow(pid, title);
      ASSERT_NE(window, nullptr) << title;
      if (report.empty()) report = controlsOf(window).at(0).text;
      ASSERT_TRUE(pressButton(window, "Exit"));
      ASSERT_TRUE(waitUntilGone(window));
    }

    ASSERT_TRUE(pressButton(main, "Start Installation"));
    answer(pid, "Q-SolutionInstaller",
           "The setup program has finished updating Q-Alder.\r\n\r\n"
           "The logfiles are written to the location: \r\n" +
               shownFolder("QOLog"),
           boxes);
  });
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(boxes.size(), 3u);
  EXPECT_FALSE(enabled.at("Retrieve information about the current installation"));
  EXPECT_TRUE(enabled.at("Start Installation"));
  EXPECT_TRUE(enabled.at("View Installation Plan"));
  EXPECT_NE(report.find("QO11\\Q-Alder\\default.asp"), std::string::npos) << report;

  EXPECT_EQ(readText(site.instMainDir / "QO11/Q-Alder/default.asp"), kNewPage);
  EXPECT_EQ(appVersion("WebServer"), "2.1.1");
  EXPECT_EQ(portableLogs(),
            readText(std::filesystem::path(QSI_SOURCE_DIR) / "tests/e2e/ServicePackLogs.txt"));
}

}  // namespace
}  // namespace qsi::test
