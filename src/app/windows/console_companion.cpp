// ZadiRod.com: the program's console companion. ZadiRod.exe is a windowed program: started from
// cmd or PowerShell it gets no console of its own, the prompt does not wait for it and its exit
// status is lost. Typed as "ZadiRod", cmd and PowerShell find ZadiRod.com before ZadiRod.exe
// (.COM comes first in PATHEXT); this console program starts ZadiRod.exe from its own folder
// with the same arguments, hands it its standard input, output and error, waits for it and
// ends with its exit status.
//
// The arguments are passed on as the very text they were typed as (the tail of the command
// line after the program's name), so quotes, blanks and characters of any script arrive
// unchanged.
#include <windows.h>

#include <string>

namespace {

// The command line after the program's name, as Windows splits off the name: a quoted name runs
// to the next quote, an unquoted one to the first blank or tab; the blanks after it go too.
const wchar_t* argumentsTail(const wchar_t* line) {
  const wchar_t* p = line;
  if (*p == L'"') {
    ++p;
    while (*p && *p != L'"') ++p;
    if (*p == L'"') ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

// The path of ZadiRod.exe: this program's own path with .exe for its extension.
std::wstring programPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::wstring::size_type dot = path.find_last_of(L'.');
  const std::wstring::size_type slash = path.find_last_of(L"\\/");
  if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) path.resize(dot);
  return path + L".exe";
}

void say(const wchar_t* text) {
  const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  DWORD written = 0;
  DWORD mode = 0;
  if (GetConsoleMode(err, &mode)) {
    WriteConsoleW(err, text, static_cast<DWORD>(lstrlenW(text)), &written, nullptr);
    return;
  }
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), size, nullptr, nullptr);
  WriteFile(err, bytes.data(), static_cast<DWORD>(size - 1), &written, nullptr);
}

// Makes a standard handle inheritable, so that the program gets it; a handle that is not there
// (a scheduler's start without a console) stays as it is.
HANDLE inheritable(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
    SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  return handle;
}

}  // namespace

int main() {
  // The exit status when the program cannot be started at all: 2, as for a start the program
  // itself refuses.
  constexpr int kNotStarted = 2;
  const std::wstring program = programPath();
  if (program.empty()) {
    say(L"ZadiRod: no se encuentra la ruta de este programa\r\n");
    return kNotStarted;
  }
  std::wstring commandLine = L"\"" + program + L"\"";
  const wchar_t* tail = argumentsTail(GetCommandLineW());
  if (*tail) commandLine += std::wstring(L" ") + tail;

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inheritable(STD_INPUT_HANDLE);
  startup.hStdOutput = inheritable(STD_OUTPUT_HANDLE);
  startup.hStdError = inheritable(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                      nullptr, &startup, &process)) {
    const std::wstring text = L"ZadiRod: no se puede iniciar " + program + L" (error " +
                              std::to_wstring(GetLastError()) + L")\r\n";
    say(text.c_str());
    return kNotStarted;
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = kNotStarted;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  return static_cast<int>(status);
}
