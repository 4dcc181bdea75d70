// Child programs on Windows, twin of process_posix.cpp.
#include <windows.h>

#include <cstdio>

#include "os/os.h"
#include "os/process.h"

namespace vorn_host {

namespace {

HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

void CloseH(intptr_t &h) {
  if (h != -1) CloseHandle(H(h));
  h = -1;
}

// One argument as the C runtime's parser reads it back: quoted, with the
// backslashes before a quote (and at the end) doubled.
std::string Quoted(const std::string &arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  std::size_t slashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    out.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
    slashes = 0;
    out += c;
  }
  out.append(2 * slashes, '\\');
  return out + "\"";
}

std::string LastError() {
  const std::string reason = SystemErrorReason(GetLastError());
  return reason.empty() ? "error " + std::to_string(GetLastError()) : reason;
}

}  // namespace

ChildProcess::~ChildProcess() {
  CloseH(input_);
  if (running()) kill();
  if (started_) wait();
  CloseH(output_);
  CloseH(process_);
}

bool ChildProcess::start(const std::vector<std::string> &argv, std::string &error) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
  if (!CreatePipe(&inRead, &inWrite, &inherit, 0) || !CreatePipe(&outRead, &outWrite, &inherit, 0)) {
    error = LastError();
    return false;
  }
  // Our ends stay ours: the child inherits only its own.
  SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inRead;
  startup.hStdOutput = outWrite;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::string command;
  for (const std::string &a : argv) command += (command.empty() ? "" : " ") + Quoted(a);
  PROCESS_INFORMATION info{};
  // A group of its own: the console's Ctrl-C reaches the supervisor, which tells it.
  const BOOL made = CreateProcessA(argv[0].c_str(), &command[0], nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                                   nullptr, nullptr, &startup, &info);
  if (!made) error = LastError();
  CloseHandle(inRead);
  CloseHandle(outWrite);
  input_ = reinterpret_cast<intptr_t>(inWrite);
  output_ = reinterpret_cast<intptr_t>(outRead);
  if (!made) {
    CloseH(input_);
    CloseH(output_);
    return false;
  }
  CloseHandle(info.hThread);
  process_ = reinterpret_cast<intptr_t>(info.hProcess);
  started_ = true;
  return true;
}

long ChildProcess::writeSome(const char *data, std::size_t size) {
  DWORD n = 0;
  if (input_ == -1 || !WriteFile(H(input_), data, static_cast<DWORD>(size), &n, nullptr)) return -1;
  return static_cast<long>(n);
}

long ChildProcess::readSome(char *buffer, std::size_t size) {
  DWORD n = 0;
  if (output_ == -1) return 0;
  // A pipe whose writer ended reads as broken: its end, as a POSIX pipe's.
  if (!ReadFile(H(output_), buffer, static_cast<DWORD>(size), &n, nullptr)) {
    return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
  }
  return static_cast<long>(n);
}

void ChildProcess::closeInput() { CloseH(input_); }

void ChildProcess::kill() {
  if (running()) TerminateProcess(H(process_), 1);
}

bool ChildProcess::endsWithin(int milliseconds) {
  if (!started_ || ended_) return true;
  if (WaitForSingleObject(H(process_), static_cast<DWORD>(milliseconds)) != WAIT_OBJECT_0) return false;
  wait();
  return true;
}

std::string ChildProcess::wait() {
  if (!started_ || ended_) return end_;
  WaitForSingleObject(H(process_), INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(H(process_), &code);
  ended_ = true;
  // An unhandled exception ends a program with its NTSTATUS as the code.
  if (code >= 0xC0000000u) {
    char text[32];
    std::snprintf(text, sizeof text, "exception 0x%08lX", static_cast<unsigned long>(code));
    end_ = text;
  } else {
    end_ = "exit status " + std::to_string(code);
  }
  return end_;
}

std::string SelfExecutable() {
  char self[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  return n > 0 && n < sizeof self ? std::string(self, n) : std::string("vorn-host.exe");
}

}  // namespace vorn_host
