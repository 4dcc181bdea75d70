#include "param_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#include <process.h>
// Built for Windows too, for the anchor timed under Wine: files are read in
// binary, as here (there is no exec to close on).
#define O_CLOEXEC O_BINARY
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <fstream>
#include <vector>

namespace vorn_bench {

std::string SectionsFile(int sections, int firstNumber, bool attenuation) {
  std::string out;
  if (attenuation) {
    out = "[Attenuation]\nGSM850_Low_CH=1.3\nGSM900_Mid_CH=0.5\nDCS1800_High_CH=0.8\n\n";
  }
  const int steps = attenuation ? sections - 1 : sections;
  for (int i = 0; i < steps; ++i) {
    out += "[" + std::to_string(firstNumber + i) + "]\n";
    out += "GPIB=20\nBand=900\nRF port=1\nBCCH=20 // the cell\nBCCH_Power=-85\n";
    out += "ComPort=COM3\nBaudRate=115200\nTCH=62\nCellPower=-85.5\nDelay=100\n\n";
  }
  return out;
}

std::string WriteTempFile(const std::string &contents, const char *name) {
  const std::string path = "/tmp/vorn-bench-" + std::to_string(getpid()) + "-" + name + ".ini";
  std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
  return path;
}

std::size_t PlainRead(const char *path) {
  static std::vector<char> buffer;
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  struct stat info {};
  if (fstat(fd, &info) == 0 && buffer.size() < static_cast<std::size_t>(info.st_size) + 1) {
    buffer.resize(static_cast<std::size_t>(info.st_size) + 1);
  }
  std::size_t total = 0;
  ssize_t got;
  while ((got = read(fd, buffer.data() + total, buffer.size() - total)) > 0) {
    total += static_cast<std::size_t>(got);
  }
  close(fd);
  return total;
}

}  // namespace vorn_bench
