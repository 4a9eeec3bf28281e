#include <gtest/gtest.h>

#include "actions/FileSystem.h"
#include "platform/Failure.h"
#include "platform/Paths.h"
#include "platform/win32/WindowsApi.h"
#include "support/TestSite.h"

namespace qsi::actions {
namespace {

namespace fs = std::filesystem;

DWORD attributesOf(const fs::path& file) {
  return GetFileAttributesA(file.string().c_str());
}

TEST(FileCopyWin32Test, ReadOnlyTargetsLoseEveryAttributeOthersKeepTheirs) {
  test::TestSite site;
  const fs::path source = site.write("pkg/page.asp", "new");
  const fs::path deep = site.instMainDir / "QO11" / "new" / "sub" / "page.asp";
  FileCopy(site.env, source, deep);
  EXPECT_EQ(test::readText(deep), "new");

  const struct {
    DWORD before;
    DWORD kept;  // of read-only, hidden and system
  } cases[] = {
      {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, 0},
      {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_HIDDEN},
      {FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN,
       FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN},
  };
  for (const auto& c : cases) {
    const fs::path target = site.write("inst/QO11/old.asp", "old");
    SetFileAttributesA(target.string().c_str(), c.before);
    FileCopy(site.env, source, target);
    EXPECT_EQ(test::readText(target), "new") << c.before;
    EXPECT_EQ(attributesOf(target) &
                  (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              c.kept)
        << c.before;
    SetFileAttributesA(target.string().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  EXPECT_TRUE(site.ui.boxes.empty());
}

TEST(FileCopyWin32Test, AnUnknownDriveOrAVanishedSourceIs210AndChangesNothing) {
  test::TestSite site;
  const fs::path target = site.write("inst/QO11/page.asp", "old");
  const std::pair<fs::path, fs::path> cases[] = {
      {site.write("pkg/page.asp", "new"), "Q:\\Inst\\QO11\\page.asp"},
      {site.root / "pkg" / "gone.asp", target},
  };
  for (const auto& [source, destination] : cases) {
    site.ui.boxes.clear();
    const std::string text =
        "Error while Copying the file to: " + platform::displayPath(destination);
    try {
      FileCopy(site.env, source, destination);
      ADD_FAILURE() << "no failure for " << destination;
    } catch (const platform::Failure& failure) {
      EXPECT_EQ(
          std::to_string(failure.number()) + " " + failure.source() + ": " + failure.description(),
          "210 FileCopy: " + text);
    }
    ASSERT_EQ(site.ui.boxes.size(), 1u);
    EXPECT_EQ(site.ui.boxes[0].icon, platform::Icon::Critical);
    EXPECT_EQ(test::readText(target), "old");
  }
  EXPECT_FALSE(fs::exists("Q:\\Inst"));
}

}  // namespace
}  // namespace qsi::actions
