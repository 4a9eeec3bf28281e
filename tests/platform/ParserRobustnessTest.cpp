#include <gtest/gtest.h>

#include <random>

#include "metabase/SqlScripts.h"
#include "platform/Failure.h"
#include "platform/ProfileReader.h"
#include "platform/RegFileRegistry.h"
#include "version/Version.h"

namespace qsi::platform {
namespace {

// Every parser of outside text meets damaged input: valid samples with bytes
// flipped, dropped and repeated at random (a fixed seed, so a failure
// repeats). A parser may refuse such input, as a Failure where it reports
// one, but never crash or read out of bounds (the sanitizer build runs this).
std::string mutate(std::string text, std::mt19937& random) {
  std::uniform_int_distribution<int> byte(0, 255);
  const int edits = 1 + static_cast<int>(random() % 8);
  for (int i = 0; i < edits && !text.empty(); ++i) {
    const std::size_t at = random() % text.size();
    switch (random() % 3) {
      case 0:
        text[at] = static_cast<char>(byte(random));
        break;
      case 1:
        text.erase(at, 1 + random() % 4);
        break;
      default:
        text.insert(at, text.substr(at, 1 + random() % 8));
        break;
    }
  }
  return text;
}

TEST(ParserRobustness, DamagedInputIsRefusedOrReadButNeverCrashes) {
  const std::string registry =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n"
      "\"A\"=\"x \\\"q\\\" \\\\ y \\t\"\r\n@=\"d\"\r\n\"B\"=hex:01,02,\\\r\n  03\r\n";
  const std::string ini =
      "[ReleaseInfo]\r\n Version = \"2.1\" \r\n;c\r\n[Databases.QAlder]\r\nUser=u\r\n";
  std::string utf16 = "\xFF\xFE";  // the registry sample as regedit exports it
  for (const char c : registry) utf16.append({c, '\0'});
  const std::string samples[] = {registry, ini, utf16};
  std::mt19937 random(20261206);
  for (int round = 0; round < 3000; ++round) {
    const std::string damaged = mutate(samples[round % 3], random);
    try {
      // Whatever the registry store reads, it prints back byte for byte.
      EXPECT_EQ(RegFileRegistry::print(RegFileRegistry::parse(damaged, "damaged.reg")), damaged);
    } catch (const Failure&) {
    }
    const auto values = ProfileReader::parse(damaged);
    for (const auto& [key, value] : values.all()) EXPECT_NE(key.find('\n'), std::string::npos);
    const std::string version = mutate("11.1.0.2", random);
    EXPECT_LE(version::compareVersions(version, "2.1"), version::kSecondGreater);
    (void)metabase::databaseNameOf(mutate("USE [QOMetabase];", random));
  }
}

}  // namespace
}  // namespace qsi::platform
