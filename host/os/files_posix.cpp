// Files and descriptors on POSIX systems; files_windows.cpp is the twin. What
// is checked of an input is written once, in inputs.cpp.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <set>

#include "os/inputs.h"

namespace vorn_host {

namespace {

ReadableFile::Kind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return ReadableFile::Kind::kRegular;
  if (S_ISDIR(mode)) return ReadableFile::Kind::kDirectory;
  if (S_ISFIFO(mode)) return ReadableFile::Kind::kFifo;
  if (S_ISCHR(mode) || S_ISBLK(mode)) return ReadableFile::Kind::kDevice;
  if (S_ISSOCK(mode)) return ReadableFile::Kind::kSocket;
  return ReadableFile::Kind::kOther;
}

FileIdentity IdentityOf(const struct stat &info) {
  return FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

}  // namespace

bool OpenReadable(const std::string &path, ReadableFile &file, std::string &reason) {
  // O_NONBLOCK: opening a FIFO waits for its writer otherwise.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0) {
    reason = std::strerror(errno);
    if (fd >= 0) close(fd);
    return false;
  }
  file.handle = fd;
  file.kind = KindOf(info.st_mode);
  file.size = static_cast<uint64_t>(info.st_size);
  file.identity = IdentityOf(info);
  return true;
}

bool ReadSome(const ReadableFile &file, char *buffer, std::size_t size, std::size_t &got, std::string &reason) {
  for (;;) {
    const ssize_t n = read(static_cast<int>(file.handle), buffer, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      reason = std::strerror(errno);
      return false;
    }
    got = static_cast<std::size_t>(n);
    return true;
  }
}

void CloseReadable(ReadableFile &file) {
  if (file.handle >= 0) close(static_cast<int>(file.handle));
  file.handle = -1;
}

std::optional<FileIdentity> IdentityOf(const std::string &path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  return IdentityOf(info);
}

std::vector<InputFile> MappedFiles() {
  std::vector<InputFile> files;
  if (const std::optional<FileIdentity> self = IdentityOf("/proc/self/exe")) {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path);
    InputFile host;
    host.path = n > 0 ? std::string(path, static_cast<std::size_t>(n)) : "vorn-host";
    host.what = "host";
    host.identity = *self;
    files.push_back(host);
  }
  // Linux lists the rest; a mapped file overwritten in place kills the process.
  std::set<std::string> seen;
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    const std::size_t slash = line.find('/');
    if (slash == std::string::npos || !seen.insert(line.substr(slash)).second) continue;
    InputFile loaded;
    loaded.path = line.substr(slash);
    loaded.what = "loaded file";
    if (const std::optional<FileIdentity> id = IdentityOf(loaded.path)) {
      loaded.identity = *id;
      files.push_back(loaded);
    }
  }
  return files;
}

void MakeStandardDescriptorsValid() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lower ones are open by now, so the null device lands on fd itself.
    const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
}

void IgnoreBrokenPipe() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace vorn_host
