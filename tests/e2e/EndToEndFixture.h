#pragma once

#include "e2e/InstallerRun.h"
#include "support/SuiteSite.h"

namespace qsi::test {

// The suite's site with the built installer beside its package.
class EndToEnd : public SuiteSite {
 protected:
  InstallerRun program{site};

  ProcessResult run(const std::string& input) const { return program.run(input); }
  [[nodiscard]] std::optional<std::string> registryValue(const std::string& key,
                                                         const std::string& name) const override {
    return program.registryValue(key, name);
  }
};

}  // namespace qsi::test
