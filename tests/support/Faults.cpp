#include "support/Faults.h"

#include "platform/Failure.h"

namespace qsi::test {

namespace {

class FaultyConnection final : public platform::DatabaseConnection {
 public:
  explicit FaultyConnection(FaultyDatabases& owner) : owner_(owner) {}
  void open(std::string_view text, std::string_view user, std::string_view password) override {
    inner_.open(text, user, password);
  }
  void close() noexcept override { inner_.close(); }
  [[nodiscard]] bool isOpen() const noexcept override { return inner_.isOpen(); }
  void execute(std::string_view statement) override {
    check(statement);
    inner_.execute(statement);
  }
  [[nodiscard]] platform::OdbcResult query(std::string_view statement) override {
    check(statement);
    return inner_.query(statement);
  }

 private:
  void check(std::string_view statement) {
    if (owner_.fails(statement, owner_.sent++)) {
      inner_.close();  // as a dropped connection, which is gone for good
      throw platform::OdbcFailure("test", {"Communication link failure"});
    }
  }
  FaultyDatabases& owner_;
  platform::OdbcConnection inner_;
};

}  // namespace

std::unique_ptr<platform::DatabaseConnection> FaultyDatabases::connection() {
  return std::make_unique<FaultyConnection>(*this);
}

bool FaultyRegistry::writeValue(std::string_view key, std::string_view name,
                                std::string_view text) {
  if (fails(key, name))
    throw platform::Failure(platform::kRegistryStoreFailure, "test",
                            "The registry file cannot be written: No space left on device");
  return inner_.writeValue(key, name, text);
}

}  // namespace qsi::test
