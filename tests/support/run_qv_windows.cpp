// RunQv for Windows: the child is started with CreateProcessW, its output
// and errors read through pipes. Same contract as the POSIX version in
// run_qv.cpp; there is no user to switch to, so `asNobody` changes nothing
// (the tests never run with administrator rights there).
#include <windows.h>

#include <string>
#include <thread>

#include "support/run_qv.h"

namespace qv::testing {
namespace {

constexpr DWORD kTimeoutMs = 60'000;
constexpr DWORD kKilledStatus = 128 + 9;  // what a killed child reports on POSIX

// `text` (UTF-8) as UTF-16.
std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int wide = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring out(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, out.data(), wide);
  return out;
}

// Appends `arg` to `line`, quoted so that the C runtime of the child splits
// it back into exactly this argument.
void AppendArgument(std::wstring& line, const std::wstring& arg) {
  if (!line.empty()) line += L' ';
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += arg;
    return;
  }
  line += L'"';
  size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled and the quote escaped; others
    // stand for themselves.
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    line += c;
    backslashes = 0;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

// Appends everything read from `pipe` to `sink` until the pipe closes.
void Drain(HANDLE pipe, std::string* sink) {
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) sink->append(buffer, got);
}

// An inheritable pipe whose read end stays with this process; false on failure.
bool MakePipe(HANDLE& readEnd, HANDLE& writeEnd) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  return true;
}

}  // namespace

RunResult RunQv(const std::string& binary, const std::vector<std::string>& args,
                const std::string& workdir, bool /*asNobody*/, const std::string& input) {
  RunResult result;
  std::wstring commandLine;
  AppendArgument(commandLine, L"qv");
  for (const std::string& arg : args) AppendArgument(commandLine, Widen(arg));

  HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
  if (!MakePipe(outRead, outWrite)) return result;
  if (!MakePipe(errRead, errWrite)) {
    CloseHandle(outRead);
    CloseHandle(outWrite);
    return result;
  }
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  // "/dev/null" stands for no input at all, as on POSIX systems.
  const std::wstring inputFile = input == "/dev/null" ? L"NUL" : Widen(input);
  HANDLE nul = CreateFileW(inputFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul;
  startup.hStdOutput = outWrite;
  startup.hStdError = errWrite;
  PROCESS_INFORMATION process{};
  const std::wstring application = Widen(binary);
  const std::wstring folder = Widen(workdir);
  const bool started =
      CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                     CREATE_NO_WINDOW, nullptr, folder.empty() ? nullptr : folder.c_str(),
                     &startup, &process) != 0;
  // The child holds its own copies; the pipes close when it ends.
  CloseHandle(outWrite);
  CloseHandle(errWrite);
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  if (started) {
    std::thread errors(Drain, errRead, &result.errors);
    std::thread output(Drain, outRead, &result.output);
    if (WaitForSingleObject(process.hProcess, kTimeoutMs) != WAIT_OBJECT_0) {
      TerminateProcess(process.hProcess, kKilledStatus);
      WaitForSingleObject(process.hProcess, INFINITE);
    }
    output.join();
    errors.join();
    DWORD status = 0;
    if (GetExitCodeProcess(process.hProcess, &status)) result.exitStatus = static_cast<int>(status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(outRead);
  CloseHandle(errRead);
  return result;
}

}  // namespace qv::testing
