#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/OdbcConnection.h"

namespace qsi::metabase {

// The checksum the Metabase recorded for a file at its last installation, or
// "0" when there is none to be had: no row, a NULL value, a missing data
// source, a refused login, a refused statement. Throws only what ends the
// run (a time-out, an interruption): every later lookup would wait too. Opens
// `connection` with the Metabase's own login, reads and closes it again.
// `module` plays no part in the lookup.
[[nodiscard]] std::string getMetabaseChecksum(platform::DatabaseConnection& connection,
                                              std::string_view machine, std::string_view server,
                                              std::string_view module, std::string_view object);

// The same lookup for a whole loop over a package's files: the connection is
// opened once, at the first lookup, and kept until the object goes (a login
// per file costs milliseconds on a real server). When it cannot be opened at
// all, every file gets "0" without another try: there is no Metabase to ask.
// When a query fails, the connection is opened again once and the query
// tried again; a lookup that still fails gives "0" and tells why. A time-out
// or an interruption is thrown, as above.
class MetabaseChecksumLookup {
 public:
  explicit MetabaseChecksumLookup(platform::Databases& databases) : databases_(databases) {}

  // The checksum recorded for the file, or "0". `failure` is set to the
  // database's message when the lookup itself failed, and cleared otherwise.
  [[nodiscard]] std::string getMetabaseChecksum(std::string_view machine, std::string_view server,
                                                std::string_view module, std::string_view object,
                                                std::string& failure);

 private:
  bool connect();

  platform::Databases& databases_;
  std::unique_ptr<platform::DatabaseConnection> connection_;
  bool tried_ = false;
};

}  // namespace qsi::metabase
