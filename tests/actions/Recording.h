#pragma once

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/MtsCatalog.h"
#include "platform/UserInterface.h"
#include "support/Process.h"

namespace qsi::test {

// A catalog that notes, at the start of each use, what `snapshot` says.
struct SnapshotCatalog final : platform::MtsCatalog {
  platform::MtsCatalog& inner;
  std::function<std::string()> snapshot;
  std::vector<std::string> notes;
  SnapshotCatalog(platform::MtsCatalog& i, std::function<std::string()> s)
      : inner(i), snapshot(std::move(s)) {}
  std::unique_ptr<platform::CatalogCollection> getCollection(std::string_view name) override {
    notes.push_back(snapshot());
    return inner.getCollection(name);
  }
};

// A user interface that keeps the details, progress counts and boxes shown.
struct CountingUi final : platform::UserInterface {
  std::vector<std::string> details;
  std::vector<std::pair<std::size_t, std::size_t>> counts;
  std::vector<platform::MessageBox> boxes;
  void setProgress(platform::ProgressBox box, std::string_view text, bool) override {
    if (box == platform::ProgressBox::Detail) details.emplace_back(text);
  }
  void append(platform::InfoBox, std::string_view) override {}
  void setProgressCount(std::size_t done, std::size_t total) override {
    counts.emplace_back(done, total);
  }
  platform::Answer messageBox(const platform::MessageBox& box) override {
    boxes.push_back(box);
    return platform::Answer::OK;
  }
};

}  // namespace qsi::test
