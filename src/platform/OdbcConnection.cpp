#include "platform/OdbcConnection.h"

#include "platform/Environment.h"

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <utility>

#include "platform/Interrupt.h"
#include "platform/Text.h"

namespace qsi::platform {

namespace {

// Closes the cursor of the connection's statement handle when it goes, so
// that the handle serves the next statement.
class Cursor {
 public:
  explicit Cursor(SQLHSTMT statement) : statement_(statement) {}
  ~Cursor() { SQLFreeStmt(statement_, SQL_CLOSE); }
  Cursor(const Cursor&) = delete;
  Cursor& operator=(const Cursor&) = delete;
  [[nodiscard]] SQLHSTMT get() const { return statement_; }

 private:
  SQLHSTMT statement_;
};

bool succeeded(SQLRETURN rc) {
  return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

// Drivers end their messages with line breaks; the collection keeps the text only.
std::string trimmedMessage(std::string_view text) {
  constexpr std::string_view blanks = " \t\r\n";
  const auto first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(blanks);
  return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<std::string> records;
  if (handle == SQL_NULL_HANDLE) return records;
  for (SQLSMALLINT index = 1;; ++index) {
    std::array<SQLCHAR, 6> state{};
    SQLINTEGER native = 0;
    std::vector<SQLCHAR> message(1024);
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRec(type, handle, index, state.data(), &native, message.data(),
                                 static_cast<SQLSMALLINT>(message.size()), &length);
    if (!succeeded(rc)) break;
    if (static_cast<std::size_t>(length) >= message.size()) {
      message.resize(static_cast<std::size_t>(length) + 1);
      rc = SQLGetDiagRec(type, handle, index, state.data(), &native, message.data(),
                         static_cast<SQLSMALLINT>(message.size()), &length);
      if (!succeeded(rc)) break;
    }
    const auto size =
        std::min(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)), message.size() - 1);
    records.push_back(trimmedMessage({reinterpret_cast<const char*>(message.data()), size}));
  }
  return records;
}

std::vector<std::string> orFallback(std::vector<std::string> records, std::string_view fallback) {
  if (records.empty()) records.emplace_back(fallback);
  return records;
}

SQLCHAR* sqlText(std::string& text) {
  return reinterpret_cast<SQLCHAR*>(text.data());
}

std::string joinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) {
    if (!text.empty()) text.append(kCrLf);
    text.append(line);
  }
  return text;
}

const ConnectionAttribute* findAttribute(const std::vector<ConnectionAttribute>& attributes,
                                         std::string_view key) {
  const auto it = std::find_if(attributes.begin(), attributes.end(),
                               [&](const ConnectionAttribute& a) { return iequals(a.key, key); });
  return it == attributes.end() ? nullptr : &*it;
}

void setAttribute(std::vector<ConnectionAttribute>& attributes, std::string_view key,
                  std::string_view value) {
  for (auto& attribute : attributes) {
    if (iequals(attribute.key, key)) {
      attribute.value = value;
      return;
    }
  }
  attributes.push_back({std::string(key), std::string(value)});
}

std::optional<std::string> readColumn(SQLHSTMT statement, SQLUSMALLINT column,
                                      std::vector<std::string>& errors) {
  std::string value;
  std::array<char, 4096> buffer{};
  const auto room = static_cast<SQLLEN>(buffer.size() - 1);  // one byte for the terminator
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(statement, column, SQL_C_CHAR, buffer.data(),
                                    static_cast<SQLLEN>(buffer.size()), &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!succeeded(rc)) {
      errors = orFallback(diagnostics(SQL_HANDLE_STMT, statement), "A value could not be read.");
      return std::nullopt;
    }
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    if (indicator != SQL_NO_TOTAL && indicator <= room) {
      value.append(buffer.data(), static_cast<std::size_t>(indicator));
      break;
    }
    value.append(buffer.data(), static_cast<std::size_t>(room));  // truncated: more follows
  }
  return value;
}

}  // namespace

OdbcFailure::OdbcFailure(std::string source, std::vector<std::string> errors)
    : Failure(kDatabaseFailure, std::move(source), joinLines(errors)), errors_(std::move(errors)) {}

