#include "tools/results/queries.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <unordered_map>
#include <vector>

#include "os/text.h"
#include "outputs/results/words.h"
#include "tools/common/tally_source.h"

namespace vorn_results {

namespace {

std::string Str(const Value &v) { return v.value_or(""); }
// The same without a copy, for the rows that come by the million.
const std::string &TextOf(const Value &v) {
  static const std::string kNull;
  return v ? *v : kNull;
}

const char *kUnitColumns[] = {"uuid",    "session",       "station", "serial",  "unit",
                              "attempt", "first_attempt", "started", "seconds", "verdict"};
constexpr std::size_t kUnitFields = sizeof kUnitColumns / sizeof kUnitColumns[0];

}  // namespace

std::string CsvField(const std::string &text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string CsvCell(const std::string &text, bool guard) {
  const bool risky = !text.empty() && std::string("=+-@\t\r").find(text[0]) != std::string::npos;
  if (guard && risky && !ParseNumber(text)) return CsvField("'" + text);
  return CsvField(text);
}

namespace {

// The rows of an export on their way: each row as it was written while only
// the first `known` columns had been seen. Columns are only ever appended, so
// an earlier row lacks nothing but trailing cells, added when it is copied
// out under the full header. The rows wait in a temporary file, not in
// memory, however many units there are.
class RowFile {
 public:
  RowFile() : file_(std::tmpfile()) {}
  ~RowFile() {
    if (file_ != nullptr) std::fclose(file_);
  }
  RowFile(const RowFile &) = delete;
  RowFile &operator=(const RowFile &) = delete;

  bool ok() const { return file_ != nullptr && !failed_; }
  void add(const std::string &line, std::size_t known) {
    const uint64_t head[2] = {known, line.size()};
    failed_ = failed_ || std::fwrite(head, sizeof head, 1, file_) != 1 ||
              std::fwrite(line.data(), 1, line.size(), file_) != line.size();
  }
  // Every row in turn, each with the cells of the columns it lacked.
  bool copy(std::ostream &out, std::size_t columns) {
    if (!ok() || std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0) return false;
    std::string line;
    uint64_t head[2];
    while (std::fread(head, sizeof head, 1, file_) == 1) {
      line.resize(static_cast<std::size_t>(head[1]));
      if (std::fread(&line[0], 1, line.size(), file_) != line.size()) return false;
      line.append(columns - static_cast<std::size_t>(head[0]), ',');
      line += '\n';
      out.write(line.data(), static_cast<std::streamsize>(line.size()));
    }
    return std::ferror(file_) == 0 && static_cast<bool>(out);
  }

 private:
  std::FILE *file_;
  bool failed_ = false;
};

// Attempts whose limited results are read in one statement: few statements
// (a round trip each on a server), and little held at a time.
constexpr std::size_t kExportBatch = 200;

std::string ResultsOfBatch() {
  std::string sql =
      "SELECT r.attempt_id, r.step_index, m.export, m.entry, r.value FROM run_result r"
      " JOIN measurement m ON m.id = r.measurement_id WHERE r.attempt_id IN (";
  for (std::size_t i = 1; i <= kExportBatch; ++i) sql += (i == 1 ? "$" : ", $") + std::to_string(i);
  return sql + ") AND (m.low IS NOT NULL OR m.high IS NOT NULL) ORDER BY r.attempt_id, r.step_index, m.entry";
}

// The wide export. The attempts come in their order through the
// unit_started index, and each batch's limited results through the result
// key on a second connection (the first is still handing over the
// attempts): nothing sorts all the results, and memory holds one batch.
class WideExport {
 public:
  WideExport(std::unique_ptr<Database> results, const CsvOptions &options)
      : results_(std::move(results)), options_(options), resultsSql_(ResultsOfBatch()) {}

  bool ok() const { return rows_.ok(); }

  // One attempt's unit fields; its batch is read once full.
  bool addAttempt(const Row &r, std::string &error) {
    std::string line;
    for (std::size_t i = 0; i < kUnitFields; ++i) line += (i == 0 ? "" : ",") + CsvCell(Str(r[i]), options_.guardCells);
    slotOf_.emplace(Str(r[kUnitFields]), batch_.size());
    ids_.push_back(r[kUnitFields]);
    batch_.push_back(std::move(line));
    return batch_.size() < kExportBatch || flush(error);
  }

  // The batch's limited results, each attempt's row completed and kept.
  bool flush(std::string &error) {
    if (batch_.empty()) return true;
    std::vector<Value> params = ids_;
    params.resize(kExportBatch, std::string("0"));  // no attempt has the id 0
    valuesOf_.assign(batch_.size(), {});
    attempt_ = nullptr;
    if (!results_->query(
            resultsSql_, params, [&](const Row &r) { return takeResult(r); }, error))
      return false;
    for (std::size_t i = 0; i < batch_.size(); ++i) {
      std::string &line = batch_[i];
      cells_.assign(columns_.size(), nullptr);
      for (const auto &v : valuesOf_[i]) cells_[v.first] = &v.second;
      for (const std::string *cell : cells_) {
        line += ',';
        if (cell != nullptr) line += *cell;
      }
      rows_.add(line, columns_.size());
    }
    batch_.clear();
    ids_.clear();
    slotOf_.clear();
    if (!rows_.ok()) error = "writing the CSV's rows to a temporary file failed";
    return rows_.ok();
  }

  // The header, now that every column is known, then every row.
  bool write(std::ostream &out, std::string &error) {
    std::string header;
    for (std::size_t i = 0; i < kUnitFields; ++i) header += (i == 0 ? "" : ",") + std::string(kUnitColumns[i]);
    for (const std::string &c : columns_) header += "," + CsvCell(c, options_.guardCells);
    out << header << "\n";
    if (!rows_.copy(out, columns_.size()) || !out.flush()) {
      error = "writing the CSV failed";
      return false;
    }
    return true;
  }

 private:
  // A column per export, its occurrence among the attempt's steps, and
  // entry. An attempt's rows come together and in the order of its steps,
  // so the attempt and the step's column prefix ("Export#2[") are kept from
  // the row before.
  bool takeResult(const Row &r) {
    if (attempt_ == nullptr || *attempt_ != TextOf(r[0])) {
      const auto found = slotOf_.find(TextOf(r[0]));
      if (found == slotOf_.end()) return true;  // not asked for
      slot_ = found->second;
      attempt_ = &found->first;
      seen_.clear();
      step_.clear();
    }
    if (TextOf(r[1]) != step_) {
      step_ = TextOf(r[1]);
      const std::string &exportName = TextOf(r[2]);
      const int occurrence = ++seen_[exportName];
      prefix_ = exportName;
      if (occurrence > 1) prefix_ += "#" + std::to_string(occurrence);
      prefix_ += '[';
    }
    column_.assign(prefix_).append(TextOf(r[3])).append(1, ']');
    auto at = columnOf_.find(column_);
    if (at == columnOf_.end()) {
      at = columnOf_.emplace(column_, columns_.size()).first;
      columns_.push_back(column_);
    }
    valuesOf_[slot_].emplace_back(at->second, TextOf(r[4]));
    return true;
  }

  std::unique_ptr<Database> results_;
  CsvOptions options_;
  const std::string resultsSql_;
  RowFile rows_;
  std::vector<std::string> columns_;
  std::unordered_map<std::string, std::size_t> columnOf_;
  std::vector<std::string> batch_;  // each attempt's unit fields, its row so far
  std::vector<Value> ids_;          // the batch's attempts' ids
  std::unordered_map<std::string, std::size_t> slotOf_;
  std::vector<std::vector<std::pair<std::size_t, std::string>>> valuesOf_;
  std::vector<const std::string *> cells_;
  // The result row before: its attempt, slot, step and column prefix.
  const std::string *attempt_ = nullptr;
  std::size_t slot_ = 0;
  std::unordered_map<std::string, int> seen_;  // the attempt's steps so far, by export
  std::string step_, prefix_, column_;
};

// Hands each attempt the query gives to the export, in the order of the
// line's time, then what the export still holds.
template <typename Export>
bool FeedAttempts(Store &store, const std::string &columns, Export &csv, std::string &error) {
  std::string failure;
  bool failed = false;
  const bool ok = store.db().query(
      "SELECT " + columns +
          " FROM unit u JOIN session s ON s.id = u.session_id JOIN station t ON t.id = s.station_id"
          " ORDER BY u.started, u.session_id, u.unit_index, u.attempt, u.uuid",
      {},
      [&](const Row &r) {
        failed = !csv.addAttempt(r, failure);
        return !failed;
      },
      error);
  if (!ok) return false;
  if (failed || !csv.flush(failure)) {
    error = failure;
    return false;
  }
  return true;
}

}  // namespace

bool ExportCsv(Store &store, std::ostream &out, const CsvOptions &options, std::string &error) {
  std::unique_ptr<Database> results = store.db().another(error);
  if (!results) return false;
  WideExport csv(std::move(results), options);
  if (!csv.ok()) {
    error = "no temporary file for the CSV's rows";
    return false;
  }
  return FeedAttempts(store,
                      "u.uuid, u.session_id, t.name, u.serial, u.unit_index, u.attempt, u.first_attempt, u.started,"
                      " u.seconds, u.verdict, u.id",
                      csv, error) &&
         csv.write(out, error);
}

bool ExportCsv(Store &store, std::ostream &out, std::string &error) { return ExportCsv(store, out, {}, error); }

bool ListUnits(Store &store, const std::string &serial, std::ostream &out, std::string &error) {
  std::size_t count = 0;
  std::string current;
  // Stored texts reach the terminal: never a control byte.
  const auto shown = [](const Value &v) { return vorn_host::TerminalText(Str(v)); };
  const bool ok = store.db().query(
      "SELECT u.uuid, u.started, t.name, u.unit_index, u.attempt, u.verdict, u.seconds,"
      " st.step_index, p.export, st.verdict, st.text, m.entry, r.value, m.low, m.high"
      " FROM unit u JOIN session s ON s.id = u.session_id JOIN station t ON t.id = s.station_id"
      " LEFT JOIN run_step st ON st.attempt_id = u.id AND st.verdict <> 'PASS'"
      " LEFT JOIN plan_step p ON p.id = st.plan_step_id"
      " LEFT JOIN run_result r ON r.attempt_id = st.attempt_id AND r.step_index = st.step_index AND r.passed = 0"
      " LEFT JOIN measurement m ON m.id = r.measurement_id"
      " WHERE u.serial = $1 ORDER BY u.started, u.attempt, u.uuid, st.step_index, m.entry",
      {serial},
      [&](const Row &r) {
        if (Str(r[0]) != current) {
          current = Str(r[0]);
          ++count;
          out << shown(r[1]) << "  " << shown(r[2]) << "  unit " << shown(r[3]) << "  attempt " << shown(r[4]) << "  "
              << shown(r[5]) << "  " << shown(r[6]) << " s  " << shown(r[0]) << "\n";
        }
        if (!r[7]) return true;
        out << "    step " << shown(r[7]) << " " << shown(r[8]) << " " << shown(r[9]);
        if (r[11]) {
          out << ": entry " << shown(r[11]) << " = " << (r[12] ? shown(r[12]) : "not written") << ", limit "
              << shown(r[13]) << ".." << shown(r[14]);
        } else if (!Str(r[10]).empty()) {
          out << ": " << shown(r[10]);
        }
        out << "\n";
        return true;
      },
      error);
  if (!ok) return false;
  if (count == 0) out << "no attempt of serial " << vorn_host::TerminalText(serial) << "\n";
  return true;
}

bool Summary(Store &store, const vorn_reports::LineFilter &filter, const std::string &command, std::ostream &out,
             std::string &error) {
  std::vector<vorn_reports::DayTally> days;
  vorn_host::Tally all;
  vorn_reports::Provenance provenance;
  if (!vorn_reports::ReadDailyTallies(store.db(), filter, days, error) ||
      !vorn_reports::ReadTally(store.db(), filter, all, error) ||
      !vorn_reports::ReadProvenance(store.db(), filter, provenance, error)) {
    return false;
  }
  // The counts as the tally prints them, a line per station and day.
  char line[160];
  std::snprintf(line, sizeof line, "%-20s %-10s  %s\n", "station", "day", "units first tested that day");
  out << line;
  for (const vorn_reports::DayTally &d : days) {
    std::snprintf(line, sizeof line, "%-20s %-10s  ", vorn_host::TerminalText(d.station).c_str(), d.day.c_str());
    out << line << d.tally.line() << "\n";
  }
  out << "all: " << all.line() << "\n";
  const std::string simulated = vorn_reports::SimulatedNote(provenance);
  if (!simulated.empty()) out << simulated << ".\n";
  for (const auto &[note, option] : vorn_reports::LeftOutNotes(provenance)) {
    out << note << "; " << vorn_host::TerminalText(command + " " + option) << " takes them in.\n";
  }
  return true;
}

bool Summary(Store &store, std::ostream &out, std::string &error) {
  return Summary(store, vorn_reports::LineFilter(), "vorn-results summary", out, error);
}

}  // namespace vorn_results

namespace vorn_results {

namespace {

// The long export: the attempts in order, each batch's results on a second
// connection, written as they come; each measurement's words looked up once.
class LongExport {
 public:
  LongExport(std::unique_ptr<Database> results, std::ostream &out, const CsvOptions &options)
      : results_(std::move(results)), out_(out), options_(options) {}

