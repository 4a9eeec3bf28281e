#include "metabase/MetabaseReader.h"

#include <exception>

#include "metabase/SAPassword.h"

namespace qsi::metabase {

bool openMetabase(platform::DatabaseConnection& connection) {
  try {
    connection.open(kMetabaseConnectionString, "", "");
    return true;
  } catch (const std::exception& failure) {
    platform::rethrowIfRunEnding(failure);
    return false;
  }
}

bool MetabaseReader::connect() {
  connection_ = databases_.connection();
  if (openMetabase(*connection_)) return true;
  connection_.reset();
  return false;
}

bool MetabaseReader::reached() {
  if (!tried_) {
    tried_ = true;
    (void)connect();
  }
  return connection_ != nullptr;
}

std::optional<std::string> MetabaseReader::value(const std::string& query,
                                                 std::string_view column) {
  failure_.clear();
  if (!tried_ && !reached()) return std::nullopt;  // no Metabase to ask
  for (int attempt = 0; attempt < 2; ++attempt) {
    // A connection lost at the last question is opened again for this one.
    if (!connection_ && !connect()) {
      failure_ = "the Metabase cannot be reached again";
      return std::nullopt;
    }
    try {
      const platform::OdbcResult result = connection_->query(query);
      failure_.clear();  // the retry answered
      if (result.bof() || result.eof()) return std::nullopt;
      return result.field(column).value_or("");
    } catch (const std::exception& e) {
      platform::rethrowIfRunEnding(e);
      failure_ = e.what();
      connection_.reset();
    }
  }
  return std::nullopt;
}

}  // namespace qsi::metabase
