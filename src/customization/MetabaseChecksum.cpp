#include "customization/MetabaseChecksum.h"

#include <exception>

#include "metabase/MetabaseStatements.h"
#include "metabase/SAPassword.h"

namespace qsi::customization {

namespace {

constexpr std::string_view kNoChecksum = "0";

std::string readChecksum(platform::OdbcConnection& connection, std::string_view machine,
                         std::string_view server, std::string_view object) {
  try {
    const platform::OdbcResult result =
        connection.query(metabase::selectObjectStatement(machine, server, object));
    if (result.bof() || result.eof()) return std::string(kNoChecksum);
    return result.field("CHECKSUM").value_or(std::string(kNoChecksum));
  } catch (const std::exception&) {
    return std::string(kNoChecksum);
  }
}

}  // namespace

std::string getMetabaseChecksum(platform::OdbcConnection& connection, std::string_view machine,
                                std::string_view server, std::string_view /*module*/,
                                std::string_view object) {
  try {
    connection.open(metabase::kMetabaseConnectionString, "", "");
  } catch (const std::exception&) {
    return std::string(kNoChecksum);
  }
  std::string checksum = readChecksum(connection, machine, server, object);
  connection.close();
  return checksum;
}

std::string MetabaseChecksumLookup::getMetabaseChecksum(std::string_view machine,
                                                        std::string_view server,
                                                        std::string_view /*module*/,
                                                        std::string_view object) {
  if (!tried_) {
    tried_ = true;
    try {
      connection_.emplace();
      connection_->open(metabase::kMetabaseConnectionString, "", "");
    } catch (const std::exception&) {
      connection_.reset();
    }
  }
  if (!connection_) return std::string(kNoChecksum);
  return readChecksum(*connection_, machine, server, object);
}

}  // namespace qsi::customization
