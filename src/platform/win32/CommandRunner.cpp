#include <chrono>
#include <utility>
#include <vector>

#include "platform/CommandRunner.h"
#include "platform/Interrupt.h"
#include "platform/win32/WindowsApi.h"

namespace qsi::platform {

namespace {

// The attribute list that limits inheritance to the given handles.
class InheritOnly {
 public:
  explicit InheritOnly(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
    initialized_ = true;
    ok_ = UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                    handles_.size() * sizeof(HANDLE), nullptr, nullptr) != 0;
  }
  ~InheritOnly() {
    if (initialized_) DeleteProcThreadAttributeList(list());
  }
  InheritOnly(const InheritOnly&) = delete;
  InheritOnly& operator=(const InheritOnly&) = delete;

  [[nodiscard]] bool ok() const { return ok_; }
  [[nodiscard]] LPPROC_THREAD_ATTRIBUTE_LIST list() {
    return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
  }

 private:
  std::vector<HANDLE> handles_;
  std::vector<char> storage_;
  bool initialized_ = false;
  bool ok_ = false;
};

Handle openNulDevice(DWORD access) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return Handle(CreateFileA("NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                            OPEN_EXISTING, 0, nullptr));
}

}  // namespace

CommandResult Win32CommandRunner::run(std::string_view commandText) {
  const std::vector<std::string> words = splitCommandWords(commandText);
  // By its full path: with none, CreateProcessA would look in the
  // installer's own folder and the current folder first.
  const auto program = words.empty() ? std::nullopt : programPath(words.front());
  const auto lastError = [] {
    return notStarted({static_cast<int>(GetLastError()), std::system_category()});
  };
  if (!program) return notStarted({ERROR_FILE_NOT_FOUND, std::system_category()});
  const std::string application = program->string();
  const Handle input = openNulDevice(GENERIC_READ);
  const Handle output = openNulDevice(GENERIC_WRITE);
  if (!input.valid() || !output.valid()) return lastError();
  InheritOnly inherit({input.get(), output.get()});
  if (!inherit.ok()) return lastError();

  STARTUPINFOEXA startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.StartupInfo.wShowWindow = SW_HIDE;
  startup.StartupInfo.hStdInput = input.get();
  startup.StartupInfo.hStdOutput = output.get();
  startup.StartupInfo.hStdError = output.get();
  startup.lpAttributeList = inherit.list();
  std::string commandLine(commandText);  // CreateProcessA may write into it
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                      CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                      &startup.StartupInfo, &process))
    return lastError();
  const Handle thread(process.hThread);
  const Handle child(process.hProcess);
  // Waited for in steps, so that the time limit and an interruption are seen.
  const auto deadline = std::chrono::steady_clock::now() + limit_;
  for (;;) {
    const DWORD waited = WaitForSingleObject(child.get(), 20);
    if (waited == WAIT_OBJECT_0) break;
    if (waited != WAIT_TIMEOUT) return {};
    if (const int signal = interruptRequest(); signal != 0) {
      TerminateProcess(child.get(), 1);
      WaitForSingleObject(child.get(), 5000);
      throw Interrupted(signal);
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      TerminateProcess(child.get(), 1);
      WaitForSingleObject(child.get(), 5000);
      return {kCommandNotStarted, true, {}};
    }
  }
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(child.get(), &exitCode)) return {};
  return {static_cast<int>(exitCode), false, {}};
}

}  // namespace qsi::platform
