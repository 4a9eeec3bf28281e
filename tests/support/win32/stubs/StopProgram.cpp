// Stands in for a command the installer runs: appends its name and arguments
// as one line to the file that QSI_STUB_CALLS names, and fails (exit code 2)
// when its first argument is the text QSI_STUB_FAIL names.
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  std::string line = argv[0];
  line.erase(0, line.find_last_of("\\/") + 1);
  for (int i = 1; i < argc; ++i) line.append(" ").append(argv[i]);
  if (const char* calls = std::getenv("QSI_STUB_CALLS"); calls != nullptr && *calls != '\0')
    std::ofstream(calls, std::ios::binary | std::ios::app) << line << '\n';
  const char* failing = std::getenv("QSI_STUB_FAIL");
  return argc > 1 && failing != nullptr && std::string(argv[1]) == failing ? 2 : 0;
}
