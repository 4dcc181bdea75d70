#include "queries.h"

#include <cstdio>
#include <map>
#include <unordered_map>
#include <vector>

namespace vorn_results {

namespace {

std::string Str(const Value &v) { return v.value_or(""); }

const char *kUnitColumns[] = {"uuid", "session", "station", "serial", "unit", "attempt", "first_attempt",
                              "started", "seconds", "verdict"};
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

bool ExportCsv(Store &store, std::ostream &out, std::string &error) {
  // The columns are known only once every unit is read: the rows wait in
  // memory, a value per limited result (some 40 doubles a unit).
  struct Attempt {
    std::vector<std::string> fields;
    std::vector<std::pair<std::size_t, std::string>> values;  // column, value text
  };
  std::vector<Attempt> attempts;
  std::vector<std::string> columns;
  std::unordered_map<std::string, std::size_t> columnOf;
  std::string currentUuid;
  std::map<std::pair<int, std::string>, int> occurrence;  // step index, export: its occurrence
  std::unordered_map<std::string, int> seen;               // export: steps seen in this attempt
  const bool ok = store.db().query(
      "SELECT u.uuid, u.session_id, t.name, u.serial, u.unit_index, u.attempt, u.first_attempt, u.started,"
      " u.seconds, u.verdict, r.step_index, r.export, r.entry, r.value"
      " FROM unit u JOIN session s ON s.id = u.session_id JOIN station t ON t.id = s.station_id"
      " LEFT JOIN result r ON r.unit_uuid = u.uuid AND (r.low IS NOT NULL OR r.high IS NOT NULL)"
      " ORDER BY u.started, u.session_id, u.unit_index, u.attempt, u.uuid, r.step_index, r.entry",
      {},
      [&](const Row &r) {
        if (Str(r[0]) != currentUuid || attempts.empty()) {
          currentUuid = Str(r[0]);
          Attempt a;
          for (std::size_t i = 0; i < kUnitFields; ++i) a.fields.push_back(Str(r[i]));
          attempts.push_back(std::move(a));
          occurrence.clear();
          seen.clear();
        }
        if (!r[10]) return true;  // no limited result
        const int step = std::stoi(*r[10]);
        const std::string &exportName = *r[11];
        auto found = occurrence.find({step, exportName});
        if (found == occurrence.end()) found = occurrence.emplace(std::make_pair(step, exportName), ++seen[exportName]).first;
        std::string column = exportName;
        if (found->second > 1) column += "#" + std::to_string(found->second);
        column += "[" + Str(r[12]) + "]";
        auto at = columnOf.find(column);
        if (at == columnOf.end()) {
          at = columnOf.emplace(column, columns.size()).first;
          columns.push_back(column);
        }
        attempts.back().values.emplace_back(at->second, Str(r[13]));
        return true;
      },
      error);
  if (!ok) return false;
  std::string line;
  for (std::size_t i = 0; i < kUnitFields; ++i) line += (i == 0 ? "" : ",") + std::string(kUnitColumns[i]);
  for (const std::string &c : columns) line += "," + CsvField(c);
  out << line << "\n";
  std::vector<const std::string *> cells(columns.size());
  for (const Attempt &a : attempts) {
    line.clear();
    for (std::size_t i = 0; i < a.fields.size(); ++i) line += (i == 0 ? "" : ",") + CsvField(a.fields[i]);
    std::fill(cells.begin(), cells.end(), nullptr);
    for (const auto &v : a.values) cells[v.first] = &v.second;
    for (const std::string *cell : cells) {
      line += ',';
      if (cell != nullptr) line += *cell;
    }
    out << line << '\n';
  }
  out.flush();
  if (!out) {
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
          out << ": entry " << Str(r[11]) << " = " << (r[12] ? *r[12] : "not written") << ", limit "
              << Str(r[13]) << ".." << Str(r[14]);
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
  // that attempt's verdict, its final the verdict of its latest attempt.
  struct Phone {
    std::string day;
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
        if (added) {
          at->second.day = Str(r[2]).substr(0, 10);
          at->second.firstPassed = passed;
        }
        at->second.lastPassed = passed;
        return true;
      },
      error);
  if (!ok) return false;
  struct Day {
    std::size_t units = 0, firstPass = 0, finalPass = 0;
  };
  std::map<std::pair<std::string, std::string>, Day> days;  // station, day
  for (const auto &p : phones) {
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