std::vector<ConnectionAttribute> parseConnectionText(std::string_view text) {
  std::vector<ConnectionAttribute> attributes;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto stop = text.find_first_of("=;", pos);
    if (stop == std::string_view::npos || text[stop] == ';') {
      pos = stop == std::string_view::npos ? text.size() : stop + 1;
      continue;
    }
    ConnectionAttribute attribute{std::string(trim(text.substr(pos, stop - pos))), {}};
    pos = stop + 1;
    if (pos < text.size() && text[pos] == '{') {
      for (++pos; pos < text.size(); ++pos) {
        if (text[pos] == '}') {
          if (pos + 1 < text.size() && text[pos + 1] == '}') {
            attribute.value.push_back('}');
            ++pos;
            continue;
          }
          ++pos;
          break;
        }
        attribute.value.push_back(text[pos]);
      }
      const auto end = text.find(';', pos);
      pos = end == std::string_view::npos ? text.size() : end + 1;
    } else {
      const auto end = text.find(';', pos);
      const auto stopAt = end == std::string_view::npos ? text.size() : end;
      attribute.value = std::string(text.substr(pos, stopAt - pos));
      pos = stopAt + 1;
    }
    if (!attribute.key.empty()) attributes.push_back(std::move(attribute));
  }
  return attributes;
}

std::string buildConnectionText(const std::vector<ConnectionAttribute>& attributes) {
  std::string text;
  for (const auto& attribute : attributes) {
    text.append(attribute.key).push_back('=');
    const std::string_view value = attribute.value;
    // Drivers differ in the braces they understand (the SQLite driver none,
    // psqlODBC only around PWD), so only a value that needs them gets them.
    const bool needsBraces = value.find_first_of(";{}=") != std::string_view::npos ||
                             (!value.empty() && (value.front() == ' ' || value.back() == ' '));
    if (needsBraces)
      text.append("{").append(replaceAll(value, "}", "}}")).append("}");
    else
      text.append(value);
    text.push_back(';');
  }
  return text;
}

std::vector<ConnectionAttribute> connectionAttributes(std::string_view text, std::string_view user,
                                                      std::string_view password) {
  // The driver manager reads every text up to a NUL: one in the password
  // would drop the attributes that follow it, and log in with a part of it.
  for (const std::string_view part : {text, user, password})
    if (part.find('\0') != std::string_view::npos)
      throw OdbcFailure("connectionAttributes",
                        {"The connection text, user name or password holds a NUL character, "
                         "which no database login can pass on."});
  std::vector<ConnectionAttribute> attributes;
  if (text.find('=') == std::string_view::npos)
    attributes.push_back({"DSN", std::string(trim(text))});
  else
    attributes = parseConnectionText(text);
  if (!user.empty()) setAttribute(attributes, "UID", user);
  if (!password.empty()) setAttribute(attributes, "PWD", password);
  return attributes;
}

// --- OdbcHandle ---

OdbcHandle::OdbcHandle(short type, void* parent) : type_(type) {
  SQLHANDLE handle = SQL_NULL_HANDLE;
  const SQLRETURN rc = SQLAllocHandle(type, parent, &handle);
  if (!succeeded(rc)) {
    const SQLSMALLINT parentType = type == SQL_HANDLE_DBC ? SQL_HANDLE_ENV : SQL_HANDLE_DBC;
    throw OdbcFailure("SQLAllocHandle", orFallback(parent ? diagnostics(parentType, parent)
                                                          : std::vector<std::string>{},
                                                   "The database client could not be started."));
  }
  handle_ = handle;
}

OdbcHandle::~OdbcHandle() {
  reset();
}

OdbcHandle::OdbcHandle(OdbcHandle&& other) noexcept
    : type_(other.type_), handle_(std::exchange(other.handle_, nullptr)) {}

