// qsi_make_package DIR COUNT: writes a synthetic package of COUNT content
// files to DIR/Solution, for measuring the installer's phases by hand.
#include <charconv>
#include <exception>
#include <iostream>
#include <string_view>

#include "bench/PackageGenerator.h"

int main(int argc, char** argv) {
  std::size_t count = 0;
  const std::string_view text = argc == 3 ? argv[2] : "";
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (argc != 3 || error != std::errc() || end != text.data() + text.size()) {
    std::cerr << "usage: qsi_make_package DIR COUNT\n";
    return 2;
  }
  try {
    qsi::bench::generatePackage(argv[1], count);
  } catch (const std::exception& e) {
    std::cerr << "qsi_make_package: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