  void header() {
    out_ << "uuid,serial,attempt,station,socket,started,step,plan_line,entry,measurement,unit,value,low,high,passed\n";
  }
  // One attempt's own cells (its id last, not written); its batch is read once full.
  bool addAttempt(const Row &r, std::string &error) {
    std::string line;
    for (std::size_t i = 0; i < 6; ++i) line += CsvCell(Str(r[i]), options_.guardCells) + ",";
    ids_.push_back(r[6]);
    cells_.push_back(std::move(line));
    return ids_.size() < kExportBatch || flush(error);
  }
  bool flush(std::string &error) {
    if (ids_.empty()) return true;
    std::string sql =
        "SELECT r.attempt_id, m.id, m.export, m.plan_line, m.entry, m.name, m.unit, r.value, m.low, m.high, r.passed"
        " FROM run_result r JOIN measurement m ON m.id = r.measurement_id WHERE r.attempt_id IN (";
    for (std::size_t i = 1; i <= ids_.size(); ++i) sql += (i == 1 ? "$" : ", $") + std::to_string(i);
    sql += ") ORDER BY r.attempt_id, r.step_index, m.entry";
    std::map<std::string, std::string> rows;  // by attempt id: its result lines
    const bool ok = results_->query(
        sql, ids_,
        [&](const Row &r) {
          rows[Str(r[0])] += line(r);
          return true;
        },
        error);
    for (std::size_t i = 0; ok && i < ids_.size(); ++i) {
      std::istringstream lines(rows[Str(ids_[i])]);
      for (std::string l; std::getline(lines, l);) out_ << cells_[i] << l << "\n";
    }
    ids_.clear();
    cells_.clear();
    if (ok && !out_) error = "writing the CSV failed";
    return ok && static_cast<bool>(out_);
  }

