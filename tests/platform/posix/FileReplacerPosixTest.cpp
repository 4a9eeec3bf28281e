#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>

#include "platform/FileReplacer.h"
#include "support/TestSite.h"

namespace qsi::platform {
namespace {

namespace fs = std::filesystem;
using P = fs::perms;

// Writes 64 KB at a time. Fails as a full disk does from chunk `fullAt` on;
// or writes to `signal` once 4 chunks are written, and goes slowly.
class TestCopy final : public PosixFileReplacer {
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

// Modes are ours for a new file and the old file's for a replaced one; any
// name the file system takes can be replaced; a saved copy is never
// overwritten; a full disk leaves the destination and no temporary file.
TEST(FileReplacer, KeepsModesTakesLongNamesNeverOverwritesASavedCopyAndFailsCleanly) {
  const test::TestSite site;
  const fs::path source = site.write("pkg/page.asp", "new");
  fs::permissions(source, P::owner_all | P::set_uid | P::others_write);
  PosixFileReplacer files;
  const fs::path fresh = site.instMainDir / (std::string(251, 'n') + ".asp");
  files.replaceWithCopy(source, fresh);
  files.replaceWithCopy(source, fresh);
  EXPECT_EQ(fs::status(fresh).permissions(),
            P::owner_all | P::group_read | P::group_exec | P::others_read | P::others_exec);
  const fs::path old = site.write("inst/old.asp", "old");
  fs::permissions(old, P::owner_read | P::group_read);
  files.replaceWithCopy(source, old);
  EXPECT_EQ(test::readText(old), "new");
  EXPECT_EQ(fs::status(old).permissions(), P::owner_read | P::group_read);

  const fs::path saved = site.write("inst/saved.asp", "saved");
  EXPECT_THROW(files.copyToNew(source, saved), std::system_error);
  EXPECT_EQ(test::readText(saved), "saved");
  TestCopy full;
  full.fullAt = 0;
  EXPECT_THROW(full.replaceWithCopy(source, saved), std::system_error);
  EXPECT_EQ(test::readText(saved), "saved");
  EXPECT_EQ(test::treeText(site.instMainDir).find(".qsi-"), std::string::npos);
}

TEST(FileReplacer, AProcessKilledWhileReplacingALargeFileLeavesTheOldOrTheNewFile) {
  const test::TestSite site;
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
      PosixFileReplacer files;
      for (int i = 0;; ++i) files.replaceWithCopy(sources[i % 2], target);
    }
    ::usleep(static_cast<useconds_t>(5000 + round * 7000));
    EXPECT_TRUE(killChild(child));
    const std::string content = test::readText(target);
    EXPECT_TRUE(content == oldContent || content == newContent) << "torn: " << content.size();
  }
}

}  // namespace
}  // namespace qsi::platform
