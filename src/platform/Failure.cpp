#include "platform/Failure.h"

namespace qsi::platform {

void rethrowIfRunEnding(const std::exception& failure) {
  if (dynamic_cast<const EndsTheRun*>(&failure) != nullptr) throw;
}

void raiseReplacing(const std::exception& inner, long number, std::string source,
                    std::string description) {
  rethrowIfRunEnding(inner);
  std::string cause;
  if (const auto* failure = dynamic_cast<const Failure*>(&inner)) {
    cause = failure->cause().empty() ? failure->description() : failure->cause();
  } else {
    cause = inner.what();
  }
  if (cause == description) cause.clear();
  throw Failure(number, std::move(source), std::move(description), std::move(cause));
}

}  // namespace qsi::platform
