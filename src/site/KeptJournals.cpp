#include "site/KeptJournals.h"

#include <charconv>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "platform/Text.h"
#include "site/InstallerRecord.h"

namespace qsi::site {

namespace {

constexpr std::size_t kMostKeptJournals = 1000;

std::optional<std::size_t> wholeNumber(std::string_view text) {
  std::size_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < 1 || value > kMostKeptJournals) return std::nullopt;
  return value;
}

// The setting's text, a DWORD given as its number.
std::optional<std::string> registrySetting(const platform::Registry& registry) {
  const auto raw = registry.readRawValue(kInstallerKey, "KeepJournals");
  if (!raw) return std::nullopt;
  if (raw->type == platform::kRegDword && raw->data.size() == 4) {
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;) value = value << 8 | static_cast<unsigned char>(raw->data[i]);
    return std::to_string(value);
  }
  return registry.readValue(kInstallerKey, "KeepJournals")
      .value_or("(" + platform::registryTypeName(raw->type) + ")");
}

}  // namespace

std::size_t keptJournals(const platform::Registry& registry, std::string& problem) {
  std::string from = "QSI_KEEP_JOURNALS";
  std::optional<std::string> text;
  if (const char* env = std::getenv("QSI_KEEP_JOURNALS"); env != nullptr && *env != '\0') {
    text = env;
  } else {
    from = "HKEY_LOCAL_MACHINE\\" + std::string(kInstallerKey) + " KeepJournals";
    try {
      text = registrySetting(registry);
    } catch (const std::exception&) {
      text.reset();
    }
  }
  if (!text) return kDefaultKeptJournals;
  if (const auto value = wholeNumber(*text)) return *value;
  problem = "The setting " + from + " \"" + platform::escapeControls(*text) +
            "\" is no whole number from 1 to 1000; the journals of the last " +
            std::to_string(kDefaultKeptJournals) + " runs are kept.";
  return kDefaultKeptJournals;
}

}  // namespace qsi::site
