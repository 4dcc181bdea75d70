#include "core/catalogue.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

#include "failure_table.h"
#include "plots/plots.h"

namespace vorn_host {

namespace {

using vorn_plots::Number;
using vorn_plots::SpectrumKind;

// ---- the tables -------------------------------------------------------------

struct BandRow {
  const char *label;  // as the library writes it in a result name
  const char *words;
};
constexpr BandRow kBands[] = {
    {"GSM850", "GSM 850"},
    {"EGSM", "E-GSM 900"},
    {"DCS", "DCS 1800"},
    {"PCS", "PCS 1900"},
};

// How a step bears on the call's setting.
enum class Bearing {
  kNone,     // it has nothing to do with the call
  kNames,    // entry 1's name is the setting it measured in
  kTakes,    // it measured in the setting in force
  kChanges,  // it moves the call; the setting after it is the one it names, or none
};

// How a step bears on the power control level the result names carry.
enum class Level {
  kKeeps,
  kSets,     // on success: the named level is the phone's
  kForgets,  // the phone is at the cell's own level, not the named one
};

struct StepRow {
  const char *step;
  Bearing bearing;
  Level level;
};
constexpr StepRow kStepBearings[] = {
    {"OBTPowervsTime", Bearing::kNames, Level::kKeeps},      {"OBTRXLevelandQuality", Bearing::kNames, Level::kKeeps},
    {"OBTOutputRFSpectrum", Bearing::kTakes, Level::kKeeps}, {"OBTInit", Bearing::kChanges, Level::kForgets},
    {"OBTHandOver", Bearing::kChanges, Level::kKeeps},       {"OBTChangeTCH", Bearing::kChanges, Level::kKeeps},
    {"OBTChangeTXLevel", Bearing::kChanges, Level::kSets},   {"OBTEndCall", Bearing::kChanges, Level::kKeeps},
};

using Kind = MeasurementKind;

struct EntryRow {
  const char *step;
  int entry;
  const char *name;
  const char *unit;
  Kind kind;
  int decimals;
  const char *note;
};
// Every entry a step writes, but the spectrum's, whose entries are named by
// their offsets (below).
constexpr EntryRow kEntries[] = {
    {"DcInit", 1, "supply on done", "", Kind::kFlag, 0, ""},
    {"MobInit", 1, "phone link done", "", Kind::kFlag, 0, ""},
    {"MakeCall", 1, "call started", "", Kind::kFlag, 0, ""},
    {"MobReset", 1, "phone reset done", "", Kind::kFlag, 0, ""},
    {"MobClose", 1, "link close result", "", Kind::kCode, 0, "1 = closed"},
    {"OBTInit", 1, "tester initialisation done", "", Kind::kFlag, 0, ""},
    {"OBTHandOver", 1, "band handover done", "", Kind::kFlag, 0, ""},
    {"OBTChangeTCH", 1, "traffic channel change done", "", Kind::kFlag, 0, ""},
    {"OBTChangeTXLevel", 1, "power level change done", "", Kind::kFlag, 0, ""},
    {"OBTEndCall", 1, "call end done", "", Kind::kFlag, 0, ""},
    {"OBTPowervsTime", 1, "burst power", "dBm", Kind::kValue, 1, ""},
    {"OBTPowervsTime", 2, "useful part power", "dBm", Kind::kValue, 1, ""},
    {"OBTPowervsTime", 3, "peak power", "dBm", Kind::kValue, 1, ""},
    {"OBTPowervsTime", 4, "burst timing error", "bits", Kind::kValue, 2, ""},
    {"OBTPowervsTime", 5, "burst inside the template", "", Kind::kFlag, 0, ""},
    {"OBTRXLevelandQuality", 1, "RXLEV", "", Kind::kValue, 0, ""},
    {"OBTRXLevelandQuality", 2, "RXQUAL", "", Kind::kValue, 0, ""},
};

// The spectrum's entries, by the kind their name gives: modulation relative
// to the carrier, switching absolute.
struct SpectrumRow {
  SpectrumKind kind;
  const char *family;
  const char *unit;
};
constexpr SpectrumRow kSpectra[] = {
    {SpectrumKind::kModulation, "spectrum due to modulation", "dB"},
    {SpectrumKind::kSwitching, "spectrum due to switching", "dBm"},
};
constexpr int kSpectrumDecimals = 1;

// The most decimals a value is ever shown with.
constexpr int kMostDecimals = 6;

std::string_view ShortName(std::string_view step) {
  const std::string_view prefix = kExportPrefix;
  if (step.substr(0, prefix.size()) == prefix) step.remove_prefix(prefix.size());
  return step;
}

StepRow BearingOf(std::string_view step) {
  for (const StepRow &row : kStepBearings) {
    if (ShortName(step) == row.step) return row;
  }
  return {"", Bearing::kNone, Level::kKeeps};
}

std::string Capitalised(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
  return text;
}

// A whole number of a setting's text: digits with an optional sign.
std::optional<int> WholeNumber(const std::string &text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  std::size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size() || text.find_first_not_of("0123456789", i) != std::string::npos) return std::nullopt;
  return static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
}

std::string OffsetText(double khz) { return (khz > 0 ? "+" : "") + Number(khz, 1) + " kHz"; }

}  // namespace