OdbcHandle& OdbcHandle::operator=(OdbcHandle&& other) noexcept {
  if (this != &other) {
    reset();
    type_ = other.type_;
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

void OdbcHandle::reset() noexcept {
  if (handle_ != nullptr) SQLFreeHandle(type_, handle_);
  handle_ = nullptr;
}

// --- OdbcResult ---

OdbcResult::OdbcResult(std::vector<std::string> columns,
                       std::vector<std::vector<std::optional<std::string>>> rows)
    : columns_(std::move(columns)), rows_(std::move(rows)) {}

std::optional<std::string> OdbcResult::field(std::string_view name) const {
  if (eof()) throw OdbcFailure("OdbcResult::field", {"There is no current row."});
  for (std::size_t i = 0; i < columns_.size(); ++i)
    if (iequals(columns_[i], name)) return rows_[current_][i];
  throw OdbcFailure("OdbcResult::field", {"The result has no column " + std::string(name) + "."});
}

// --- OdbcConnection ---

// The handles of one login. The calls on the driver's thread share them, so
// that a call left behind keeps them until it returns.
struct OdbcConnection::Session {
  OdbcHandle environment;
  OdbcHandle connection;
  OdbcHandle statement;  // after connection: freed before it
  bool connected = false;
  SQLULEN statementSeconds = 0;  // the statement handle's query time-out

  Session() : environment(SQL_HANDLE_ENV, SQL_NULL_HANDLE) {
    SQLSetEnvAttr(environment.get(), SQL_ATTR_ODBC_VERSION, attributeValue(SQL_OV_ODBC3), 0);
    connection = OdbcHandle(SQL_HANDLE_DBC, environment.get());
  }
  ~Session() {
    statement = OdbcHandle();
    if (connected) SQLDisconnect(connection.get());
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  static SQLPOINTER attributeValue(std::uintmax_t value) {
    // ODBC passes whole-number attributes in its pointer argument.
    return reinterpret_cast<SQLPOINTER>(  // NOLINT(performance-no-int-to-ptr)
        static_cast<std::uintptr_t>(value));
  }
};

// What a call on the driver's thread gives back.
struct OdbcConnection::Reply {
  std::vector<std::string> errors;  // empty when the call succeeded
  OdbcResult result;
};

namespace {

SQLRETURN logIn(SQLHDBC connection, bool plain, std::vector<ConnectionAttribute>& attributes) {
  SQLRETURN rc = SQL_ERROR;
  if (plain) {
    const auto value = [&](std::string_view key) {
      const auto* a = findAttribute(attributes, key);
      return a ? a->value : std::string();
    };
    std::string name = value("DSN"), uid = value("UID"), pwd = value("PWD");
    rc = SQLConnect(connection, sqlText(name), SQL_NTS, sqlText(uid), SQL_NTS, sqlText(pwd),
                    SQL_NTS);
    std::fill(pwd.begin(), pwd.end(), '\0');
  } else {
    std::string text = buildConnectionText(attributes);
    rc = SQLDriverConnect(connection, nullptr, sqlText(text), SQL_NTS, nullptr, 0, nullptr,
                          SQL_DRIVER_NOPROMPT);
    std::fill(text.begin(), text.end(), '\0');
  }
  for (auto& attribute : attributes)
    std::fill(attribute.value.begin(), attribute.value.end(), '\0');
  return rc;
}

OdbcResult fetchRows(SQLHSTMT stmt, std::vector<std::string>& errors) {
  const auto failed = [&] {
    errors = orFallback(diagnostics(SQL_HANDLE_STMT, stmt), "The result could not be read.");
    return OdbcResult();
  };
  SQLSMALLINT count = 0;
  if (!succeeded(SQLNumResultCols(stmt, &count))) return failed();
  std::vector<std::string> columns;
  for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
    std::array<SQLCHAR, 256> name{};
    SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    if (!succeeded(SQLDescribeCol(stmt, i, name.data(), static_cast<SQLSMALLINT>(name.size()),
                                  &length, &type, &size, &digits, &nullable)))
      return failed();
    const auto used =
        std::min(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)), name.size() - 1);
    columns.emplace_back(reinterpret_cast<const char*>(name.data()), used);
  }
  std::vector<std::vector<std::optional<std::string>>> rows;
  for (;;) {
    const SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA) break;
    if (!succeeded(rc)) return failed();
    auto& row = rows.emplace_back();
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
      row.push_back(readColumn(stmt, i, errors));
      if (!errors.empty()) return {};
    }
  }
  return {std::move(columns), std::move(rows)};
}

}  // namespace

OdbcConnection::OdbcConnection(DatabaseTimeLimits limits) : limits_(limits) {}

OdbcConnection::~OdbcConnection() = default;
OdbcConnection::OdbcConnection(OdbcConnection&& other) noexcept = default;
OdbcConnection& OdbcConnection::operator=(OdbcConnection&& other) noexcept = default;

void OdbcConnection::fail(std::string_view source, std::vector<std::string> errors, bool timedOut) {
  errors_ = errors;
  if (timedOut) throw OdbcTimeout(std::string(source), std::move(errors));
  throw OdbcFailure(std::string(source), std::move(errors));
}

