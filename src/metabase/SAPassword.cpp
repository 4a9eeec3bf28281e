#include "metabase/SAPassword.h"

#include "platform/Text.h"

namespace qsi::metabase {

namespace {
// Drivers are not ours: should one ever quote the password back, it is masked
// (a very short one would mask ordinary words, and is left alone).
std::string withoutPassword(const std::string& message, std::string_view password) {
  if (password.size() < 4) return message;
  return platform::replaceAll(message, password, "********");
}
}  // namespace

bool validateSAPassword(const platform::Environment& env, PasswordDialog& dialog) {
  // One object serves every try of this call.
  const auto connection = platform::databasesOf(env).connection();
  for (;;) {
    if (!dialog.ask()) return false;
    try {
      connection->open(kMetabaseDataSource, kSaLogin, dialog.password());
      connection->close();
      return true;
    } catch (const platform::OdbcFailure& failure) {
      // The database's own words tell a wrong password from a missing data
      // source or an unreachable server; they never hold the password.
      std::string text(kPasswordNotValid);
      for (const auto& error : failure.errors())
        text.append(platform::kCrLf).append(withoutPassword(error, dialog.password()));
      env.ui.messageBox({text});
    }
  }
}

std::unique_ptr<platform::DatabaseConnection> openMetabaseConnection(
    const platform::Environment& env, std::string_view saPassword) {
  auto connection = platform::databasesOf(env).connection();
  connection->open(kMetabaseConnectionString, kSaLogin, saPassword);
  return connection;
}

}  // namespace qsi::metabase
