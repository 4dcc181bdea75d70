#include "tools/results/queries.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <unordered_map>
#include <vector>

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

std::string Percent(std::size_t part, std::size_t whole) {
  char text[16];
  std::snprintf(text, sizeof text, "%.1f %%", whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / whole);
  return text;
}

}  // namespace

std::string CsvField(const std::string &text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
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
  std::string sql = "SELECT unit_uuid, step_index, export, entry, value FROM result WHERE unit_uuid IN (";
  for (std::size_t i = 1; i <= kExportBatch; ++i) sql += (i == 1 ? "$" : ", $") + std::to_string(i);
  return sql + ") AND (low IS NOT NULL OR high IS NOT NULL) ORDER BY unit_uuid, step_index, entry";
}

}  // namespace

bool ExportCsv(Store &store, std::ostream &out, std::string &error) {
  // The attempts in their order, through the unit_started index, and each
  // batch's limited results through the result key (a second connection:
  // the first is still handing over the attempts). Nothing sorts all the
  // results, and memory holds one batch.
  std::unique_ptr<Database> results = store.db().another(error);
  if (!results) return false;
  RowFile rows;
  if (!rows.ok()) {
    error = "no temporary file for the CSV's rows";
    return false;
  }
  std::vector<std::string> columns;
  std::unordered_map<std::string, std::size_t> columnOf;
  std::vector<std::string> batch;  // each attempt's unit fields, its row so far
  std::vector<Value> uuids;
  std::unordered_map<std::string, std::size_t> slotOf;
  const std::string resultsSql = ResultsOfBatch();
  std::vector<const std::string *> cells;

  auto flush = [&](std::string &e) {
    if (batch.empty()) return true;
    std::vector<Value> params = uuids;
    params.resize(kExportBatch, std::string());  // no unit has an empty UUID
    // Each attempt's limited results, step by step: a column per export,
    // its occurrence among the attempt's steps, and entry. An attempt's rows
    // come together and in the order of its steps, so the attempt and the
    // step's column prefix ("Export#2[") are kept from the row before.
    std::vector<std::vector<std::pair<std::size_t, std::string>>> valuesOf(batch.size());
    const std::string *attempt = nullptr;
    std::size_t slot = 0;
    std::unordered_map<std::string, int> seen;  // the attempt's steps so far, by export
    std::string step;
    std::string prefix;
    std::string column;
    const bool ok = results->query(
        resultsSql, params,
        [&](const Row &r) {
          if (attempt == nullptr || *attempt != TextOf(r[0])) {
            const auto found = slotOf.find(TextOf(r[0]));
            if (found == slotOf.end()) return true;  // not asked for
            slot = found->second;
            attempt = &found->first;
            seen.clear();
            step.clear();
          }
          if (TextOf(r[1]) != step) {
            step = TextOf(r[1]);
            const std::string &exportName = TextOf(r[2]);
            const int occurrence = ++seen[exportName];
            prefix = exportName;
            if (occurrence > 1) prefix += "#" + std::to_string(occurrence);
            prefix += '[';
          }
          column.assign(prefix).append(TextOf(r[3])).append(1, ']');
          auto at = columnOf.find(column);
          if (at == columnOf.end()) {
            at = columnOf.emplace(column, columns.size()).first;
            columns.push_back(column);
          }
          valuesOf[slot].emplace_back(at->second, TextOf(r[4]));
          return true;
        },
        e);
    if (!ok) return false;
    for (std::size_t i = 0; i < batch.size(); ++i) {
      std::string &line = batch[i];
      cells.assign(columns.size(), nullptr);
      for (const auto &v : valuesOf[i]) cells[v.first] = &v.second;
      for (const std::string *cell : cells) {
        line += ',';
        if (cell != nullptr) line += *cell;
      }
      rows.add(line, columns.size());
    }
    batch.clear();
    uuids.clear();
    slotOf.clear();
    return rows.ok();
  };

  std::string failure;
  bool failed = false;
  const bool ok = store.db().query(
      "SELECT u.uuid, u.session_id, t.name, u.serial, u.unit_index, u.attempt, u.first_attempt, u.started,"
      " u.seconds, u.verdict"
      " FROM unit u JOIN session s ON s.id = u.session_id JOIN station t ON t.id = s.station_id"
      " ORDER BY u.started, u.session_id, u.unit_index, u.attempt, u.uuid",
      {},
      [&](const Row &r) {
        std::string line;
        for (std::size_t i = 0; i < kUnitFields; ++i) line += (i == 0 ? "" : ",") + CsvField(Str(r[i]));
        slotOf.emplace(Str(r[0]), batch.size());
        uuids.push_back(r[0]);
        batch.push_back(std::move(line));
        if (batch.size() < kExportBatch || flush(failure)) return true;
        failed = true;
        return false;
      },
      error);
  if (!ok) return false;
  if (failed || !flush(failure)) {
    error = failure.empty() ? "writing the CSV's rows to a temporary file failed" : failure;
    return false;
  }
  std::string header;
  for (std::size_t i = 0; i < kUnitFields; ++i) header += (i == 0 ? "" : ",") + std::string(kUnitColumns[i]);
  for (const std::string &c : columns) header += "," + CsvField(c);
  out << header << "\n";
  if (!rows.copy(out, columns.size()) || !out.flush()) {
    error = "writing the CSV failed";
    return false;
  }
  return true;
}

