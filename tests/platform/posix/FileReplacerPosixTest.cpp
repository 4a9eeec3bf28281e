#include <gtest/gtest.h>

#include <stdexcept>
#include <system_error>

#include "platform/FileReplacer.h"
#include "support/Faults.h"
#include "support/TestSite.h"

namespace qsi::platform {
namespace {

namespace fs = std::filesystem;
using P = fs::perms;

// Fails as a full disk does.
class FullDisk final : public PosixFileReplacer {
 protected:
  void writeChunk(int, std::string_view, const fs::path& file) override {
    throw std::system_error(ENOSPC, std::generic_category(), file.string());
  }
};

// Modes are ours for a new file, even of a 255-byte name, the old file's for a replaced
// one; a saved copy is never overwritten; a full disk leaves it and no temporary file.
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
  fs::permissions(source, P::owner_read | P::owner_write | P::others_write);
  files.replaceWithCopy(source, site.instMainDir / "plain.asp");
  EXPECT_EQ(fs::status(site.instMainDir / "plain.asp").permissions(),
            P::owner_read | P::owner_write | P::group_read | P::others_read);
  const fs::path old = site.write("inst/old.asp", "old");
  fs::permissions(old, P::owner_read | P::group_read);
  files.replaceWithCopy(source, old);
  EXPECT_EQ(test::readText(old), "new");
  EXPECT_EQ(fs::status(old).permissions(), P::owner_read | P::group_read);

  const fs::path saved = site.write("inst/saved.asp", "saved");
  EXPECT_THROW(files.copyToNew(source, saved), std::runtime_error);
  EXPECT_EQ(test::readText(saved), "saved");
  EXPECT_EQ(test::thrownText([&] { FullDisk().replaceWithCopy(source, saved); }),
            "cannot copy to " + saved.string() + ": No space left on device");  // the reason, once
  EXPECT_EQ(test::readText(saved), "saved");
  EXPECT_EQ(test::treeText(site.instMainDir).find(".qsi-"), std::string::npos);
}

}  // namespace
}  // namespace qsi::platform
