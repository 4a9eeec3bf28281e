#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/Environment.h"
#include "platform/OdbcConnection.h"

namespace qsi::metabase {

// The Metabase's data source, and the text that logs in with its own login.
inline constexpr std::string_view kMetabaseDataSource = "QOMetabase";
inline constexpr std::string_view kMetabaseConnectionString =
    "DSN=QOMetabase;UID=TarnwickMetabase;PWD=;";
// The system administrator's login as the password proof and the update run
// name it; the SQL scripts name it in capitals.
inline constexpr std::string_view kSaLogin = "sa";
inline constexpr std::string_view kSaScriptLogin = "SA";

inline constexpr std::string_view kPasswordNotValid = "The entered Password is not valid";

// The SA password dialog as this layer sees it; the main window shows it.
class PasswordDialog {
 public:
  virtual ~PasswordDialog() = default;
  // Shows the dialog modally over the main window; true after OK, false after Cancel.
  virtual bool ask() = 0;
  // The password typed when OK was pressed (empty after Cancel).
  [[nodiscard]] virtual std::string password() const = 0;
};

// Asks for the SA password until the Metabase accepts it (true) or the user
// cancels (false). Each refused try shows "The entered Password is not valid"
// with the database's own message on the lines below it, and asks again.
[[nodiscard]] bool validateSAPassword(const platform::Environment& env, PasswordDialog& dialog);

// An open connection to the Metabase as the system administrator. Throws
// OdbcFailure when it cannot be opened.
[[nodiscard]] std::unique_ptr<platform::DatabaseConnection> openMetabaseConnection(
    const platform::Environment& env, std::string_view saPassword);

}  // namespace qsi::metabase
