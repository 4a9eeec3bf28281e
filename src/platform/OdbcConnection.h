#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CallThread.h"
#include "platform/Failure.h"
#include "platform/TimeLimits.h"

// Databases are reached through ODBC data sources by name; nothing above this
// layer knows which engine is behind a data source.
namespace qsi::platform {

// The number of a failed database call (the installer's own).
inline constexpr long kDatabaseFailure = 1040;

// A failed database call. The description holds every diagnostic record the
// call left, one per line; errors() gives them one by one, in order.
class OdbcFailure : public Failure {
 public:
  OdbcFailure(std::string source, std::vector<std::string> errors);
  [[nodiscard]] const std::vector<std::string>& errors() const noexcept { return errors_; }

 private:
  std::vector<std::string> errors_;
};

// A login or statement that did not end within its time limit: the server
// does not answer, or another session holds what it needs. The errors begin
// with the limit, followed by the driver's own messages, when it gave any.
// Ends the run: every later statement would wait as long.
class OdbcTimeout final : public OdbcFailure, public EndsTheRun {
 public:
  using OdbcFailure::OdbcFailure;
};

// The time limits of a connection: of its login, and of each statement.
struct DatabaseTimeLimits {
  TimeLimit login = timeLimit(kLoginTimeLimit);
  TimeLimit statement = timeLimit(kQueryTimeLimit);
};

// One attribute of a connection text ("KEY=value").
struct ConnectionAttribute {
  std::string key;
  std::string value;
  friend bool operator==(const ConnectionAttribute&, const ConnectionAttribute&) = default;
};

// Splits a connection text at ";" into its attributes; a value in braces may
// hold ";" and "=" and writes "}" as "}}". Pieces without "=" are dropped.
[[nodiscard]] std::vector<ConnectionAttribute> parseConnectionText(std::string_view text);

// The connection text for SQLDriverConnect. A value holding ";", "{", "}",
// "=" or blanks at its ends is put in braces with "}" doubled, so that no
// value can add attributes of its own.
[[nodiscard]] std::string buildConnectionText(const std::vector<ConnectionAttribute>& attributes);

// The attributes an open uses: a text without "=" names a data source
// ("DSN=" is added); a non-empty user or password replaces UID or PWD.
// Throws OdbcFailure when the text, the user or the password holds a NUL.
[[nodiscard]] std::vector<ConnectionAttribute> connectionAttributes(std::string_view text,
                                                                    std::string_view user,
                                                                    std::string_view password);

// An ODBC handle, freed when the object goes.
class OdbcHandle {
 public:
  OdbcHandle() = default;
  OdbcHandle(short type, void* parent);  // allocates; throws OdbcFailure
  ~OdbcHandle();
  OdbcHandle(OdbcHandle&& other) noexcept;
  OdbcHandle& operator=(OdbcHandle&& other) noexcept;
  OdbcHandle(const OdbcHandle&) = delete;
  OdbcHandle& operator=(const OdbcHandle&) = delete;

  [[nodiscard]] void* get() const noexcept { return handle_; }
  [[nodiscard]] short type() const noexcept { return type_; }

 private:
  void reset() noexcept;
  short type_ = 0;
  void* handle_ = nullptr;
};

// The rows a query gave, read to their end when it ran (the installer's
// lookups give one row at most). A forward cursor as the installer knows it:
// on the first row after the query, BOF and EOF both set when there is none.
class OdbcResult {
 public:
  OdbcResult() = default;
  OdbcResult(std::vector<std::string> columns,
             std::vector<std::vector<std::optional<std::string>>> rows);

  [[nodiscard]] bool bof() const noexcept { return rows_.empty(); }
  [[nodiscard]] bool eof() const noexcept { return current_ >= rows_.size(); }
  void moveNext() noexcept {
    if (!eof()) ++current_;
  }
  [[nodiscard]] const std::vector<std::string>& columns() const noexcept { return columns_; }

  // The current row's value of the column `name`, found without regard to
  // case; nullopt for NULL. Throws OdbcFailure when there is no current row
  // or no such column.
  [[nodiscard]] std::optional<std::string> field(std::string_view name) const;

