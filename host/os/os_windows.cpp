// The runner's operating system calls on Windows, twin of os_posix.cpp.
#include <windows.h>
// After windows.h, as every Windows header.
#include <io.h>

#include <ctime>

#include "os/os.h"

namespace vorn_host {

std::string SystemErrorReason(unsigned long code) {
  char text[512] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                 sizeof text, nullptr);
  std::string reason(text, n);
  while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
  return reason;
}

namespace {

std::string LastErrorText() {
  const DWORD code = GetLastError();
  const std::string reason = SystemErrorReason(code);
  return "error " + std::to_string(code) + (reason.empty() ? "" : ": " + reason);
}

volatile LONG stopRequests = 0;

BOOL WINAPI CountStopRequest(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  InterlockedIncrement(&stopRequests);
  return TRUE;
}

HANDLE Handle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool WriteAll(HANDLE file, const std::string &text) {
  std::size_t done = 0;
  while (done < text.size()) {
    DWORD n = 0;
    if (!WriteFile(file, text.data() + done, static_cast<DWORD>(text.size() - done), &n, nullptr) || n == 0) {
      return false;
    }
    done += n;
  }
  return true;
}

DWORD stepThread = 0;

std::string WindowText(HWND window) {
  wchar_t wide[512] = {};
  const int n = InternalGetWindowText(window, wide, 512);  // sends the window no message
  char text[1536] = {};
  const int bytes = n > 0 ? WideCharToMultiByte(CP_UTF8, 0, wide, n, text, sizeof text, nullptr, nullptr) : 0;
  return std::string(text, bytes > 0 ? bytes : 0);
}

bool HasClass(HWND window, const char *name) {
  char text[64] = {};
  return GetClassNameA(window, text, sizeof text) > 0 && lstrcmpiA(text, name) == 0;
}

// The first static control with a text: the message (the icon's has none).
BOOL CALLBACK FindMessage(HWND child, LPARAM found) {
  if (!HasClass(child, "Static")) return TRUE;
  std::string text = WindowText(child);
  if (text.empty()) return TRUE;
  *reinterpret_cast<std::string *>(found) = std::move(text);
  return FALSE;
}

struct OpenBox {
  bool open = false;
  std::string text;
};

BOOL CALLBACK FindBox(HWND window, LPARAM found) {
  if (!IsWindowVisible(window) || !HasClass(window, "#32770")) return TRUE;  // a dialog's class
  OpenBox &box = *reinterpret_cast<OpenBox *>(found);
  box.open = true;
  EnumChildWindows(window, FindMessage, reinterpret_cast<LPARAM>(&box.text));
  if (box.text.empty()) box.text = WindowText(window);  // its caption, then
  return FALSE;
}

}  // namespace

void MarkStepThread() { stepThread = GetCurrentThreadId(); }

bool OpenMessageBox(std::string &text) {
  if (stepThread == 0) return false;
  OpenBox box;
  EnumThreadWindows(stepThread, FindBox, reinterpret_cast<LPARAM>(&box));
  if (box.open) text = box.text;
  return box.open;
}

void CatchStopRequests() { SetConsoleCtrlHandler(CountStopRequest, TRUE); }

int StopRequests() { return static_cast<int>(stopRequests); }

// Started in a process group of its own, the worker gets no Ctrl-C; it
// ignores Ctrl-Break and the console's close the same way.
void IgnoreTerminalStops() { SetConsoleCtrlHandler(nullptr, TRUE); }

AppendLog::~AppendLog() {
  if (handle_ != -1) CloseHandle(Handle(handle_));
}

bool AppendLog::open(const std::string &path, std::string &error) {
  // No sharing for writing: a second run on the same file is refused.
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA | GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = GetLastError() == ERROR_SHARING_VIOLATION ? "another run is writing to it" : LastErrorText();
    return false;
  }
  handle_ = reinterpret_cast<intptr_t>(file);
  LARGE_INTEGER size{};
  char last = '\n';
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(size.QuadPart - 1);
    at.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
    DWORD n = 0;
    if (!ReadFile(file, &last, 1, &n, &at) || n != 1) last = '\n';
  }
  if (last != '\n' && !WriteAll(file, "\n")) {
    error = LastErrorText();
    return false;
  }
  return true;
}

