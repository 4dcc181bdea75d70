// The input checks on POSIX systems; inputs_windows.cpp is the twin.
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

const char *KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

FileIdentity IdentityOf(const struct stat &info) {
  return FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

// The descriptor of the checked input, or -1 with the problem in error.
int OpenInput(const std::string &path, const std::string &what, uint64_t largest, bool mayBeEmpty, InputFile &file,
              std::string &error) {
  // O_NONBLOCK: opening a FIFO waits for its writer otherwise.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    error = path + ": cannot read the " + what + ": " + std::strerror(errno);
    return -1;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    error = path + ": cannot read the " + what + ": " + std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    error = path + ": the " + what + " is " + KindOf(info.st_mode) + ", not a regular file";
  } else if (static_cast<uint64_t>(info.st_size) > largest) {
    error = path + ": the " + what + " is " + std::to_string(info.st_size) + " bytes, more than the " +
            std::to_string(largest >> 20) + " MB it may hold";
  } else if (info.st_size == 0 && !mayBeEmpty) {
    error = path + ": the " + what + " is empty";
  } else {
    file.path = path;
    file.what = what;
    file.identity = IdentityOf(info);
    file.size = static_cast<uint64_t>(info.st_size);
    return fd;
  }
  close(fd);
  return -1;
}

}  // namespace

bool CheckInput(const std::string &path, const std::string &what, uint64_t largest, bool mayBeEmpty, InputFile &file,
                std::string &error) {
  const int fd = OpenInput(path, what, largest, mayBeEmpty, file, error);
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool ReadTextInput(const std::string &path, const std::string &what, bool mayBeEmpty, InputFile &file,
                   std::string &text, std::string &error) {
  const int fd = OpenInput(path, what, kLargestTextInput, mayBeEmpty, file, error);
  if (fd < 0) return false;
  // The size seen may change while the file is read: the bound holds anyway.
  text.assign(static_cast<std::size_t>(file.size), '\0');
  std::size_t used = 0;
  bool failed = false;
  for (;;) {
    if (used == text.size()) {
      if (text.size() > kLargestTextInput) break;
      text.resize(text.size() + 4096);
    }
    const ssize_t got = read(fd, &text[used], text.size() - used);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failed = true;
    if (got <= 0) break;
    used += static_cast<std::size_t>(got);
  }
  const int readError = errno;
  close(fd);
  text.resize(used);
  if (failed) {
    error = path + ": cannot read the " + what + ": " + std::strerror(readError);
  } else if (used > kLargestTextInput) {
    error = path + ": the " + what + " grew past the " + std::to_string(kLargestTextInput >> 20) +
            " MB it may hold while it was read";
  } else if (used == 0 && !mayBeEmpty) {
    error = path + ": the " + what + " is empty";
  }
  return error.empty();
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
    files.push_back(InputFile{n > 0 ? std::string(path, static_cast<std::size_t>(n)) : "vorn-host", "host", *self, 0});
  }
  // Linux lists the rest; a mapped file overwritten in place kills the process.
  std::set<std::string> seen;
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    const std::size_t slash = line.find('/');
    if (slash == std::string::npos || !seen.insert(line.substr(slash)).second) continue;
    const std::string path = line.substr(slash);
    if (const std::optional<FileIdentity> id = IdentityOf(path)) {
      files.push_back(InputFile{path, "loaded file", *id, 0});
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
