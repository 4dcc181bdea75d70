// The input checks on Windows, twin of inputs_posix.cpp.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "os/inputs.h"
#include "os/os.h"

namespace vorn_host {

namespace {

std::string ErrorText(DWORD code) {
  const std::string reason = SystemErrorReason(code);
  return reason.empty() ? "error " + std::to_string(code) : reason;
}

HANDLE OpenShared(const std::string &path) {
  // Backup semantics let a directory open, so it is named as one.
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION &info) {
  return FileIdentity{info.dwVolumeSerialNumber,
                      (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

HANDLE OpenInput(const std::string &path, const std::string &what, uint64_t largest, bool mayBeEmpty, InputFile &file,
                 std::string &error) {
  const HANDLE h = OpenShared(path);
  if (h == INVALID_HANDLE_VALUE) {
    error = path + ": cannot read the " + what + ": " + ErrorText(GetLastError());
    return h;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const DWORD type = GetFileType(h);
  if (type != FILE_TYPE_DISK) {
    error = path + ": the " + what + (type == FILE_TYPE_PIPE ? " is a pipe" : " is a device") + ", not a regular file";
  } else if (!GetFileInformationByHandle(h, &info)) {
    error = path + ": cannot read the " + what + ": " + ErrorText(GetLastError());
  } else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    error = path + ": the " + what + " is a directory, not a regular file";
  } else {
    const uint64_t size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (size > largest) {
      error = path + ": the " + what + " is " + std::to_string(size) + " bytes, more than the " +
              std::to_string(largest >> 20) + " MB it may hold";
    } else if (size == 0 && !mayBeEmpty) {
      error = path + ": the " + what + " is empty";
    } else {
      file.path = path;
      file.what = what;
      file.identity = IdentityOf(info);
      file.size = size;
      return h;
    }
  }
  CloseHandle(h);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

bool CheckInput(const std::string &path, const std::string &what, uint64_t largest, bool mayBeEmpty, InputFile &file,
                std::string &error) {
  const HANDLE h = OpenInput(path, what, largest, mayBeEmpty, file, error);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

bool ReadTextInput(const std::string &path, const std::string &what, bool mayBeEmpty, InputFile &file,
                   std::string &text, std::string &error) {
  const HANDLE h = OpenInput(path, what, kLargestTextInput, mayBeEmpty, file, error);
  if (h == INVALID_HANDLE_VALUE) return false;
  text.assign(static_cast<std::size_t>(file.size), '\0');
  std::size_t used = 0;
  for (;;) {
    if (used == text.size()) {
      if (text.size() > kLargestTextInput) break;
      text.resize(text.size() + 4096);
    }
    DWORD got = 0;
    if (!ReadFile(h, &text[used], static_cast<DWORD>(text.size() - used), &got, nullptr)) {
      error = path + ": cannot read the " + what + ": " + ErrorText(GetLastError());
      break;
    }
    if (got == 0) break;
    used += got;
  }
  CloseHandle(h);
  text.resize(used);
  if (error.empty() && used > kLargestTextInput) {
    error = path + ": the " + what + " grew past the " + std::to_string(kLargestTextInput >> 20) +
            " MB it may hold while it was read";
  } else if (error.empty() && used == 0 && !mayBeEmpty) {
    error = path + ": the " + what + " is empty";
  }
  return error.empty();
}

std::optional<FileIdentity> IdentityOf(const std::string &path) {
  const HANDLE h = OpenShared(path);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  if (!known) return std::nullopt;
  return IdentityOf(info);
}

std::vector<InputFile> MappedFiles() {
  // Windows keeps a loaded module from being written; the host is named for
  // a clear message all the same.
  char self[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  if (n == 0 || n >= sizeof self) return {};
  const std::optional<FileIdentity> id = IdentityOf(std::string(self, n));
  if (!id) return {};
  return {InputFile{std::string(self, n), "host", *id, 0}};
}

void MakeStandardDescriptorsValid() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (_get_osfhandle(fd) != -1) continue;
    const int opened = _open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
    if (opened >= 0 && opened != fd) {
      _dup2(opened, fd);
      _close(opened);
    }
  }
}

void IgnoreBrokenPipe() {}  // no SIGPIPE: a write to a closed pipe fails

}  // namespace vorn_host