bool AppendLog::append(const std::string &line, std::string &error) {
  if (handle_ == -1 || !WriteAll(Handle(handle_), line)) {
    error = handle_ == -1 ? "not open" : LastErrorText();
    return false;
  }
  return true;
}

ReplacingFile::~ReplacingFile() {
  if (handle_ != -1) CloseHandle(Handle(handle_));
  if (!temporary_.empty()) DeleteFileA(temporary_.c_str());
}

bool ReplacingFile::prepare(const std::string &path, std::string &error) {
  const std::string name = path + ".tmp-" + std::to_string(GetCurrentProcessId());
  HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = LastErrorText();
    return false;
  }
  path_ = path;
  temporary_ = name;
  handle_ = reinterpret_cast<intptr_t>(file);
  return true;
}

bool ReplacingFile::commit(const std::string &text, std::string &error) {
  HANDLE file = Handle(handle_);
  bool ok = handle_ != -1 && WriteAll(file, text) && FlushFileBuffers(file);
  if (!ok) error = handle_ == -1 ? "not prepared" : LastErrorText();
  if (handle_ != -1) CloseHandle(file);
  handle_ = -1;
  if (ok && !MoveFileExA(temporary_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = LastErrorText();
    ok = false;
  }
  if (ok) temporary_.clear();
  return ok;
}

DynamicLibrary::~DynamicLibrary() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

bool DynamicLibrary::open(const std::string &path, std::string &error) {
  // The library's own folder is searched for the DLLs it imports, as on a
  // station where the equipment DLLs lie beside it.
  handle_ = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (handle_ == nullptr) error = LastErrorText();
  return handle_ != nullptr;
}

void *DynamicLibrary::symbol(const char *name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string DynamicLibrary::besideExecutable(const char *fileName) {
  char self[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  if (n == 0 || n >= sizeof self) return fileName;
  std::string dir(self, n);
  dir.erase(dir.find_last_of("\\/") + 1);
  return dir + fileName;
}

const char *DynamicLibrary::defaultFileName() { return "Vorn_CMU200.dll"; }

std::string DynamicLibrary::fileName(const std::string &stem) { return stem + ".dll"; }

std::string ExecutableFile(const std::string &stem) { return stem + ".exe"; }

void *LoadedLibrarySymbol(const std::string &stem, const char *name, bool &loaded) {
  // Module names compare without case: DWDIO.DLL is found as DWDIO.dll.
  HMODULE module = GetModuleHandleA(DynamicLibrary::fileName(stem).c_str());
  loaded = module != nullptr;
  if (module == nullptr) return nullptr;
  return reinterpret_cast<void *>(GetProcAddress(module, name));
}

bool IsTerminal(std::FILE *stream) {
  DWORD mode = 0;
  return stream != nullptr && GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), &mode) != 0;
}

bool LineWaiting(std::FILE *stream, int milliseconds) {
  // The console signals every key; a line is there once Enter was pressed.
  const HANDLE in = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  if (WaitForSingleObject(in, static_cast<DWORD>(milliseconds)) != WAIT_OBJECT_0) return false;
  INPUT_RECORD records[128];
  DWORD count = 0;
  if (PeekConsoleInputA(in, records, 128, &count) == 0) return false;
  for (DWORD i = 0; i < count; ++i) {
    const KEY_EVENT_RECORD &key = records[i].Event.KeyEvent;
    if (records[i].EventType == KEY_EVENT && key.bKeyDown && key.uChar.AsciiChar == '\r') return true;
  }
  Sleep(static_cast<DWORD>(milliseconds));  // keys, but no line yet
  return false;
}

std::string MachineName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size) || name[0] == '\0') return "station";
  return name;
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_s(&utc, &now);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

}  // namespace vorn_host
