#include "core/session.h"

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>

#include "os/text.h"

namespace vorn_host {

namespace {

constexpr std::size_t kLongestSerial = 64;
constexpr int kNamedBadLines = 20;  // of a serials file; the rest are counted

std::string Percent(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%", value);
  return text;
}

std::string Fixed(double value, int decimals) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

}  // namespace

std::string SerialProblem(const std::string &serial) {
  if (serial.empty()) return "the serial is empty";
  if (serial.size() > kLongestSerial) {
    return "serial \"" + Excerpt(serial) + "\" is longer than " + std::to_string(kLongestSerial) + " characters";
  }
  for (const char c : serial) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F) {
      return "serial \"" + Excerpt(serial) + "\" holds a blank or a character that is not printable ASCII";
    }
  }
  return {};
}

bool GeneratedUnits::next(std::string &serial) {
  if (made_ >= count_) return false;
  char text[32];
  std::snprintf(text, sizeof text, "SIM-%06d", ++made_);
  serial = text;
  return true;
}

SerialList::SerialList(const std::string &path, std::vector<std::string> &problems) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    problems.push_back(path + ": cannot read the serials file");
    return;
  }
  std::string line;
  int bad = 0;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const std::string problem = SerialProblem(line);
    if (problem.empty()) {
      serials_.push_back(line);
    } else if (++bad <= kNamedBadLines) {
      problems.push_back(path + ":" + std::to_string(number) + ": " + problem);
    }
  }
  if (bad > kNamedBadLines) {
    problems.push_back(path + ": " + std::to_string(bad - kNamedBadLines) + " more lines hold no serial");
  }
  if (serials_.empty() && problems.empty()) problems.push_back(path + ": the serials file names no unit");
}

bool SerialList::next(std::string &serial) {
  if (next_ >= serials_.size()) return false;
  serial = serials_[next_++];
  return true;
}

bool PromptedUnits::next(std::string &serial) {
  ++asked_;
  for (;;) {
    if (StopRequests() > 0) return false;
    const std::string question = "Serial of unit " + std::to_string(asked_) + " (empty line ends the session): ";
    if (!equipment_.askOperator(question, serial) || serial.empty()) return false;
    const std::string problem = SerialProblem(serial);
    if (problem.empty()) return true;
    std::fprintf(messages_, "vorn-host: %s; scan or type it again\n", problem.c_str());
  }
}

void SessionTally::add(const UnitRecord &attempt) {
  if (attempt.firstAttempt()) {
    finish();
    ++units;
    open_ = true;
    if (attempt.run.verdict == Verdict::kPass) ++firstPass;
  }
  ++attempts;
  seconds += attempt.run.seconds;
  current_ = attempt.run.verdict;
}

void SessionTally::finish() {
  if (!open_) return;
  open_ = false;
  switch (current_) {
    case Verdict::kPass: ++pass; break;
    case Verdict::kFail: ++fail; break;
    case Verdict::kError: ++error; break;
    case Verdict::kNotRun: ++stopped; break;
  }
}

double SessionTally::firstPassYield() const {
  const int counted = units - stopped;
  return counted <= 0 ? 0.0 : 100.0 * firstPass / counted;
}

double SessionTally::meanUnitSeconds() const { return units == 0 ? 0.0 : seconds / units; }

std::string TallyLine(const SessionTally &t, double elapsedSeconds) {
  std::string line = std::to_string(t.units) + (t.units == 1 ? " unit: " : " units: ") + std::to_string(t.pass) +
                     " PASS, " + std::to_string(t.fail) + " FAIL, " + std::to_string(t.error) + " ERROR";
  if (t.stopped > 0) line += ", " + std::to_string(t.stopped) + " stopped";
  line += "; first-pass yield " + Percent(t.firstPassYield()) + "; mean unit time " + Fixed(t.meanUnitSeconds(), 2) +
          " s; ";
  line += elapsedSeconds > 0.0 ? Fixed(t.units * 3600.0 / elapsedSeconds, 0) + " units/h" : "- units/h";
  return line;
}

SessionResult RunSession(const Plan &plan, const std::vector<StepFunction> &functions, SessionInfo &info,
                         UnitSource &units, const std::vector<RecordSink *> &sinks, const SessionOptions &options,
                         Progress *progress, std::FILE *messages) {
  SessionResult result;
  auto stops = [&options] { return options.run.stopRequests ? options.run.stopRequests() : 0; };
  auto tell = [&](bool delivered, const std::string &error) {
    if (delivered) return;
    result.recordFailed = true;
    if (messages != nullptr) std::fprintf(messages, "vorn-host: %s\n", error.c_str());
  };
  std::string error;
  for (RecordSink *sink : sinks) tell(sink->sessionStarted(info, error), error);
  const auto start = std::chrono::steady_clock::now();
  std::string serial;
  int index = 0;
  while (!result.recordFailed && stops() == 0 && units.next(serial)) {
    ++index;
    Verdict verdict = Verdict::kNotRun;
    for (int attempt = 1; attempt <= 1 + options.retest; ++attempt) {
      // Each attempt finds the phone as it comes out of the box: the
      // operator puts it in again for a retest.
      if (options.run.equipment != nullptr) options.run.equipment->newUnit(serial);
      UnitRecord record;
      record.uuid = NewUuid();
      record.serial = serial;
      record.unit = index;
      record.attempt = attempt;
      record.run = RunPlan(plan, functions, options.run, progress);
      for (RecordSink *sink : sinks) tell(sink->attemptFinished(info, record, error), error);
      result.tally.add(record);
      verdict = record.run.verdict;
      if (record.run.verdict == Verdict::kPass || record.run.stopped || stops() > 0 || result.recordFailed) break;
    }
    if (messages != nullptr) {
      SessionTally sofar = result.tally;
      sofar.finish();
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::fprintf(messages, "vorn-host: unit %d %s: %s; %s\n", index, serial.c_str(), VerdictText(verdict),
                   TallyLine(sofar, elapsed).c_str());
    }
  }
  result.tally.finish();
  result.stopped = stops() > 0;
  info.ended = UtcNow();
  for (RecordSink *sink : sinks) tell(sink->sessionEnded(info, error), error);
  return result;
}

