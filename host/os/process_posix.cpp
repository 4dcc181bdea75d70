// Child programs on POSIX systems; process_windows.cpp is the twin.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "os/process.h"

namespace vorn_host {

namespace {

void CloseFd(intptr_t &fd) {
  if (fd >= 0) ::close(static_cast<int>(fd));
  fd = -1;
}

}  // namespace

ChildProcess::~ChildProcess() {
  CloseFd(input_);
  if (running()) kill();
  if (started_) wait();
  CloseFd(output_);
}

bool ChildProcess::start(const std::vector<std::string> &argv, std::string &error) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (pipe2(out, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    ::close(in[0]);
    ::close(in[1]);
    return false;
  }
  std::vector<char *> args;
  for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    // The child: its ends of the pipes as its standard input and output, the
    // signals the parent counts back to their defaults.
    dup2(in[0], 0);
    dup2(out[1], 1);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(s, SIG_DFL);
    execv(args[0], args.data());
    _exit(127);
  }
  const int forkError = errno;
  ::close(in[0]);
  ::close(out[1]);
  input_ = in[1];
  output_ = out[0];
  if (pid < 0) {
    error = std::strerror(forkError);
    CloseFd(input_);
    CloseFd(output_);
    return false;
  }
  process_ = pid;
  started_ = true;
  return true;
}

long ChildProcess::writeSome(const char *data, std::size_t size) {
  if (input_ < 0) return -1;
  for (;;) {
    const ssize_t n = ::write(static_cast<int>(input_), data, size);
    if (n < 0 && errno == EINTR) continue;
    return n < 0 ? -1 : static_cast<long>(n);
  }
}

long ChildProcess::readSome(char *buffer, std::size_t size) {
  if (output_ < 0) return 0;
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(output_), buffer, size);
    if (n < 0 && errno == EINTR) continue;
    return n < 0 ? -1 : static_cast<long>(n);
  }
}

void ChildProcess::closeInput() { CloseFd(input_); }

void ChildProcess::kill() {
  if (running()) ::kill(static_cast<pid_t>(process_), SIGKILL);
}

namespace {

std::string EndOf(int status) {
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "exit status " + std::to_string(WEXITSTATUS(status));
}

}  // namespace

bool ChildProcess::endsWithin(int milliseconds) {
  for (int waited = 0;; waited += 10) {
    if (!started_ || ended_) return true;
    int status = 0;
    if (waitpid(static_cast<pid_t>(process_), &status, WNOHANG) == static_cast<pid_t>(process_)) {
      ended_ = true;
      end_ = EndOf(status);
      return true;
    }
    if (waited >= milliseconds) return false;
    usleep(10000);
  }
}

std::string ChildProcess::wait() {
  if (!started_ || ended_) return end_;
  int status = 0;
  while (waitpid(static_cast<pid_t>(process_), &status, 0) < 0 && errno == EINTR) {
  }
  ended_ = true;
  end_ = EndOf(status);
  return end_;
}

std::string SelfExecutable() {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  return n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string("vorn-host");
}

}  // namespace vorn_host