// ---- the setting ------------------------------------------------------------

std::string Setting::text() const {
  return band + " ch " + std::to_string(channel) + (pcl ? " PCL " + std::to_string(*pcl) : "");
}

std::string BandText(std::string_view label) {
  for (const BandRow &row : kBands) {
    if (label == row.label) return row.words;
  }
  return std::string(label);
}

std::optional<Setting> SettingOf(std::string_view name) {
  std::map<std::string, std::string> fields;
  while (!name.empty()) {
    const std::size_t end = std::min(name.find(';'), name.size());
    const std::string_view part = name.substr(0, end);
    const std::size_t eq = part.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    fields[std::string(part.substr(0, eq))] = std::string(part.substr(eq + 1));
    name.remove_prefix(std::min(end + 1, name.size()));
  }
  if (fields.size() != 3 || fields["Band"].empty()) return std::nullopt;
  const std::optional<int> channel = WholeNumber(fields["Chan"]);
  const std::optional<int> pcl = WholeNumber(fields["TXLevel"]);
  if (!channel || !pcl) return std::nullopt;
  return Setting{BandText(fields["Band"]), *channel, *pcl};
}

std::optional<Setting> SettingTrail::next(std::string_view step, Verdict verdict,
                                          const std::optional<std::string> &firstName) {
  const StepRow row = BearingOf(step);
  if (verdict == Verdict::kNotRun) return std::nullopt;
  const bool succeeded = verdict != Verdict::kError;  // it returned 0
  if (row.level == Level::kForgets) levelSet_ = false;
  if (row.level == Level::kSets && succeeded) levelSet_ = true;
  if (row.bearing == Bearing::kNone) return std::nullopt;
  std::optional<Setting> named = firstName ? SettingOf(*firstName) : std::nullopt;
  if (named) {
    if (!levelSet_) named->pcl.reset();
    inForce_ = named;
    return named;
  }
  if (row.bearing == Bearing::kTakes) return inForce_;
  if (row.bearing == Bearing::kChanges) inForce_.reset();
  return std::nullopt;
}

std::optional<Setting> SettingTrail::next(const StepRecord &step) {
  std::optional<std::string> firstName;
  for (const EntryResult &e : step.entries) {
    if (e.entry == 1) firstName = e.name;
  }
  return next(step.step.exportName, step.verdict, firstName);
}

std::vector<std::optional<Setting>> Settings(const RunRecord &run) {
  SettingTrail trail;
  std::vector<std::optional<Setting>> settings;
  for (const StepRecord &step : run.steps) settings.push_back(trail.next(step));
  return settings;
}

// ---- the measurements -------------------------------------------------------

std::optional<Measurement> MeasurementOf(std::string_view step, int entry, const std::optional<std::string> &name) {
  step = ShortName(step);
  if (step == "OBTOutputRFSpectrum") {
    const std::optional<vorn_plots::SpectrumName> parsed = name ? vorn_plots::ParseSpectrumName(*name) : std::nullopt;
    if (!parsed) return std::nullopt;
    for (const SpectrumRow &row : kSpectra) {
      if (row.kind != parsed->kind) continue;
      Measurement m;
      m.family = row.family;
      m.name = m.family + " at " + OffsetText(parsed->offsetKhz);
      m.unit = row.unit;
      m.kind = Kind::kSpectrum;
      m.decimals = kSpectrumDecimals;
      m.offsetKhz = parsed->offsetKhz;
      return m;
    }
    return std::nullopt;
  }
  for (const EntryRow &row : kEntries) {
    if (step != row.step || entry != row.entry) continue;
    Measurement m;
    m.name = row.name;
    m.unit = row.unit;
    m.kind = row.kind;
    m.decimals = row.decimals;
    m.note = row.note;
    return m;
  }
  return std::nullopt;
}

std::string StepTitle(std::string_view step) {
  for (const failure_table::Step &row : failure_table::kSteps) {
    if (ShortName(row.exportName) == ShortName(step)) return row.title;
  }
  return std::string(ShortName(step));
}