 private:
  // A result's cells from its step on.
  std::string line(const Row &r) {
    const int64_t id = std::stoll(Str(r[1]));
    auto words = words_.find(id);
    if (words == words_.end())
      words = words_.emplace(id, MeasurementWords(Str(r[2]), std::stoi(Str(r[4])), r[5])).first;
    const bool guard = options_.guardCells;
    return CsvCell(Str(r[2]), guard) + "," + Str(r[3]) + "," + Str(r[4]) + "," + CsvCell(words->second.name, guard) +
           "," + CsvCell(words->second.unit, guard) + "," + Str(r[7]) + "," + Str(r[8]) + "," + Str(r[9]) + "," +
           (Str(r[10]) == "0" ? "0" : "1") + "\n";
  }

  std::unique_ptr<Database> results_;
  std::ostream &out_;
  CsvOptions options_;
  std::vector<Value> ids_;
  std::vector<std::string> cells_;
  std::unordered_map<int64_t, Words> words_;
};

}  // namespace

bool ExportLong(Store &store, std::ostream &out, const CsvOptions &options, std::string &error) {
  std::unique_ptr<Database> results = store.db().another(error);
  if (!results) return false;
  LongExport csv(std::move(results), out, options);
  csv.header();
  if (!FeedAttempts(store, "u.uuid, u.serial, u.attempt, t.name, u.socket, u.started, u.id", csv, error)) return false;
  out.flush();
  return true;
}

}  // namespace vorn_results
