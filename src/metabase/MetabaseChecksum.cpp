#include "metabase/MetabaseChecksum.h"

#include <exception>
#include <memory>

#include "metabase/MetabaseStatements.h"

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
  if (!openMetabase(connection)) return std::string(kNoChecksum);
  std::string checksum = readChecksum(connection, machine, server, object);
  connection.close();
  return checksum;
}

std::string MetabaseChecksumLookup::getMetabaseChecksum(std::string_view machine,
                                                        std::string_view server,
                                                        std::string_view /*module*/,
                                                        std::string_view object,
                                                        std::string& failure) {
  const auto checksum = reader_.value(selectObjectStatement(machine, server, object), "CHECKSUM");
  failure = reader_.failure();
  // A NULL checksum is none, as no row is.
  return checksum && !checksum->empty() ? *checksum : std::string(kNoChecksum);
}

}  // namespace qsi::metabase
