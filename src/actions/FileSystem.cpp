#include "actions/FileSystem.h"

#include "platform/Paths.h"

namespace qsi::actions {

std::filesystem::path getJavaFolder() {
  return platform::windowsFolder() / "java" / "";
}

std::string copyErrorText(const std::filesystem::path& destination) {
  return "Error while Copying the file to: " + platform::displayPath(destination);
}

}  // namespace qsi::actions
