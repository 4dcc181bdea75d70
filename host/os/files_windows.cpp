// Files and handles on Windows, twin of files_posix.cpp.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "os/inputs.h"

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

}  // namespace

bool OpenReadable(const std::string &path, ReadableFile &file, std::string &reason) {
  const HANDLE h = OpenShared(path);
  if (h == INVALID_HANDLE_VALUE) {
    reason = ErrorText(GetLastError());
    return false;
  }
  file.handle = reinterpret_cast<intptr_t>(h);
  const DWORD type = GetFileType(h);
  if (type != FILE_TYPE_DISK) {
    file.kind = type == FILE_TYPE_PIPE ? ReadableFile::Kind::kPipe : ReadableFile::Kind::kDevice;
    return true;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info)) {
    reason = ErrorText(GetLastError());
    CloseReadable(file);
    return false;
  }
  file.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? ReadableFile::Kind::kDirectory
                                                                 : ReadableFile::Kind::kRegular;
  file.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  file.identity = IdentityOf(info);
  return true;
}

bool ReadSome(const ReadableFile &file, char *buffer, std::size_t size, std::size_t &got, std::string &reason) {
  DWORD n = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(file.handle), buffer, static_cast<DWORD>(size), &n, nullptr)) {
    reason = ErrorText(GetLastError());
    return false;
  }
  got = n;
  return true;
}

void CloseReadable(ReadableFile &file) {
  if (file.handle != -1) CloseHandle(reinterpret_cast<HANDLE>(file.handle));
  file.handle = -1;
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
  InputFile host;
  host.path = std::string(self, n);
  host.what = "host";
  host.identity = *id;
  return {host};
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