bool ListUnits(Store &store, const std::string &serial, std::ostream &out, std::string &error) {
  std::size_t count = 0;
  std::string current;
  const bool ok = store.db().query(
      "SELECT u.uuid, u.started, t.name, u.unit_index, u.attempt, u.verdict, u.seconds,"
      " st.step_index, st.export, st.verdict, st.text, r.entry, r.value, r.low, r.high"
      " FROM unit u JOIN session s ON s.id = u.session_id JOIN station t ON t.id = s.station_id"
      " LEFT JOIN step st ON st.unit_uuid = u.uuid AND st.verdict <> 'PASS'"
      " LEFT JOIN result r ON r.unit_uuid = st.unit_uuid AND r.step_index = st.step_index AND r.passed = 0"
      " WHERE u.serial = $1 ORDER BY u.started, u.attempt, u.uuid, st.step_index, r.entry",
      {serial},
      [&](const Row &r) {
        if (Str(r[0]) != current) {
          current = Str(r[0]);
          ++count;
          out << Str(r[1]) << "  " << Str(r[2]) << "  unit " << Str(r[3]) << "  attempt " << Str(r[4]) << "  "
              << Str(r[5]) << "  " << Str(r[6]) << " s  " << current << "\n";
        }
        if (!r[7]) return true;
        out << "    step " << Str(r[7]) << " " << Str(r[8]) << " " << Str(r[9]);
        if (r[11]) {
          out << ": entry " << Str(r[11]) << " = " << (r[12] ? *r[12] : "not written") << ", limit " << Str(r[13])
              << ".." << Str(r[14]);
        } else if (!Str(r[10]).empty()) {
          out << ": " << Str(r[10]);
        }
        out << "\n";
        return true;
      },
      error);
  if (!ok) return false;
  if (count == 0) out << "no attempt of serial " << serial << "\n";
  return true;
}

bool Summary(Store &store, std::ostream &out, std::string &error) {
  // A phone is its serial; a unit without one is its place in its session.
  // Its day is the day of its first attempt at the station; its first pass is
  // the verdict of its first attempt with one, its final the verdict of its
  // latest. An attempt stopped before its verdict does not count, and a
  // phone none of whose attempts has a verdict is no unit (core/tally.h).
  struct Phone {
    std::string day;
    bool judged = false;
    bool firstPassed = false;
    bool lastPassed = false;
  };
  std::map<std::pair<std::string, std::string>, Phone> phones;  // station, phone
  const bool ok = store.db().query(
      "SELECT t.name, CASE WHEN u.serial <> '' THEN u.serial ELSE u.session_id || '/' || u.unit_index END,"
      " u.started, u.verdict"
      " FROM unit u JOIN session s ON s.id = u.session_id JOIN station t ON t.id = s.station_id"
      " ORDER BY u.started, u.attempt",
      {},
      [&](const Row &r) {
        const bool passed = Str(r[3]) == "PASS";
        auto [at, added] = phones.try_emplace({Str(r[0]), Str(r[1])});
        Phone &phone = at->second;
        if (added) phone.day = Str(r[2]).substr(0, 10);
        if (Str(r[3]) == "NOT RUN") return true;
        if (!phone.judged) phone.firstPassed = passed;
        phone.judged = true;
        phone.lastPassed = passed;
        return true;
      },
      error);
  if (!ok) return false;
  struct Day {
    std::size_t units = 0, firstPass = 0, finalPass = 0;
  };
  std::map<std::pair<std::string, std::string>, Day> days;  // station, day
  for (const auto &p : phones) {
    if (!p.second.judged) continue;
    Day &d = days[{p.first.first, p.second.day}];
    ++d.units;
    d.firstPass += p.second.firstPassed ? 1 : 0;
    d.finalPass += p.second.lastPassed ? 1 : 0;
  }
  char line[256];
  std::snprintf(line, sizeof line, "%-20s %-10s %7s %16s %11s\n", "station", "day", "units", "first-pass yield",
                "final yield");
  out << line;
  for (const auto &d : days) {
    std::snprintf(line, sizeof line, "%-20s %-10s %7zu %16s %11s\n", d.first.first.c_str(), d.first.second.c_str(),
                  d.second.units, Percent(d.second.firstPass, d.second.units).c_str(),
                  Percent(d.second.finalPass, d.second.units).c_str());
    out << line;
  }
  return true;
}

}  // namespace vorn_results
