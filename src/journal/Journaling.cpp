#include "journal/Journaling.h"

#include <string>
#include <utility>
#include <vector>

namespace qsi::journal {

bool JournalingRegistry::writeValue(std::string_view key, std::string_view name,
                                    std::string_view text) {
  const auto old = readValue(key, name);
  if (old == text) return RegistryWrapper::writeValue(key, name, text);  // nothing changes
  // A value of another type (a dword, hex(2)) is kept with its type and bytes.
  std::optional<platform::RegistryValue> raw;
  if (!old) raw = readRawValue(key, name);
  journal_.write(RegistryValue{std::string(key), std::string(name), old || raw, old.value_or(""),
                               std::string(text), std::move(raw)});
  return RegistryWrapper::writeValue(key, name, text);
}

bool JournalingRegistry::createKey(std::string_view key) {
  // Every level the key lacks, from the top: undo removes them deepest first.
  std::vector<std::string> made;
  for (auto at = key.find('\\');; at = key.find('\\', at + 1)) {
    const std::string_view level = key.substr(0, at);
    if (!made.empty() || !subKeys(level)) made.emplace_back(level);
    if (at == std::string_view::npos) break;
  }
  for (std::string& level : made) journal_.append(RegistryKey{std::move(level)});
  if (!made.empty()) journal_.flush();
  return RegistryWrapper::createKey(key);
}

namespace {

// Owns the connection it wraps, which the base forwards to.
class JournalingConnection final : public platform::ConnectionWrapper {
 public:
  JournalingConnection(std::unique_ptr<platform::DatabaseConnection> inner, Journal& journal)
      : ConnectionWrapper(*inner), owned_(std::move(inner)), journal_(journal) {}
  void execute(std::string_view statement) override {
    // The record names a statement that undo cannot reverse; it need not be
    // on disk before the statement runs, so records go out in groups, and
    // are flushed with the journal's next flush: a flush per statement
    // would cost more than the statements themselves.
    journal_.append(Metabase{std::string(statement)});
    if (++unwritten_ == kGroup) {
      (void)journal_.writeOut();
      unwritten_ = 0;
    }
    inner_.execute(statement);
  }

 private:
  static constexpr int kGroup = 64;
  std::unique_ptr<platform::DatabaseConnection> owned_;
  Journal& journal_;
  int unwritten_ = 0;
};

}  // namespace

std::unique_ptr<platform::DatabaseConnection> JournalingDatabases::connection() {
  return std::make_unique<JournalingConnection>(inner_.connection(), journal_);
}

}  // namespace qsi::journal
