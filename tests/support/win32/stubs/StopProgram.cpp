// A command that notes its calls in QSI_STUB_CALLS and fails for QSI_STUB_FAIL.
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
