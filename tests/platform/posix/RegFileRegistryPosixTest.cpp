#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "platform/Failure.h"
#include "platform/RegFileRegistry.h"
#include "support/Faults.h"
#include "support/TestSite.h"

namespace qsi::platform {
namespace {

namespace fs = std::filesystem;

// The shared file keeps its owner and mode. A write the disk refuses (a size
// limit stands in for a full disk, which nothing keeps root from) leaves it whole.
TEST(RegFileRegistryPosixTest, KeepsOwnerAndModeAndAFailedWriteLeavesTheFile) {
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

  const std::string before = test::readText(file);
  std::signal(SIGXFSZ, SIG_IGN);
  struct ::rlimit limit = {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
  const struct ::rlimit small = {16, limit.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string failure = test::thrownText([&] { (void)registry.writeValue("K", "V", "2"); });
  ::setrlimit(RLIMIT_FSIZE, &limit);  // lifted whatever the write threw
  EXPECT_TRUE(failure.starts_with("The registry file " + file.string() + " cannot be written: "))
      << failure;
  EXPECT_TRUE(failure.ends_with(std::strerror(EFBIG))) << failure;  // the system's reason
  EXPECT_EQ(test::readText(file), before);
  EXPECT_EQ(test::treeText(site.root).find(".store.reg"), std::string::npos);  // no temporary file
}

}  // namespace
}  // namespace qsi::platform