 private:
  std::vector<std::string> columns_;
  std::vector<std::vector<std::optional<std::string>>> rows_;
  std::size_t current_ = 0;
};

// A connection to a data source, as the installer's steps use one. Created
// closed; it can be opened again after a failed open or a close. Every login
// and statement has a time limit (DatabaseTimeLimits). Throws Interrupted
// when the run is told to end before or while a call runs.
class DatabaseConnection {
 public:
  virtual ~DatabaseConnection() = default;
  // Logs in; a non-empty user or password takes precedence over UID or PWD
  // of the text. Throws OdbcFailure with the database's messages, and
  // OdbcTimeout when the login passes its limit.
  virtual void open(std::string_view connectionText, std::string_view user,
                    std::string_view password) = 0;
  virtual void close() noexcept = 0;
  [[nodiscard]] virtual bool isOpen() const noexcept = 0;
  // The limit of each later statement (a script's, say, for a Metabase statement's).
  virtual void setStatementTimeLimit(const TimeLimit& limit) = 0;
  // Sends a statement as it is; a statement that changes no row succeeds.
  // Throws OdbcFailure when the database refuses it or nothing is open, and
  // OdbcTimeout when it passes its limit.
  virtual void execute(std::string_view statement) = 0;
  // Sends a query and reads its rows. Throws as execute().
  [[nodiscard]] virtual OdbcResult query(std::string_view statement) = 0;
};

// A connection that forwards every call to another, for wrappers that
// change a few: `inner` must outlive it.
class ConnectionWrapper : public DatabaseConnection {
 public:
  explicit ConnectionWrapper(DatabaseConnection& inner) : inner_(inner) {}
  void open(std::string_view connectionText, std::string_view user,
            std::string_view password) override {
    inner_.open(connectionText, user, password);
  }
  void close() noexcept override { inner_.close(); }
  [[nodiscard]] bool isOpen() const noexcept override { return inner_.isOpen(); }
  void setStatementTimeLimit(const TimeLimit& limit) override {
    inner_.setStatementTimeLimit(limit);
  }
  void execute(std::string_view statement) override { inner_.execute(statement); }
  [[nodiscard]] OdbcResult query(std::string_view statement) override {
    return inner_.query(statement);
  }

 protected:
  DatabaseConnection& inner_;
};

// Where the steps get their connections: the machine's data sources, or a
// test's wrapper that fails on cue.
class Databases {
 public:
  virtual ~Databases() = default;
  [[nodiscard]] virtual std::unique_ptr<DatabaseConnection> connection() = 0;
};

// A connection to a data source through the ODBC driver manager. Closed when
// the object goes.
//
// The limits are given to the driver (SQL_ATTR_LOGIN_TIMEOUT,
// SQL_ATTR_QUERY_TIMEOUT), which may ignore them or, waiting for a server
// that stopped answering, be unable to keep them. So the driver is called on
// a thread of the connection's own (CallThread): a statement still running a
// second after its limit, or when an interrupt is requested, is cancelled
// (SQLCancel); one that does not return then is left behind with its
// handles, and the connection is closed.
class OdbcConnection final : public DatabaseConnection {
 public:
  explicit OdbcConnection(DatabaseTimeLimits limits = {});
  ~OdbcConnection() override;
  OdbcConnection(OdbcConnection&& other) noexcept;
  OdbcConnection& operator=(OdbcConnection&& other) noexcept;
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  // When the text names nothing but DSN, UID and PWD the driver manager gets
  // them as separate arguments, else a connection text with every value in
  // braces.
  void open(std::string_view connectionText, std::string_view user,
            std::string_view password) override;
  void close() noexcept override;
  [[nodiscard]] bool isOpen() const noexcept override { return session_ != nullptr; }
  void setStatementTimeLimit(const TimeLimit& limit) override { limits_.statement = limit; }
  void execute(std::string_view statement) override;
  [[nodiscard]] OdbcResult query(std::string_view statement) override;

  // The error collection: every diagnostic record of the last failing call,
  // in order; empty after a call that succeeded.
  [[nodiscard]] const std::vector<std::string>& errors() const noexcept { return errors_; }

 private:
  struct Session;
  struct Reply;
  // Runs `call` on the driver's thread within `limit` and throws what became
  // of it, if it failed.
  void callDriver(std::string_view source, const std::string& what, const TimeLimit& limit,
                  std::function<void()> call, const std::shared_ptr<Reply>& reply,
                  const std::function<void()>& cancel);
  OdbcResult send(std::string_view statement, std::string_view source, bool readRows);
  [[noreturn]] void fail(std::string_view source, std::vector<std::string> errors,
                         bool timedOut = false);

  DatabaseTimeLimits limits_;
  std::unique_ptr<CallThread> driver_;
  std::shared_ptr<Session> session_;  // the handles of the login; null when closed
  std::vector<std::string> errors_;
};

// The machine's ODBC data sources.
class OdbcDatabases final : public Databases {
 public:
  [[nodiscard]] std::unique_ptr<DatabaseConnection> connection() override {
    return std::make_unique<OdbcConnection>();
  }
};

}  // namespace qsi::platform
