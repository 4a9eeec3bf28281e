#include <gtest/gtest.h>

#include "platform/Paths.h"

namespace qsi::platform {
namespace {

// A package built on Linux is installed on Windows: what Windows cannot hold
// is refused on every system, and what only looks like it is not.
TEST(WindowsNameProblem, NamesTheNamesWindowsCannotHoldOnEverySystem) {
  for (const char* name : {"nul", "Aux.tar.gz", "prn .txt", "com1.dll", "LPT9"})
    EXPECT_NE(windowsNameProblem(name).value_or("").find("a device"), std::string::npos) << name;
  EXPECT_EQ(windowsNameProblem("page.asp "), "the name ends in a blank, which Windows drops");
  EXPECT_EQ(windowsNameProblem("page."), "the name ends in a dot, which Windows drops");
  for (const char c : std::string_view(":*?\"<>|"))
    EXPECT_EQ(windowsNameProblem(std::string("a") + c + "b"),
              std::string("the name holds \"") + c + "\", which Windows does not allow");
  for (const char* name : {"CONSOLE.asp", "con_x.asp", "COM0", "COM10.dll", "LPT", "a.b.c", ".x"})
    EXPECT_EQ(windowsNameProblem(name), std::nullopt) << name;
  EXPECT_EQ(joinBelow("base", "QO11\\Q-Alder\\con.asp"), std::nullopt);  // no device's path
}

}  // namespace
}  // namespace qsi::platform
