#include "outputs/results/fallback.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "core/record_json.h"

namespace vorn_results {

namespace fs = std::filesystem;

namespace {

constexpr const char *kPending = "-pending-";
constexpr const char *kLines = ".jsonl";
constexpr const char *kReserve = ".reserve";

bool EndsWith(const std::string &text, const std::string &end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

constexpr std::chrono::minutes kEmptyLeftover{1};

// Removes the file unless a running session holds its lock.
bool RemoveUnlocked(const fs::path &path) {
  vorn_host::AppendLog lock;
  std::string ignored;
  std::error_code failed;
  return lock.open(path.string(), ignored) && fs::remove(path, failed);
}

// Room taken on the disk, written (not a sparse file): on a full disk its
// removal gives that room back.
bool MakeReserve(const std::string &path, std::string &error) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string zeros(64 << 10, '\0');
    for (std::uintmax_t done = 0; out && done < kReserveBytes; done += zeros.size())
      out.write(zeros.data(), zeros.size());
    out.flush();
    if (out) return true;
  }
  std::error_code ignored;
  fs::remove(path, ignored);
  error = "no room for a reserve of " + std::to_string(kReserveBytes >> 20) + " MB on its disk (" + path + ")";
  return false;
}

// The records of one leftover file; bad counts the lines that are none.
std::vector<Kept> ReadKept(const std::string &path, std::size_t &bad) {
  std::vector<Kept> kept;
  std::ifstream in(path, std::ios::binary);
  bad = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    Kept k;
    std::string ignored;
    if (KeptFromLine(line, k, ignored)) {
      kept.push_back(std::move(k));
    } else {
      ++bad;
    }
  }
  return kept;
}

}  // namespace

std::string KeptLine(const Kept &kept) {
  nlohmann::ordered_json j;
  if (kept.unit) {
    j = vorn_host::RecordJson(*kept.unit);
  } else {
    j["format"] = vorn_host::kRecordFormat;
    j["sessionEnded"] = vorn_host::SessionJson(*kept.session);
  }
  if (!kept.server.empty()) j["spooledFor"] = vorn_host::JsonSafe(kept.server);
  return vorn_host::JsonText(j) + "\n";
}

bool KeptFromLine(const std::string &line, Kept &kept, std::string &error) {
  const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
  if (!j.is_object()) {
    error = "not a JSON object";
    return false;
  }
  kept = Kept();
  const auto server = j.find("spooledFor");
  if (server != j.end() && server->is_string()) kept.server = server->get<std::string>();
  const auto ended = j.find("sessionEnded");
  if (ended != j.end()) {
    auto session = std::make_shared<vorn_host::SessionRecord>();
    if (!vorn_host::SessionFromJson(*ended, *session, error)) return false;
    kept.session = std::move(session);
    return true;
  }
  vorn_host::UnitRecord unit;
  if (!vorn_host::RecordFromJson(j, unit, error)) return false;
  if (!unit.session) {
    error = "the record has no session";
    return false;
  }
  kept.session = unit.session;
  kept.unit = std::move(unit);
  return true;
}

Fallback::~Fallback() {
  if (path_.empty()) return;
  std::error_code ignored;
  if (size_ == 0) fs::remove(path_, ignored);
  fs::remove(reserve_, ignored);
}

bool Fallback::open(const std::string &storePath, std::string &error) {
  const std::string stem = storePath + kPending + vorn_host::NewUuid().substr(0, 8);
  std::string why;
  if (!log_.open(stem + kLines, why)) {
    error = storePath + ": cannot write beside the results file (" + stem + kLines + "): " + why;
    return false;
  }
  path_ = stem + kLines;
  reserve_ = stem + kReserve;
  if (MakeReserve(reserve_, why)) return true;
  error = storePath + ": " + why;
  return false;
}

bool Fallback::append(const std::string &line, std::string &error) {
  if (log_.append(line, error)) {
    size_ += line.size();
    return true;
  }
  // A line cut short by the full disk is cut off, so that the next one
  // starts a line of its own.
  std::error_code ignored;
  fs::resize_file(path_, size_, ignored);
  return false;
}

bool Fallback::keep(const std::string &line, std::string &error) {
  std::string why;
  if (append(line, why)) return true;
  if (!reserveUsed_) {
    std::error_code ignored;
    fs::remove(reserve_, ignored);
    reserveUsed_ = true;
    if (append(line, why)) return true;
  }
  error = path_ + ": " + why;
  return false;
}

bool Fallback::clear(std::string &error) {
  std::error_code failed;
  fs::resize_file(path_, 0, failed);
  if (failed) {
    error = path_ + ": " + failed.message();
    return false;
  }
  size_ = 0;
  std::string ignored;
  if (reserveUsed_ && MakeReserve(reserve_, ignored)) reserveUsed_ = false;
  return true;
}

bool TakeLeftovers(const std::string &storePath,
                   const std::function<bool(const std::vector<Kept> &, std::string &)> &take, std::size_t &taken,
                   std::vector<std::string> &notes, std::string &error) {
  taken = 0;
  const fs::path store(storePath);
  const fs::path folder = store.has_parent_path() ? store.parent_path() : fs::path(".");
  const std::string prefix = store.filename().string() + kPending;
  std::error_code failed;
  std::vector<fs::path> found;
  for (const fs::directory_entry &entry : fs::directory_iterator(folder, failed)) found.push_back(entry.path());
  for (const fs::path &path : found) {
    const std::string name = path.filename().string();
    if (name.rfind(prefix, 0) != 0) continue;
    const std::string stem = (folder / name.substr(0, name.rfind('.'))).string();
    std::error_code ignored;
    if (EndsWith(name, kReserve) && !fs::exists(stem + kLines, ignored)) fs::remove(path, ignored);
    if (!EndsWith(name, kLines)) continue;
    // A session makes its file and then locks it, and writes only once it
    // holds the lock: an empty file may be one about to be locked. One that
    // stayed empty a minute is a session's that ended without its clean-up.
    if (fs::file_size(path, ignored) == 0 && !ignored) {
      const auto age = fs::file_time_type::clock::now() - fs::last_write_time(path, ignored);
      if (!ignored && age > kEmptyLeftover && RemoveUnlocked(path)) fs::remove(stem + kReserve, ignored);
      continue;
    }
    // A running session holds its own file's lock: its records are its own.
    vorn_host::AppendLog lock;
    std::string why;
    if (!lock.open(path.string(), why)) continue;
    std::size_t bad = 0;
    const std::vector<Kept> kept = ReadKept(path.string(), bad);
    if (!kept.empty() && !take(kept, error)) return false;
    taken += kept.size();
    if (bad > 0) {
      notes.push_back(path.string() + ": " + std::to_string(bad) + " lines hold no record (cut short); the file stays");
      continue;
    }
    fs::remove(path, ignored);
    fs::remove(stem + kReserve, ignored);
  }
  return true;
}

}  // namespace vorn_results