void OdbcConnection::callDriver(std::string_view source, const std::string& what,
                                const TimeLimit& limit, std::function<void()> call,
                                const std::shared_ptr<Reply>& reply,
                                const std::function<void()>& cancel) {
  // A driver that keeps the limit itself ends the call first, in its own words.
  constexpr std::chrono::seconds kMargin{1};
  if (!driver_) driver_ = std::make_unique<CallThread>();
  const auto start = std::chrono::steady_clock::now();
  const CallThread::Outcome outcome =
      driver_->run(std::move(call), cancel, limit.seconds + kMargin);
  const bool late = std::chrono::steady_clock::now() - start >= limit.seconds;
  if (outcome.leftBehind) {  // it keeps its handles; the next login gets new ones
    driver_.reset();
    close();
  }
  if (outcome.signal != 0) throw Interrupted(outcome.signal);
  const std::string passed = what + " did not end within its time limit of " +
                             std::to_string(limit.seconds.count()) + " s (" + limit.setting + ")";
  if (outcome.leftBehind)
    fail(source,
         {passed + ", nor within " + std::to_string(CallThread::kGrace.count()) + " s " +
          (cancel ? "of its cancellation" : "more") + ": the database does not answer."},
         true);
  if (reply->errors.empty()) return;
  if (!outcome.timedOut && !late) fail(source, reply->errors);
  std::vector<std::string> errors{passed + "."};
  errors.insert(errors.end(), reply->errors.begin(), reply->errors.end());
  fail(source, std::move(errors), true);
}

void OdbcConnection::open(std::string_view connectionText, std::string_view user,
                          std::string_view password) {
  close();
  errors_.clear();
  throwIfInterrupted();
  std::vector<ConnectionAttribute> attributes;
  try {
    attributes = connectionAttributes(connectionText, user, password);
  } catch (const OdbcFailure& failure) {
    fail("OdbcConnection::open", failure.errors());
  }
  const bool plain = std::all_of(attributes.begin(), attributes.end(), [](const auto& a) {
    return iequals(a.key, "DSN") || iequals(a.key, "UID") || iequals(a.key, "PWD");
  });
  const auto* dsn = findAttribute(attributes, "DSN");
  // An empty name would open the driver manager's default data source.
  if (plain && (dsn == nullptr || trim(dsn->value).empty()))
    fail("OdbcConnection::open", {"No data source name was given."});

  auto session = std::make_shared<Session>();
  SQLSetConnectAttr(session->connection.get(), SQL_ATTR_LOGIN_TIMEOUT,
                    Session::attributeValue(limits_.login.seconds.count()), 0);
  const auto reply = std::make_shared<Reply>();
  callDriver("OdbcConnection::open", "The login", limits_.login,
             [session, reply, plain, attributes = std::move(attributes)]() mutable {
               if (!succeeded(logIn(session->connection.get(), plain, attributes))) {
                 reply->errors = orFallback(diagnostics(SQL_HANDLE_DBC, session->connection.get()),
                                            "The connection could not be opened.");
                 return;
               }
               session->connected = true;
               session->statement = OdbcHandle(SQL_HANDLE_STMT, session->connection.get());
             },
             reply, {});  // a login cannot be cancelled
  session_ = std::move(session);
}

void OdbcConnection::close() noexcept {
  session_.reset();
}

OdbcResult OdbcConnection::send(std::string_view statement, std::string_view source,
                                bool readRows) {
  errors_.clear();
  throwIfInterrupted();
  if (!session_) fail(source, {"The connection is not open."});
  const auto reply = std::make_shared<Reply>();
  const auto seconds = static_cast<SQLULEN>(limits_.statement.seconds.count());
  callDriver(
      source, "The statement", limits_.statement,
      [session = session_, reply, text = std::string(statement), readRows, seconds]() mutable {
        SQLHSTMT handle = session->statement.get();
        if (session->statementSeconds != seconds) {
          SQLSetStmtAttr(handle, SQL_ATTR_QUERY_TIMEOUT, Session::attributeValue(seconds), 0);
          session->statementSeconds = seconds;
        }
        const Cursor cursor(handle);
        const SQLRETURN rc =
            SQLExecDirect(handle, sqlText(text), static_cast<SQLINTEGER>(text.size()));
        // A statement that changes no row answers "no data"; that is no failure.
        if (!succeeded(rc) && rc != SQL_NO_DATA)
          reply->errors = orFallback(diagnostics(SQL_HANDLE_STMT, handle),
                                     "The statement could not be executed.");
        else if (readRows)
          reply->result = fetchRows(handle, reply->errors);
      },
      reply, [session = session_] { SQLCancel(session->statement.get()); });
  return std::move(reply->result);
}

void OdbcConnection::execute(std::string_view statement) {
  (void)send(statement, "OdbcConnection::execute", false);
}

OdbcResult OdbcConnection::query(std::string_view statement) {
  return send(statement, "OdbcConnection::query", true);
}

Databases& databasesOf(const Environment& env) {
  // Stateless: one for the whole program is as good as one per use.
  static OdbcDatabases machine;
  return env.databases != nullptr ? *env.databases : machine;
}

}  // namespace qsi::platform
