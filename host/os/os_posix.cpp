#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include "os/os.h"

namespace vorn_host {

namespace {

volatile std::sig_atomic_t stopRequests = 0;

extern "C" void CountStopRequest(int) {
  if (stopRequests < 1000) stopRequests = stopRequests + 1;
}

std::string Reason() { return std::strerror(errno); }

bool WriteAll(int fd, const std::string &text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;  // a stop request: the line is still written whole
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

void CatchStopRequests() {
  struct sigaction action {};
  action.sa_handler = CountStopRequest;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a read of the operator's answer is interrupted
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

int StopRequests() { return stopRequests; }

void IgnoreTerminalStops() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, SIG_IGN);
}

AppendLog::~AppendLog() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

bool AppendLog::open(const std::string &path, std::string &error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = Reason();
    return false;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error = errno == EWOULDBLOCK ? "another run is writing to it" : Reason();
    ::close(fd);
    return false;
  }
  handle_ = fd;
  // A line cut short by a crash of an earlier writer stays a line of its own.
  struct stat st {};
  char last = '\n';
  const int reader = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (reader >= 0 && fstat(reader, &st) == 0 && st.st_size > 0) {
    if (pread(reader, &last, 1, st.st_size - 1) != 1) last = '\n';
  }
  if (reader >= 0) ::close(reader);
  if (last != '\n' && !WriteAll(fd, "\n")) {
    error = Reason();
    return false;
  }
  return true;
}

bool AppendLog::append(const std::string &line, std::string &error) {
  if (handle_ < 0) {
    error = "not open";
    return false;
  }
  if (!WriteAll(static_cast<int>(handle_), line)) {
    error = Reason();
    return false;
  }
  return true;
}

ReplacingFile::~ReplacingFile() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

bool ReplacingFile::prepare(const std::string &path, std::string &error) {
  std::string name = path + ".tmp-XXXXXX";
  const int fd = mkstemp(&name[0]);
  if (fd < 0) {
    error = Reason();
    return false;
  }
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  fcntl(fd, F_SETFD, FD_CLOEXEC);
  path_ = path;
  temporary_ = name;
  handle_ = fd;
  return true;
}

bool ReplacingFile::commit(const std::string &text, std::string &error) {
  const int fd = static_cast<int>(handle_);
  bool ok = fd >= 0 && WriteAll(fd, text) && fsync(fd) == 0;
  if (!ok) error = fd < 0 ? "not prepared" : Reason();
  if (fd >= 0 && ::close(fd) != 0 && ok) {
    error = Reason();
    ok = false;
  }
  handle_ = -1;
  if (ok && std::rename(temporary_.c_str(), path_.c_str()) != 0) {
    error = Reason();
    ok = false;
  }
  if (ok) temporary_.clear();
  return ok;
}

DynamicLibrary::~DynamicLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

bool DynamicLibrary::open(const std::string &path, std::string &error) {
  // A bare file name would send dlopen searching the system's folders.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char *reason = dlerror();
    error = reason != nullptr ? reason : "unknown loader error";
  }
  return handle_ != nullptr;
}

void *DynamicLibrary::symbol(const char *name) const { return handle_ == nullptr ? nullptr : dlsym(handle_, name); }

std::string DynamicLibrary::besideExecutable(const char *fileName) {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return fileName;
  std::string dir(self, static_cast<std::size_t>(n));
  dir.erase(dir.find_last_of('/') + 1);
  return dir + fileName;
}

const char *DynamicLibrary::defaultFileName() { return "libVorn_CMU200.so"; }

std::string DynamicLibrary::fileName(const std::string &stem) { return "lib" + stem + ".so"; }

std::string ExecutableFile(const std::string &stem) { return stem; }

void *LoadedLibrarySymbol(const std::string &stem, const char *name, bool &loaded) {
  // By its file name, which the loader matches against the sonames it holds.
  void *handle = dlopen(DynamicLibrary::fileName(stem).c_str(), RTLD_LAZY | RTLD_NOLOAD);
  loaded = handle != nullptr;
  if (handle == nullptr) return nullptr;
  void *address = dlsym(handle, name);
  dlclose(handle);  // only the count RTLD_NOLOAD took: the library stays
  return address;
}

void MarkStepThread() {}

bool OpenMessageBox(std::string &) { return false; }

bool IsTerminal(std::FILE *stream) { return stream != nullptr && isatty(fileno(stream)) == 1; }

bool LineWaiting(std::FILE *stream, int milliseconds) {
  // A terminal in its usual mode hands over whole lines: readable is a line.
  pollfd in{fileno(stream), POLLIN, 0};
  return poll(&in, 1, milliseconds) == 1 && (in.revents & (POLLIN | POLLHUP)) != 0;
}

std::string MachineName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "station";
  return name;
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

}  // namespace vorn_host