std::string MeasurementLabel(const Measurement &measurement, const std::optional<Setting> &setting) {
  return Capitalised(measurement.name) + (setting ? ", " + setting->text() : "");
}

namespace {

double Rounded(double value, int decimals) {
  const double scale = std::pow(10.0, decimals);
  return std::round(value * scale) / scale;
}

// A number to the measurement's decimals, or more when it lies outside its
// limit and fewer would show it on the limit or inside.
std::string Amount(double value, int decimals, const std::optional<Limit> &limit) {
  if (limit && !limit->accepts(value)) {
    while (decimals < kMostDecimals && limit->accepts(Rounded(value, decimals))) ++decimals;
  }
  return Number(value, decimals);
}

std::string WithUnit(std::string text, const Measurement *m) {
  return m == nullptr || m->unit.empty() ? text : text + " " + m->unit;
}

bool IsFlag(const Measurement *m) { return m != nullptr && m->kind == Kind::kFlag; }

std::string FlagWords(double value) { return value == 1.0 ? "yes" : value == 0.0 ? "no" : Number(value, 6); }

std::string Bound(const Measurement *m, double bound) { return IsFlag(m) ? FlagWords(bound) : Number(bound, 6); }

}  // namespace

std::string ValueWords(const Measurement *m, const std::optional<double> &value, const std::optional<Limit> &limit) {
  if (!value) return "not written";
  if (std::isnan(*value)) return "not a number";
  if (std::isinf(*value)) return *value > 0 ? "infinite" : "minus infinite";
  if (IsFlag(m)) return FlagWords(*value);
  return WithUnit(Amount(*value, m == nullptr ? kMostDecimals : m->decimals, limit), m);
}

std::string LimitWords(const Measurement *m, const Limit &limit) {
  if (limit.low && limit.high && *limit.low == *limit.high) return WithUnit(Bound(m, *limit.low), m);
  if (limit.low && limit.high) return WithUnit(Bound(m, *limit.low) + " to " + Bound(m, *limit.high), m);
  if (limit.high) return WithUnit("at most " + Bound(m, *limit.high), m);
  if (limit.low) return WithUnit("at least " + Bound(m, *limit.low), m);
  return "none";
}

namespace {

// ", limit 6 to 14 dBm", ", expected yes", with a code's note.
std::string LimitPart(const Measurement *m, const Limit &limit) {
  std::string text = (IsFlag(m) ? ", expected " : ", limit ") + LimitWords(m, limit);
  if (m != nullptr && !m->note.empty()) text += " (" + m->note + ")";
  return text;
}

}  // namespace

ResultWords DescribeResult(std::string_view step, int entry, const std::optional<std::string> &name,
                           const std::optional<double> &value, const std::optional<Limit> &limit,
                           const std::optional<Setting> &setting) {
  ResultWords words;
  const std::optional<Measurement> m = MeasurementOf(step, entry, name);
  words.named = m.has_value();
  if (m) {
    words.label = MeasurementLabel(*m, setting);
    words.unit = m->unit;
  } else {
    words.label = StepTitle(step) + " entry " + std::to_string(entry);
  }
  const Measurement *known = m ? &*m : nullptr;
  words.line = words.label + ": " + ValueWords(known, value, limit);
  if (limit) words.line += LimitPart(known, *limit);
  return words;
}

// ---- failures ---------------------------------------------------------------

namespace {

constexpr std::string_view kStatusMark = "STATUS";
constexpr std::string_view kLastErrorMark = "LASTERROR";

// Where text[at...] matches a form's prefix (STATUS: a whole number in
// decimal), the place after it; none when it does not.
std::optional<std::size_t> AfterPrefix(std::string_view prefix, std::string_view text) {
  const std::size_t status = prefix.find(kStatusMark);
  if (status == std::string_view::npos) {
    return text.substr(0, prefix.size()) == prefix ? std::optional<std::size_t>(prefix.size()) : std::nullopt;
  }
  const std::string_view before = prefix.substr(0, status), after = prefix.substr(status + kStatusMark.size());
  if (text.substr(0, before.size()) != before) return std::nullopt;
  std::size_t at = before.size();
  if (at < text.size() && text[at] == '-') ++at;
  const std::size_t digits = at;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
  if (at == digits || text.substr(at, after.size()) != after) return std::nullopt;
  return at + after.size();
}

// Whether the rest of a text is a form's suffix (LASTERROR: anything).
bool IsSuffix(std::string_view suffix, std::string_view rest) {
  const std::size_t last = suffix.find(kLastErrorMark);
  if (last == std::string_view::npos) return rest == suffix;
  return rest.substr(0, last) == suffix.substr(0, last);
}

bool LabelMatches(const failure_table::Row &row, std::string_view text) {
  const std::string_view label = row.label;
  if (row.whole) return text.substr(0, label.size()) == label;
  for (const failure_table::Form &form : failure_table::kForms) {
    const std::optional<std::size_t> at = AfterPrefix(form.prefix, text);
    if (!at || text.substr(*at, label.size()) != label) continue;
    if (IsSuffix(form.suffix, text.substr(*at + label.size()))) return true;
  }
  return false;
}

}  // namespace

