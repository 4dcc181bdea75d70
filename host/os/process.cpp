// What a child program's lines are, the same on every system: one line
// written whole, lines read up to their end, a CR before the LF dropped.
#include "os/process.h"

namespace vorn_host {

bool ChildProcess::send(const std::string &line) {
  const std::string text = line + "\n";
  for (std::size_t done = 0; done < text.size();) {
    const long n = writeSome(text.data() + done, text.size() - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool ChildProcess::readLine(std::string &line) {
  for (;;) {
    const std::size_t end = buffer_.find('\n');
    if (end != std::string::npos) {
      line = buffer_.substr(0, end);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      buffer_.erase(0, end + 1);
      return true;
    }
    char chunk[4096];
    const long n = readSome(chunk, sizeof chunk);
    if (n <= 0) return false;  // a line cut short by the program's end is no line
    buffer_.append(chunk, static_cast<std::size_t>(n));
  }
}

}  // namespace vorn_host
