// A program this process starts and talks to in lines: its standard input
// and output are pipes to us, its standard error is ours. The parallel
// sockets' workers are such programs. process_posix.cpp (fork and exec) and
// process_windows.cpp (CreateProcess) are the twins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vorn_host {

class ChildProcess {
 public:
  ChildProcess() = default;
  // Ends the program if it still runs, and waits for it.
  ~ChildProcess();
  ChildProcess(const ChildProcess &) = delete;
  ChildProcess &operator=(const ChildProcess &) = delete;

  // argv[0] is the program's file. False, with the reason, when it cannot start.
  bool start(const std::vector<std::string> &argv, std::string &error);
  // One line (its line end added) to the program's input; false once it no
  // longer takes input.
  bool send(const std::string &line);
  // The next line of its output, without its line end; false at its end.
  // Blocks: one thread reads each program.
  bool readLine(std::string &line);
  // No more input: the program reads the end of it.
  void closeInput();
  // Ends the program at once.
  void kill();
  // Waits for the program's end: "exit status 0", "signal 11" ("exception
  // 0xC0000005" on Windows). Once ended, the same text again.
  std::string wait();
  // Whether the program ends within the time given (then wait() returns at once).
  bool endsWithin(int milliseconds);
  bool running() const { return started_ && !ended_; }

 private:
  // The system's read and write of the pipes: the bytes moved, 0 at the
  // end, -1 on a failure.
  long readSome(char *buffer, std::size_t size);
  long writeSome(const char *data, std::size_t size);

  bool started_ = false;
  bool ended_ = false;
  std::string end_;
  intptr_t process_ = -1;  // the pid, or the process handle
  intptr_t input_ = -1;    // our end of its standard input
  intptr_t output_ = -1;   // our end of its standard output
  std::string buffer_;
};

// The running program's own file, to start another copy of it.
std::string SelfExecutable();

}  // namespace vorn_host
