#include "actions/FileSystem.h"

#include "platform/Failure.h"
#include "platform/Paths.h"

namespace qsi::actions {

std::filesystem::path getJavaFolder() {
  return platform::windowsFolder() / "java" / "";
}

std::string copyErrorText(const std::filesystem::path& destination, std::string_view reason) {
  return platform::withReason(
      "Error while Copying the file to: " + platform::displayPath(destination), reason);
}

}  // namespace qsi::actions
