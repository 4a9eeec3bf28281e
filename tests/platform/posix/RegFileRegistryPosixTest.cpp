#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/RegFileRegistry.h"
#include "support/TestSite.h"

namespace qsi::platform {
namespace {

namespace fs = std::filesystem;

// The file is shared: its replacement keeps the owner and mode another
// program gave it.
TEST(RegFileRegistryPosixTest, KeepsOwnerAndMode) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root gives a file to another owner";
  const test::TestSite site;
  const fs::path file = site.write("store.reg", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n");
  ASSERT_EQ(::chown(file.c_str(), 1234, 5678), 0);
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  RegFileRegistry registry(file);
  ASSERT_TRUE(registry.writeValue("K", "V", "1"));
  struct ::stat after = {};
  ASSERT_EQ(::stat(file.c_str(), &after), 0);
  EXPECT_EQ(after.st_uid, 1234u);
  EXPECT_EQ(after.st_gid, 5678u);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
}

}  // namespace
}  // namespace qsi::platform
