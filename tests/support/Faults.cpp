#include "support/Faults.h"

#include <algorithm>

#include "platform/Failure.h"

namespace qsi::test {

namespace {

class FaultyConnection final : public platform::ConnectionWrapper {
 public:
  // The base keeps a reference to the machine's connection, made just after it.
  explicit FaultyConnection(FaultyDatabases& owner) : ConnectionWrapper(machine_), owner_(owner) {}
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
    if (const int sent = owner_.sent++; owner_.fails && owner_.fails(statement, sent)) {
      if (owner_.timesOut) throw platform::OdbcTimeout("test", {"The statement did not end"});
      if (owner_.drops) inner_.close();  // as a dropped connection, which is gone for good
      throw platform::OdbcFailure("test", {"Communication link failure"});
    }
  }
  FaultyDatabases& owner_;
  platform::OdbcConnection machine_;
};

}  // namespace

std::unique_ptr<platform::DatabaseConnection> FaultyDatabases::connection() {
  return std::make_unique<FaultyConnection>(*this);
}

void FaultyFileReplacer::placeAll(std::span<platform::Placement> batch,
                                  const std::filesystem::path& staging,
                                  platform::AppendOnlyFile* record) {
  std::vector<platform::Placement> through;
  std::vector<std::size_t> from;  // the batch's index of each placement let through
  through.reserve(batch.size());
  for (std::size_t i = 0; i < batch.size(); ++i) {
    platform::Placement& placement = batch[i];
    placement.error = fails ? fails(placement) : "";
    // A saved copy of the batch that is not let through fails what waits for it.
    if (placement.error.empty() && placement.after && !batch[*placement.after].placed())
      placement.error = "not replaced: refused";
    if (!placement.error.empty()) continue;
    through.push_back(placement);
    if (placement.after)
      through.back().after = static_cast<std::size_t>(
          std::find(from.begin(), from.end(), *placement.after) - from.begin());
    from.push_back(i);
  }
  platform::NativeFileReplacer::placeAll(through, staging, record);
  for (std::size_t j = 0; j < through.size(); ++j) {
    through[j].after = batch[from[j]].after;
    batch[from[j]] = std::move(through[j]);
  }
  if (after) after(batch);
}

}  // namespace qsi::test
