// What a results file (or the spool) could not commit, kept beside it until
// it can: another program holding the write lock past the busy timeout, a
// full disk, an I/O error. Each session keeps its own file,
// "<store>-pending-<tag>.jsonl", held under an exclusive lock while the
// session runs: one JSON line per record in its one JSON form (an attempt's
// record, or the session's end), each appended with one write. Beside it a
// reserve of room on the disk, "<store>-pending-<tag>.reserve", given up
// when the disk is full so that the line still fits.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/record.h"
#include "os/os.h"

namespace vorn_results {

// One record kept: an attempt (with its session), or a session's end.
struct Kept {
  std::shared_ptr<const vorn_host::SessionRecord> session;
  std::optional<vorn_host::UnitRecord> unit;  // none: the session's end
  std::string server;                         // a spool's: the server it waits for
};

std::string KeptLine(const Kept &kept);
bool KeptFromLine(const std::string &line, Kept &kept, std::string &error);

inline constexpr std::uintmax_t kReserveBytes = 4u << 20;

class Fallback {
 public:
  Fallback() = default;
  // An empty file and the reserve are removed; a file that holds records stays.
  ~Fallback();
  Fallback(const Fallback &) = delete;
  Fallback &operator=(const Fallback &) = delete;

  // Makes this session's file and its reserve beside the store: false, with
  // the reason, when the folder cannot be written or has no room.
  bool open(const std::string &storePath, std::string &error);
  // Appends the line; on a full disk the reserve is given up for it.
  bool keep(const std::string &line, std::string &error);
  // Everything it held is in the store: the file is emptied, and the
  // reserve made again if it was used.
  bool clear(std::string &error);

  const std::string &path() const { return path_; }
  const std::string &reservePath() const { return reserve_; }
  bool reserveUsed() const { return reserveUsed_; }

 private:
  bool append(const std::string &line, std::string &error);

  std::string path_;
  std::string reserve_;
  vorn_host::AppendLog log_;
  std::uintmax_t size_ = 0;
  bool reserveUsed_ = false;
};

// The fallback files that sessions no longer running left beside the store
// at storePath (a running session holds its file's lock). take is handed
// each file's records and returns true once they are in the store; the file
// and its reserve are then removed. taken counts the records taken; notes
// gets a line for each file that holds lines that are no record (cut short
// by a crash), which stays.
bool TakeLeftovers(const std::string &storePath,
                   const std::function<bool(const std::vector<Kept> &, std::string &)> &take, std::size_t &taken,
                   std::vector<std::string> &notes, std::string &error);

}  // namespace vorn_results
