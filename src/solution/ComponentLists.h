#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/ProfileReader.h"
#include "solution/SolutionFolders.h"

namespace qsi::solution {

// Whether the file at the installation path is installed in the MTS package:
// its name ends in dll or ocx (any case) and "MTSComponents" of section
// "Components.Register" in its module's definition file names it.
[[nodiscard]] bool isMTSComponentFile(platform::ProfileReader& profiles,
                                      const SolutionFolders& folders,
                                      std::string_view installationPath);

// The same for COM registration: only dll files, key "COMComponents".
[[nodiscard]] bool isCOMComponentFile(platform::ProfileReader& profiles,
                                      const SolutionFolders& folders,
                                      std::string_view installationPath);

// Whether a component list (free text, any separator) names `fileName`,
// without regard to case. The name must stand on its own: "Ble.dll" is not
// named by "Bramble.dll".
[[nodiscard]] bool componentListNames(std::string_view list, std::string_view fileName);

// The FileVersion.txt section of a file: the installation path with "QAlder"
// read as "Bramble" for the two Bramble components, and a leading "QO11"
// (any case) read as "Web".
[[nodiscard]] std::string getLookupPath(std::string_view installationPath);

struct ShippedChecksum {
  std::string lookupPath;
  std::optional<std::string> checksum;  // none when FileVersion.txt does not list the file
};

// The checksum the package ships for the file at the installation path.
[[nodiscard]] ShippedChecksum getSolutionChecksum(platform::ProfileReader& profiles,
                                                  const SolutionFolders& folders,
                                                  std::string_view installationPath);

}  // namespace qsi::solution
