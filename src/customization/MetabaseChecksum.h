#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/OdbcConnection.h"

namespace qsi::customization {

// The checksum the Metabase recorded for a file at its last installation, or
// "0" when there is none to be had: no row, a NULL value, a missing data
// source, a refused login, a refused statement. Never fails. Opens
// `connection` with the Metabase's own login, reads and closes it again.
// `module` plays no part in the lookup.
[[nodiscard]] std::string getMetabaseChecksum(platform::OdbcConnection& connection,
                                              std::string_view machine, std::string_view server,
                                              std::string_view module, std::string_view object);

// The same lookup for a whole loop over a package's files: the connection is
// opened once, at the first lookup, and kept until the object goes (a login
// per file costs milliseconds on a real server). When it cannot be opened,
// every file gets "0" without another try.
class MetabaseChecksumLookup {
 public:
  [[nodiscard]] std::string getMetabaseChecksum(std::string_view machine, std::string_view server,
                                                std::string_view module, std::string_view object);

 private:
  std::optional<platform::OdbcConnection> connection_;
  bool tried_ = false;
};

}  // namespace qsi::customization
