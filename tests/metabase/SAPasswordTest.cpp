#include <gtest/gtest.h>

#include "metabase/SAPassword.h"
#include "platform/Text.h"
#include "support/MetabaseFixture.h"

namespace qsi::metabase {
namespace {

class SAPasswordTest : public test::MetabaseTest {
 protected:
  test::ScriptedPasswordDialog dialog;
};

TEST_F(SAPasswordTest, WrongThenRightAsksAgainWithTheDatabaseMessage) {
  requirePostgres();
  sources.addPostgres("QOMetabase");
  dialog.answers = {"wrong-password", saPassword()};
  EXPECT_TRUE(validateSAPassword(site.env, dialog));
  EXPECT_EQ(dialog.asked, 2);
  ASSERT_EQ(site.ui.boxes.size(), 1u);
  const auto& box = site.ui.boxes[0];
  EXPECT_TRUE(box.text.starts_with("The entered Password is not valid\r\n")) << box.text;
  EXPECT_NE(box.text.find("password authentication failed for user \"sa\""), std::string::npos);
  EXPECT_EQ(box.text.find("wrong-password"), std::string::npos);

  // The update run logs in with the proven password without asking.
  EXPECT_TRUE(openMetabaseConnection(site.env, saPassword())->isOpen());
  EXPECT_THROW((void)openMetabaseConnection(site.env, "wrong-password"), platform::OdbcFailure);
}

// Drivers are not ours: a password that their message happens to quote is
// masked in it. Cancel ends without a message.
TEST_F(SAPasswordTest, MissingDataSourceRefusesEveryTryUntilCancel) {
  dialog.answers = {"one", "", "source", std::nullopt};
  EXPECT_FALSE(validateSAPassword(site.env, dialog));
  EXPECT_EQ(dialog.asked, 4);
  const std::string message =
      "The entered Password is not valid\r\n[unixODBC][Driver Manager]Data source name not found "
      "and no default driver specified";
  ASSERT_EQ(site.ui.boxes.size(), 3u);
  EXPECT_EQ(site.ui.boxes[0].text, message);
  EXPECT_EQ(site.ui.boxes[1].text, message);
  EXPECT_EQ(site.ui.boxes[2].text, platform::replaceAll(message, "source", "********"));
}

TEST_F(SAPasswordTest, EmptyPasswordPassesWhenTheServerAcceptsIt) {
  sources.addSqlite("QOMetabase");  // the embedded default takes any password
  dialog.answers = {""};
  EXPECT_TRUE(validateSAPassword(site.env, dialog));
  EXPECT_TRUE(site.ui.boxes.empty());
}

}  // namespace
}  // namespace qsi::metabase
