#include <gtest/gtest.h>

#include <stdexcept>
#include <system_error>

#include "platform/FileIO.h"
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

// A read-only file on another file system than the journal is kept beside
// it with its mode, and put back by a copy renamed over it; the attributes
// read back from their text, and no other text passes for them.
TEST(FileReplacer, KeepsAndPutsBackAFileOfAnotherFileSystemWithItsMode) {
  const test::TestSite site;
  const fs::path source = site.write("pkg/A.class", "new");
  const fs::path old = site.write("java/A.class", "old");
  fs::permissions(old, P::owner_read | P::group_read | P::others_read);
  fs::create_directories(site.root / "journal/files");
  test::FaultyFileReplacer files;
  files.elsewhere = [&](const fs::path& path) {
    return path.lexically_relative(site.root).begin()->string() == "journal";
  };
  Placement placement;
  placement.source = source;
  placement.destination = old;
  placement.backup = site.root / "journal/files/000001";
  placement.keptBeside = keptBesideFolder(old, "run") / "000001";
  files.placeAll(std::span(&placement, 1), site.root / "journal", nullptr);
  ASSERT_TRUE(placement.placed()) << placement.error;
  EXPECT_FALSE(fs::exists(placement.backup));
  EXPECT_EQ(test::readText(placement.keptBeside), "old");
  EXPECT_EQ(attributesOf(placement.keptBeside), attributesOf(old));
  EXPECT_EQ(test::readText(old), "new");

  files.elsewhere = [&](const fs::path& path) { return path == placement.keptBeside; };
  files.putBack(placement.keptBeside, old);
  EXPECT_EQ(test::readText(old), "old");
  EXPECT_EQ(fs::status(old).permissions(), P::owner_read | P::group_read | P::others_read);
  EXPECT_EQ(test::treeText(old.parent_path()), ".qsi-kept/\n.qsi-kept/run/\nA.class = old\n");
  // A link where the hidden folder goes is not followed: the file stays as it was.
  const fs::path other = site.write("java2/B.class", "old");
  fs::create_directory(site.root / "trap");
  fs::create_directory_symlink(site.root / "trap", other.parent_path() / ".qsi-kept");
  Placement linked = placement;
  linked.destination = other;
  linked.backup = site.root / "journal/files/000002";
  linked.keptBeside = keptBesideFolder(other, "run") / "000002";
  files.elsewhere = [&](const fs::path& path) { return path == linked.backup; };
  files.placeAll(std::span(&linked, 1), site.root / "journal", nullptr);
  EXPECT_FALSE(linked.placed());
  EXPECT_NE(linked.error.find(".qsi-kept is refused: it is a symbolic link"), std::string::npos)
      << linked.error;
  EXPECT_TRUE(fs::is_empty(site.root / "trap"));
  EXPECT_EQ(test::readText(other), "old");

  const auto attributes = attributesOf(old);
  ASSERT_TRUE(attributes);
  EXPECT_EQ(parseAttributes(attributesText(*attributes)), attributes);
  for (const char* text : {"0444 1 2 ", "10000 1 2", "0444 1", "0444 x 2", " 0444 1 2"})
    EXPECT_EQ(parseAttributes(text), std::nullopt) << text;
  // A set-id bit is never added: the attributes may come from a hand-made journal.
  applyAttributes(old, {07755, attributes->owner, attributes->group});
  EXPECT_EQ(fs::status(old).permissions(),
            P::owner_all | P::group_read | P::group_exec | P::others_read | P::others_exec);
}

}  // namespace
}  // namespace qsi::platform
