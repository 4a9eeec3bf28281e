#include "platform/UserInterface.h"

#include "platform/Text.h"

namespace qsi::platform {

void UserInterface::logCannotBeWritten(const std::filesystem::path& /*log*/, std::string_view why) {
  messageBox({"Cannot write to the log file." + std::string(kCrLf) + std::string(why), Buttons::OK,
              Icon::Critical});
}

}  // namespace qsi::platform
