#include "support/Process.h"

#include <list>

#include <gtest/gtest.h>

#include "platform/FileIO.h"
#include "platform/win32/WindowsApi.h"

namespace qsi::test {

namespace fs = std::filesystem;

namespace {

platform::Handle openInherited(const fs::path& file, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return platform::Handle(CreateFileA(file.string().c_str(), access,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

ProcessResult runProcess(const fs::path& program, const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env, const std::string& input,
                         const fs::path& workDir,
                         const std::function<void(unsigned long)>& whileRunning) {
  const fs::path in = workDir / ".stdin", out = workDir / ".stdout", err = workDir / ".stderr";
  platform::writeFileAtomically(in, input);
  ProcessResult result;
  {
    const platform::Handle input_ = openInherited(in, GENERIC_READ, OPEN_EXISTING);
    const platform::Handle output = openInherited(out, GENERIC_WRITE, CREATE_ALWAYS);
    const platform::Handle error = openInherited(err, GENERIC_WRITE, CREATE_ALWAYS);
    // No argument of the tests holds a quote or ends with a backslash.
    std::string commandLine = "\"" + program.string() + "\"";
    for (const std::string& arg : args) commandLine += " \"" + arg + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input_.get();
    startup.hStdOutput = output.get();
    startup.hStdError = error.get();
    PROCESS_INFORMATION process{};
    std::list<ScopedEnv> changed;
    for (const auto& [name, value] : env) changed.emplace_back(name.c_str(), value);
    if (!CreateProcessA(program.string().c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                        nullptr, workDir.string().c_str(), &startup, &process)) {
      ADD_FAILURE() << "cannot start " << program << ": "
                    << platform::win32ErrorText(GetLastError());
      return result;
    }
    changed.clear();
    const platform::Handle thread(process.hThread);
    const platform::Handle child(process.hProcess);
    if (whileRunning) whileRunning(process.dwProcessId);
    // A program left waiting for a window nobody answers is ended.
    if (WaitForSingleObject(child.get(), 120'000) == WAIT_TIMEOUT) {
      TerminateProcess(child.get(), 124);
      WaitForSingleObject(child.get(), INFINITE);
      ADD_FAILURE() << program << " did not end within two minutes";
    }
    DWORD code = 0;
    GetExitCodeProcess(child.get(), &code);
    result.status = static_cast<int>(code);
  }
  result.out = platform::readFileBytes(out);
  result.err = platform::readFileBytes(err);
  return result;
}

fs::path currentProgram() {
  char buffer[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return fs::path(std::string(buffer, length));
}

}  // namespace qsi::test
