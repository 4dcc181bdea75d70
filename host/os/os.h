// What the runner asks of the operating system, all in one place: loading the
// library by its file and finding an export by its plain name, the folder of
// the running executable, the machine's name and the time of day. os_posix.cpp
// does it with dlopen, dlsym and friends; a Windows build gives the same
// functions in os_windows.cpp with LoadLibraryA, GetProcAddress and the like.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace vorn_host {

// A file's identity on its machine: device and inode (on Windows, the volume
// serial number and the file index). Two paths with one identity are one file.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t file = 0;
  bool operator==(const FileIdentity &o) const { return device == o.device && file == o.file; }
};

// A file opened for reading, as the system sees it. Opening never blocks: a
// FIFO is opened without waiting for its writer.
struct ReadableFile {
  enum class Kind { kRegular, kDirectory, kFifo, kPipe, kDevice, kSocket, kOther };
  intptr_t handle = -1;
  Kind kind = Kind::kOther;
  uint64_t size = 0;
  FileIdentity identity;
};
// False, with the system's reason, when the file cannot be opened.
bool OpenReadable(const std::string &path, ReadableFile &file, std::string &reason);
// Up to size bytes into buffer; got is 0 at the end of the file.
bool ReadSome(const ReadableFile &file, char *buffer, std::size_t size, std::size_t &got, std::string &reason);
void CloseReadable(ReadableFile &file);

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary &) = delete;
  DynamicLibrary &operator=(const DynamicLibrary &) = delete;

  // False, with the loader's reason in error, when the file cannot be loaded.
  bool open(const std::string &path, std::string &error);
  // The export's address, or null when the library has no such export.
  void *symbol(const char *name) const;
  bool loaded() const { return handle_ != nullptr; }

  // The library's usual file beside the running executable.
  static std::string besideExecutable(const char *fileName);
  static const char *defaultFileName();  // "libVorn_CMU200.so", "Vorn_CMU200.dll"
  // A library's file from its stem: "libvorn_simulation.so", "vorn_simulation.dll".
  static std::string fileName(const std::string &stem);

 private:
  void *handle_ = nullptr;
};

// An export of a library already in the process, found by the library's stem
// ("rscmu200_32": librscmu200_32.so, rscmu200_32.dll) without loading it:
// null when it is not loaded (loaded false) or does not export name.
void *LoadedLibrarySymbol(const std::string &stem, const char *name, bool &loaded);

// Counts the operator's requests to stop (SIGINT, SIGTERM, SIGHUP; Ctrl-C,
// Ctrl-Break and closing the console on Windows) in place of ending the
// process. A read from the terminal that a request interrupts fails.
void CatchStopRequests();
int StopRequests();
// A socket's worker hears no stop of the terminal's: its supervisor, which
// does, tells it once (a second would skip its cleanup).
void IgnoreTerminalStops();

// A log of whole lines, appended to and held under an exclusive lock: a
// second process that opens the same file is refused while the first holds
// it. A line is appended with one write and is in the file when append
// returns, so a killed process leaves every line it finished whole.
class AppendLog {
 public:
  AppendLog() = default;
  ~AppendLog();
  AppendLog(const AppendLog &) = delete;
  AppendLog &operator=(const AppendLog &) = delete;

  bool open(const std::string &path, std::string &error);
  bool append(const std::string &line, std::string &error);

 private:
  intptr_t handle_ = -1;
};

// A file replaced as a whole: the text goes to a new file in the same folder,
// which then takes the place of the file. Until then the earlier file stays
// as it was; a file prepared and never committed is removed.
class ReplacingFile {
 public:
  ReplacingFile() = default;
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile &) = delete;
  ReplacingFile &operator=(const ReplacingFile &) = delete;

  // Makes the new file, so that a folder where it cannot be is found early.
  bool prepare(const std::string &path, std::string &error);
  bool commit(const std::string &text, std::string &error);

 private:
  std::string path_;
  std::string temporary_;
  intptr_t handle_ = -1;
};

// A message box open on the thread that runs the steps: a real station's
// library asks its operator with the system's own, which only the station's
// screen answers. True with the box's text while one is open. The steps'
// thread is the one that called MarkStepThread. Never on POSIX, which has no
// message boxes.
void MarkStepThread();
bool OpenMessageBox(std::string &text);

// An executable's file from its stem: "vorn-report", "vorn-report.exe".
std::string ExecutableFile(const std::string &stem);
// How the user types the command of a tool beside vorn-host, from the working
// folder: "build/bin/vorn-report", "./vorn-report", or its whole path.
std::string ToolCommand(const std::string &name);

// Whether the stream is a terminal someone types at.
bool IsTerminal(std::FILE *stream);
// Waits up to milliseconds for a line typed at the terminal stream: true
// once one can be read without waiting.
bool LineWaiting(std::FILE *stream, int milliseconds);

// The machine's name, or "station" when it has none.
std::string MachineName();
// The time now, UTC, as "2024-05-01T08:30:00Z".
std::string UtcNow();

#if defined(_WIN32)
// The system's own text for a Windows error code, trimmed; empty when it has none.
std::string SystemErrorReason(unsigned long code);
#endif

}  // namespace vorn_host
