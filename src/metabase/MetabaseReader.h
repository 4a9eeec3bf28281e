#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/OdbcConnection.h"

namespace qsi::metabase {

// Opens `connection` with the Metabase's own login. False when it cannot be
// opened (no data source, a refused login): the installer reads the
// Metabase only to decide, and decides without it. Throws only what ends the
// run (a time-out, an interruption).
[[nodiscard]] bool openMetabase(platform::DatabaseConnection& connection);

// The Metabase as the installer reads it before a run. The connection is
// opened at the first question and kept (a login per question costs
// milliseconds on a real server). When it cannot be opened at all, every
// answer is empty without another try: there is no Metabase to ask. A query
// that fails gets the connection opened again once and is tried again; an
// answer that still fails is empty, and failure() tells why. Never throws
// but what ends the run, as above.
class MetabaseReader {
 public:
  explicit MetabaseReader(platform::Databases& databases) : databases_(databases) {}

  // Whether the Metabase answers at all; opens it when not tried yet.
  [[nodiscard]] bool reached();
  // The column of the first row `query` gives ("" for NULL); nullopt when
  // there is no row or the query failed.
  [[nodiscard]] std::optional<std::string> value(const std::string& query, std::string_view column);
  // Why the last query failed; empty when it answered.
  [[nodiscard]] const std::string& failure() const { return failure_; }

 private:
  bool connect();

  platform::Databases& databases_;
  std::unique_ptr<platform::DatabaseConnection> connection_;
  bool tried_ = false;
  std::string failure_;
};

}  // namespace qsi::metabase
