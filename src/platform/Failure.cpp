#include "platform/Failure.h"

#ifdef _WIN32
#include "platform/win32/WindowsApi.h"
#endif

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

std::string systemReason(const std::error_code& code) {
#ifdef _WIN32
  if (code.category() == std::system_category()) {
    std::string text = win32ErrorText(static_cast<unsigned long>(code.value()));
    if (text.ends_with('.')) text.pop_back();
    return text;
  }
#endif
  return code.message();
}

std::string reasonOf(const std::exception& e) {
  if (const auto* failure = dynamic_cast<const Failure*>(&e))
    return failure->cause().empty() ? failure->description() : failure->cause();
  if (const auto* error = dynamic_cast<const std::system_error*>(&e))
    return systemReason(error->code());
  return e.what();
}

std::string withReason(std::string text, std::string_view reason) {
  if (!reason.empty()) text.append(": ").append(reason);
  return text;
}

}  // namespace qsi::platform
