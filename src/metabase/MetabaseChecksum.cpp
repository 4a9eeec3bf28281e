#include "metabase/MetabaseChecksum.h"

#include <exception>
#include <memory>

#include "metabase/MetabaseStatements.h"
#include "metabase/SAPassword.h"

namespace qsi::metabase {

namespace {

constexpr std::string_view kNoChecksum = "0";

std::string readChecksum(platform::DatabaseConnection& connection, std::string_view machine,
                         std::string_view server, std::string_view object) {
  try {
    const platform::OdbcResult result =
        connection.query(metabase::selectObjectStatement(machine, server, object));
    if (result.bof() || result.eof()) return std::string(kNoChecksum);
    return result.field("CHECKSUM").value_or(std::string(kNoChecksum));
  } catch (const std::exception& failure) {
    platform::rethrowIfRunEnding(failure);
    return std::string(kNoChecksum);
  }
}

}  // namespace

std::string getMetabaseChecksum(platform::DatabaseConnection& connection, std::string_view machine,
                                std::string_view server, std::string_view /*module*/,
                                std::string_view object) {
  try {
    connection.open(metabase::kMetabaseConnectionString, "", "");
  } catch (const std::exception& failure) {
    platform::rethrowIfRunEnding(failure);
    return std::string(kNoChecksum);
  }
  std::string checksum = readChecksum(connection, machine, server, object);
  connection.close();
  return checksum;
}

bool MetabaseChecksumLookup::connect() {
  try {
    connection_ = databases_.connection();
    connection_->open(metabase::kMetabaseConnectionString, "", "");
    return true;
  } catch (const std::exception& failure) {
    platform::rethrowIfRunEnding(failure);
    connection_.reset();
    return false;
  }
}

std::string MetabaseChecksumLookup::getMetabaseChecksum(std::string_view machine,
                                                        std::string_view server,
                                                        std::string_view /*module*/,
                                                        std::string_view object,
                                                        std::string& failure) {
  failure.clear();
  if (!tried_) {
    tried_ = true;
    if (!connect()) return std::string(kNoChecksum);  // no Metabase to ask
  }
  const std::string statement = metabase::selectObjectStatement(machine, server, object);
  for (int attempt = 0; attempt < 2; ++attempt) {
    // A connection lost at the last file is opened again for this one.
    if (!connection_ && !connect()) {
      failure = "the Metabase cannot be reached again";
      return std::string(kNoChecksum);
    }
    try {
      const platform::OdbcResult result = connection_->query(statement);
      failure.clear();  // the retry answered
      if (result.bof() || result.eof()) return std::string(kNoChecksum);
      return result.field("CHECKSUM").value_or(std::string(kNoChecksum));
    } catch (const std::exception& e) {
      platform::rethrowIfRunEnding(e);
      failure = e.what();
      connection_.reset();
    }
  }
  return std::string(kNoChecksum);
}

}  // namespace qsi::metabase
