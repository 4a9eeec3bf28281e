#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>

#include "actions/FileSystem.h"
#include "platform/Failure.h"
#include "platform/Paths.h"
#include "support/TestSite.h"

namespace qsi::actions {
namespace {

namespace fs = std::filesystem;

// Writes 64 KB at a time. Fails as a full disk does from chunk `fullAt` on;
// or writes to `signal` once 4 chunks are written, and goes slowly.
class TestCopy final : public platform::PosixFileReplacer {
 public:
  int fullAt = -1;
  int signal = -1;

 protected:
  void writeChunk(int out, std::string_view bytes, const fs::path& file) override {
    for (; !bytes.empty(); bytes.remove_prefix(std::min<std::size_t>(bytes.size(), 1 << 16))) {
      if (chunks_++ == fullAt)
        throw std::system_error(ENOSPC, std::generic_category(), file.string());
      PosixFileReplacer::writeChunk(out, bytes.substr(0, 1 << 16), file);
      if (signal >= 0 && chunks_ == 4) (void)::write(signal, "x", 1);
      if (signal >= 0) ::usleep(1000);
    }
  }

 private:
  int chunks_ = 0;
};

class FileCopyTest : public ::testing::Test {
 protected:
  test::TestSite site;
  fs::path source = site.write("pkg/page.asp", "new");
};

TEST_F(FileCopyTest, MakesMissingFoldersAndReplacesReadOnlyTargets) {
  const fs::path deep = site.instMainDir / "QO11" / "new" / "sub" / "page.asp";
  FileCopy(site.env, source, deep);
  EXPECT_EQ(test::readText(deep), "new");
  // Any name the file system takes can be installed, however long.
  const fs::path longest = site.instMainDir / (std::string(251, 'n') + ".asp");
  FileCopy(site.env, source, longest);
  FileCopy(site.env, source, longest);
  EXPECT_EQ(test::readText(longest), "new");
  // A saved copy is never overwritten.
  platform::NativeFileReplacer files;
  EXPECT_THROW(
      FileCopy(site.env, files, site.write("pkg/other.asp", "other"), deep, CopyMode::NewOnly),
      platform::Failure);
  EXPECT_EQ(test::readText(deep), "new");
  site.ui.boxes.clear();
  EXPECT_EQ(getParentFolder("/f.dll"), "/");
  EXPECT_THROW((void)getParentFolder("f.dll"), platform::Failure);

  // A read-only target is made writable for its owner; its other permissions,
  // not the defaults of a new file, are kept.
  using P = fs::perms;
  const fs::path target = site.write("inst/QO11/old.asp", "old");
  fs::permissions(target, P::owner_read | P::group_read);
  FileCopy(site.env, source, target);
  EXPECT_EQ(test::readText(target), "new");
  EXPECT_EQ(fs::status(target).permissions(), P::owner_read | P::owner_write | P::group_read);
  createFolderPath(site.env, "");
  ASSERT_EQ(site.ui.boxes.size(), 1u);
  EXPECT_EQ(site.ui.boxes[0].text, "Empty Path");
}

TEST_F(FileCopyTest, AFailedCopyShowsOneBoxRaises210AndLeavesTheTargetAsItWas) {
  site.write("inst/Blocked", "a file where a folder should be");
  const fs::path target = site.write("inst/QO11/page.asp", "old");
  struct Case {
    const char* what;
    fs::path source, destination;
    bool fullDisk = false;
  };
  const Case cases[] = {
      {"folder cannot be made", source, site.instMainDir / "Blocked" / "sub" / "page.asp"},
      {"source vanished", site.root / "pkg" / "gone.asp", target},
      {"disk full", site.write("pkg/big.bin", std::string(100000, 'b')), target, true},
      {"empty destination", source, ""},
  };
  for (const Case& c : cases) {
    site.ui.boxes.clear();
    TestCopy files;
    files.fullAt = c.fullDisk ? 1 : -1;
    const std::string text =
        "Error while Copying the file to: " + platform::displayPath(c.destination);
    std::string raised = "nothing";
    try {
      FileCopy(site.env, files, c.source, c.destination);
    } catch (const platform::Failure& f) {
      raised = std::to_string(f.number()) + " " + f.source() + ": " + f.description();
    }
    EXPECT_EQ(raised, "210 FileCopy: " + text) << c.what;
    ASSERT_EQ(site.ui.boxes.size(), 1u) << c.what;
    const auto& box = site.ui.boxes[0];
    EXPECT_EQ(box.title + ": " + box.text, "QSolutionInstaller: " + text);
    EXPECT_EQ(box.icon, platform::Icon::Critical);
    EXPECT_TRUE(test::readText(target) == "old") << c.what;
    EXPECT_EQ(std::distance(fs::directory_iterator(target.parent_path()), {}), 1) << c.what;
  }
}

TEST_F(FileCopyTest, AProcessKilledWhileReplacingALargeFileLeavesTheOldOrTheNewFile) {
  const std::string oldContent(8 << 20, 'o');
  const std::string newContent(16 << 20, 'n');
  const fs::path target = site.write("inst/big.bin", oldContent);
  const fs::path sources[] = {site.write("pkg/new.bin", newContent),
                              site.write("pkg/old.bin", oldContent)};
  const auto killChild = [](pid_t child) {
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status);
  };

  // Killed for certain in the middle of writing the new content.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  pid_t child = ::fork();
  if (child == 0) {
    TestCopy slow;
    slow.signal = fds[1];
    slow.replaceWithCopy(sources[0], target);
    ::_exit(0);
  }
  char signal = 0;
  ASSERT_EQ(::read(fds[0], &signal, 1), 1);
  EXPECT_TRUE(killChild(child));
  ::close(fds[0]);
  ::close(fds[1]);
  EXPECT_TRUE(test::readText(target) == oldContent) << "the old file is lost";

  // Killed at moments of chance while replacing the file again and again.
  for (int round = 0; round < 6; ++round) {
    child = ::fork();
    if (child == 0) {
      platform::PosixFileReplacer files;
      for (int i = 0;; ++i) files.replaceWithCopy(sources[i % 2], target);
    }
    ::usleep(static_cast<useconds_t>(5000 + round * 7000));
    EXPECT_TRUE(killChild(child));
    const std::string content = test::readText(target);
    EXPECT_TRUE(content == oldContent || content == newContent) << "torn: " << content.size();
  }
}

}  // namespace
}  // namespace qsi::actions