std::optional<FailureAdvice> AdviceFor(std::string_view step, std::string_view text) {
  const failure_table::Row *best = nullptr;
  for (const failure_table::Row &row : failure_table::kRows) {
    if (ShortName(row.exportName) != ShortName(step) || !LabelMatches(row, text)) continue;
    if (best == nullptr || std::string_view(row.label).size() > std::string_view(best->label).size()) best = &row;
  }
  if (best == nullptr) return std::nullopt;
  return FailureAdvice{best->label, best->meaning, best->check};
}

namespace {

// One entry that failed, or one step in ERROR, with where it stood.
struct Member {
  const StepRecord *step = nullptr;
  const EntryResult *entry = nullptr;  // null for an ERROR
  std::optional<Setting> setting;
  std::optional<Measurement> measurement;
};

// Failures told in one line: the same measurement and limit, the same
// failure text of a step, or one kind of spectrum on one plan line.
struct Group {
  enum class Kind { kError, kMiss, kSpectrum } kind = Kind::kMiss;
  std::string key;
  std::vector<Member> members;
};

std::string LimitKey(const Limit &limit) {
  return (limit.low ? Number(*limit.low, kMostDecimals) : "") + ".." +
         (limit.high ? Number(*limit.high, kMostDecimals) : "");
}

void Gather(std::vector<Group> &groups, Group::Kind kind, const std::string &key, Member member) {
  for (Group &g : groups) {
    if (g.kind == kind && g.key == key) {
      g.members.push_back(std::move(member));
      return;
    }
  }
  groups.push_back({kind, key, {std::move(member)}});
}

std::vector<Group> Grouped(const RunRecord &run) {
  const std::vector<std::optional<Setting>> settings = Settings(run);
  std::vector<Group> groups;
  for (std::size_t i = 0; i < run.steps.size(); ++i) {
    const StepRecord &s = run.steps[i];
    const std::string step(ShortName(s.step.exportName));
    if (s.verdict == Verdict::kError) {
      Gather(groups, Group::Kind::kError, step + "\n" + s.text, {&s, nullptr, settings[i], std::nullopt});
      continue;
    }
    for (const EntryResult &e : s.entries) {
      if (e.passed || !e.limit) continue;
      Member m{&s, &e, settings[i], MeasurementOf(step, e.entry, e.name)};
      if (m.measurement && m.measurement->kind == MeasurementKind::kSpectrum) {
        const std::string key = std::to_string(i) + "\n" + m.measurement->family;
        Gather(groups, Group::Kind::kSpectrum, key, std::move(m));
      } else {
        const std::string what = m.measurement ? m.measurement->name : "entry " + std::to_string(e.entry);
        Gather(groups, Group::Kind::kMiss, step + "\n" + what + "\n" + LimitKey(*e.limit), std::move(m));
      }
    }
  }
  return groups;
}

// "E-GSM 900 ch 20 PCL 5", or the plan line where no setting is known.
std::string Where(const Member &m) {
  return m.setting ? m.setting->text() : "plan line " + std::to_string(m.step->step.line);
}

// "on 3 plan lines (E-GSM 900 ch 20 PCL 5, ...)"
std::string OnLines(const std::vector<Member> &members) {
  std::string where;
  for (const Member &m : members) where += (where.empty() ? "" : ", ") + Where(m);
  return "on " + std::to_string(members.size()) + " plan lines (" + where + ")";
}

// The values of several members: "15 to 16", "no", "14.5 dBm; 1 not written".
std::string ValuesOf(const std::vector<Member> &members) {
  const Measurement *m = members.front().measurement ? &*members.front().measurement : nullptr;
  const EntryResult *low = nullptr, *high = nullptr;
  std::vector<std::string> others;
  for (const Member &member : members) {
    const EntryResult &e = *member.entry;
    if (e.value && std::isfinite(*e.value)) {
      if (low == nullptr || *e.value < *low->value) low = &e;
      if (high == nullptr || *e.value > *high->value) high = &e;
    } else {
      others.push_back(ValueWords(m, e.value));
    }
  }
  std::string text;
  if (low != nullptr && IsFlag(m)) {
    text = FlagWords(*low->value) + (*low->value == *high->value ? "" : " or " + FlagWords(*high->value));
  } else if (low != nullptr) {
    const int decimals = m == nullptr ? kMostDecimals : m->decimals;
    const std::string lowText = Amount(*low->value, decimals, low->limit);
    const std::string highText = Amount(*high->value, decimals, high->limit);
    text = WithUnit(lowText == highText ? lowText : lowText + " to " + highText, m);
  }
  std::sort(others.begin(), others.end());
  others.erase(std::unique(others.begin(), others.end()), others.end());
  for (const std::string &o : others) text += (text.empty() ? "" : "; ") + o;
  return text;
}

FailureLine MissLine(const Group &g) {
  const Member &first = g.members.front();
  const Measurement *m = first.measurement ? &*first.measurement : nullptr;
  if (g.members.size() == 1) {
    const EntryResult &e = *first.entry;
    return {DescribeResult(first.step->step.exportName, e.entry, e.name, e.value, e.limit, first.setting).line, ""};
  }
  const std::string name =
      m != nullptr ? Capitalised(m->name)
                   : StepTitle(first.step->step.exportName) + " entry " + std::to_string(first.entry->entry);
  return {name + " " + OnLines(g.members) + ": " + ValuesOf(g.members) + LimitPart(m, *first.entry->limit), ""};
}

// How far a value lies outside its limit: above the high side positive,
// below the low side negative.
double Margin(double value, const Limit &limit) {
  if (limit.high && value > *limit.high) return value - *limit.high;
  if (limit.low && value < *limit.low) return value - *limit.low;
  return 0.0;
}

FailureLine SpectrumLine(const Group &g) {
  if (g.members.size() == 1) return MissLine(g);
  const Member &first = g.members.front();
  const Measurement &m = *first.measurement;
  int limited = 0;  // the offsets of this kind the plan limits
  for (const EntryResult &e : first.step->entries) {
    const std::optional<Measurement> other = MeasurementOf(first.step->step.exportName, e.entry, e.name);
    if (e.limit && other && other->family == m.family) ++limited;
  }
  const Member *worst = nullptr;
  double worstMargin = 0.0;
  bool allOver = true;
  int unreadable = 0;
  for (const Member &member : g.members) {
    const EntryResult &e = *member.entry;
    if (!e.value || !std::isfinite(*e.value)) {
      ++unreadable;
      continue;
    }
    const double margin = Margin(*e.value, *e.limit);
    allOver = allOver && margin > 0;
    if (worst == nullptr || std::fabs(margin) > std::fabs(worstMargin)) {
      worst = &member;
      worstMargin = margin;
    }
  }
  Measurement family;
  family.name = m.family;
  std::string text = MeasurementLabel(family, first.setting) + ": " + std::to_string(g.members.size()) + " of " +
                     std::to_string(limited) + " offsets " + (worst != nullptr && allOver ? "over" : "outside") +
                     " the mask";
  if (worst != nullptr) {
    const Limit zero{worst->entry->entry, std::nullopt, 0.0};  // shows a margin above 0 as one
    const std::string amount = Amount(std::fabs(worstMargin), m.decimals, zero);
    text += std::string(" (worst ") + (worstMargin > 0 ? "+" : "-") + amount + " dB at " +
            OffsetText(worst->measurement->offsetKhz) + ")";
  }
  if (unreadable > 0) text += ", " + std::to_string(unreadable) + " without a value";
  return {text, ""};
}

FailureLine ErrorLine(const Group &g) {
  const StepRecord &s = *g.members.front().step;
  const std::optional<FailureAdvice> advice = AdviceFor(s.step.exportName, s.text);
  std::string text = StepTitle(s.step.exportName);
  if (g.members.size() > 1) text += " " + OnLines(g.members);
  text += ": " + (advice ? advice->meaning + " (" + s.text + ")" : s.text);
  return {text, advice ? advice->check : ""};
}

}  // namespace

std::vector<FailureLine> FailureLines(const RunRecord &run) {
  std::vector<FailureLine> lines;
  for (const Group &g : Grouped(run)) {
    switch (g.kind) {
      case Group::Kind::kError: lines.push_back(ErrorLine(g)); break;
      case Group::Kind::kMiss: lines.push_back(MissLine(g)); break;
      case Group::Kind::kSpectrum: lines.push_back(SpectrumLine(g)); break;
    }
  }
  return lines;
}

}  // namespace vorn_host