std::string NewUuid() {
  // Every bit from the system's entropy: a generator seeded once with 32 bits
  // would repeat UUIDs over enough sessions, and a repeated UUID is a unit a
  // results server drops as already stored.
  std::random_device source;
  unsigned char bytes[16];
  for (std::size_t i = 0; i < sizeof bytes; i += 4) {
    const uint32_t r = source();
    for (std::size_t k = 0; k < 4; ++k) bytes[i + k] = static_cast<unsigned char>(r >> (8 * k));
  }
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // the RFC 4122 variant
  std::string out;
  for (std::size_t i = 0; i < sizeof bytes; ++i) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
    if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
    out += hex;
  }
  return out;
}

std::string JsonLine(const RunSetting &setting, const SessionInfo &session, const UnitRecord &unit) {
  std::ostringstream record;
  WriteJson(record, setting, unit.run);
  // The record's line ends and the indentation after them are layout only:
  // a line end inside a text is written escaped.
  const std::string text = record.str();
  std::string line = "{\"session\": " + JsonString(session.id) + ", \"uuid\": " + JsonString(unit.uuid) +
                     ", \"serial\": " + JsonString(unit.serial) + ", \"unit\": " + std::to_string(unit.unit) +
                     ", \"attempt\": " + std::to_string(unit.attempt) + ", ";
  std::size_t i = text.find('{') + 1;
  while (i < text.size()) {
    if (text[i] == '\n') {
      while (++i < text.size() && text[i] == ' ') {
      }
      continue;
    }
    line += text[i++];
  }
  return line + "\n";
}

bool JsonLinesSink::attemptFinished(const SessionInfo &session, const UnitRecord &unit, std::string &error) {
  if (log_.append(JsonLine(setting_, session, unit), error)) return true;
  error = "writing the JSON line of unit " + std::to_string(unit.unit) + " failed: " + error;
  return false;
}

bool SessionTable::attemptFinished(const SessionInfo &, const UnitRecord &unit, std::string &) {
  tally_.add(unit);
  stopped_ = stopped_ || unit.run.stopped;
  if (unit.run.verdict == Verdict::kPass) return true;
  if (notPassed_.size() >= kListed) {
    ++notListed_;
    return true;
  }
  std::string what = unit.run.stopped && unit.run.verdict == Verdict::kNotRun ? "stopped" : "";
  for (const StepRecord &step : unit.run.steps) {
    if (step.verdict != Verdict::kFail && step.verdict != Verdict::kError) continue;
    const std::string finding = step.verdict == Verdict::kError ? step.text : step.misses.front();
    what = "step " + std::to_string(step.step.number) + " " + step.step.shortName() + ": " + finding;
    break;  // the first finding; the record holds them all
  }
  char head[160];
  std::snprintf(head, sizeof head, "%5d  %-20s %7d  %-8s ", unit.unit, unit.serial.c_str(), unit.attempt,
                VerdictText(unit.run.verdict));
  notPassed_.push_back(head + what);
  return true;
}

bool SessionTable::sessionStarted(const SessionInfo &, std::string &) {
  start_ = std::chrono::steady_clock::now();
  return true;
}

bool SessionTable::sessionEnded(const SessionInfo &session, std::string &error) {
  tally_.finish();
  stopped_ = stopped_ || StopRequests() > 0;
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  out_ << "Vorn_CMU200 " << setting_.version << " on " << (setting_.simulated ? "the simulated station " : "station ")
       << setting_.station << (setting_.virtualClock ? ", virtual clock" : ", real time") << "\n";
  out_ << "session " << session.id << ", plan " << setting_.plan << ", parameters " << setting_.parameters << "\n";
  out_ << "started " << session.started << ", ended " << session.ended << "\n";
  if (!setting_.scenarios.empty()) {
    out_ << "scenarios";
    for (const std::string &s : setting_.scenarios) out_ << " " << s;
    out_ << "\n";
  }
  out_ << "\n";
  if (!notPassed_.empty()) {
    out_ << " Unit  Serial               Attempt  Verdict  First finding\n";
    for (const std::string &line : notPassed_) out_ << line << "\n";
    if (notListed_ > 0) out_ << "  ... and " << notListed_ << " more attempts that did not pass (in the records)\n";
    out_ << "\n";
  }
  out_ << "Session: " << TallyLine(tally_, elapsed) << "; " << tally_.attempts
       << (tally_.attempts == 1 ? " attempt" : " attempts") << (stopped_ ? "; stopped by the operator" : "") << "\n";
  out_.flush();
  if (!out_) {
    error = "writing the session table failed";
    return false;
  }
  return true;
}

}  // namespace vorn_host
