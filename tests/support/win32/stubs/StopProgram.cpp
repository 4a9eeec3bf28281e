// Stands in for a command the installer runs: appends its name and
// arguments as one line to the file that QSI_STUB_CALLS names, and fails
// (exit code 2) when its first argument is the text QSI_STUB_FAIL names.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  std::string line = argc > 0 ? argv[0] : "";
  if (const auto slash = line.find_last_of("\\/"); slash != std::string::npos)
    line.erase(0, slash + 1);
  for (int i = 1; i < argc; ++i) line.append(" ").append(argv[i]);
  if (const char* calls = std::getenv("QSI_STUB_CALLS"); calls != nullptr && *calls != '\0') {
    if (std::FILE* file = std::fopen(calls, "ab")) {
      std::fprintf(file, "%s\n", line.c_str());
      std::fclose(file);
    }
  }
  const char* failing = std::getenv("QSI_STUB_FAIL");
  return argc > 1 && failing != nullptr && std::strcmp(argv[1], failing) == 0 ? 2 : 0;
}
