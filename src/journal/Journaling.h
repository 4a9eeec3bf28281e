#pragma once

#include <memory>
#include <string_view>

#include "journal/Journal.h"
#include "platform/OdbcConnection.h"
#include "platform/Registry.h"

namespace qsi::journal {

// The registry as a run writes it: each value's old text, and each key the
// run makes (every missing level, from the top), is told to the journal
// before the registry changes.
class JournalingRegistry final : public platform::RegistryWrapper {
 public:
  JournalingRegistry(platform::Registry& inner, Journal& journal)
      : RegistryWrapper(inner), journal_(journal) {}
  bool writeValue(std::string_view key, std::string_view name, std::string_view text) override;
  bool createKey(std::string_view key) override;

 private:
  Journal& journal_;
};

// Databases as a run writes the Metabase: each statement sent on a
// connection to the Metabase is told to the journal (an undo cannot reverse
// it, but names it); the records are written 64 at a time and flushed with
// the journal's next flush, so a kill may lose the names of the last few.
class JournalingDatabases final : public platform::Databases {
 public:
  JournalingDatabases(platform::Databases& inner, Journal& journal)
      : inner_(inner), journal_(journal) {}
  [[nodiscard]] std::unique_ptr<platform::DatabaseConnection> connection() override;

 private:
  platform::Databases& inner_;
  Journal& journal_;
};

}  // namespace qsi::journal
