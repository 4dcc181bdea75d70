// Keeps the station engineer's references true to the code: every key a step
// reads (with its reader and default) and every failure label or fixed text a
// step can write is in docs/parameters.md and docs/failures.md, and every key
// and label listed there is one the code reads or writes. The facts come from
// running the steps: the profile stand-in records each key read, the failure
// sweep's cases give the labels, and a few runs give the fixed texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "frame/param_file.h"
#include "frame/step.h"
#include "os/ini.h"
#include "station/operations.h"
#include "support/failure_cases.h"
#include "support/station_test.h"
#include "support/steps.h"
#include "winapi/profile.h"

namespace {

namespace fs = std::filesystem;

const fs::path kRoot = VORN_SOURCE_DIR;
const std::string kPrefix = "Vorn_CMU200_";

std::string ReadWhole(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string Trim(const std::string &text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::string Lower(std::string text) {
  for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// ---- What the documents say -------------------------------------------------------

struct DocTable {
  std::string step;     // the export named by the heading the table stands under, or ""
  std::string section;  // "step", or the fixed section a heading names as `[Name]`
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
  int line = 0;
};

std::vector<std::string> Cells(const std::string &line) {
  std::vector<std::string> cells;
  std::string text = Trim(line);
  if (text.size() < 2) return cells;
  text = text.substr(1, text.back() == '|' ? text.size() - 2 : std::string::npos);
  std::string current;
  bool inCode = false;
  for (char c : text) {
    if (c == '`') inCode = !inCode;
    if (c == '|' && !inCode) {
      cells.push_back(Trim(current));
      current.clear();
    } else {
      current += c;
    }
  }
  cells.push_back(Trim(current));
  return cells;
}

// The first code span of a cell, as written.
std::optional<std::string> Code(const std::string &cell) {
  const std::size_t open = cell.find('`');
  if (open == std::string::npos) return std::nullopt;
  const std::size_t close = cell.find('`', open + 1);
  if (close == std::string::npos) return std::nullopt;
  return cell.substr(open + 1, close - open - 1);
}

struct Document {
  std::string text;
  std::vector<DocTable> tables;
  std::vector<std::string> stepHeadings;                       // exports named by headings
  std::vector<std::pair<std::string, std::string>> iniBlocks;  // (text, where)
};

Document ReadDocument(const std::string &name) {
  Document doc;
  doc.text = ReadWhole(kRoot / "docs" / name);
  std::istringstream in(doc.text);
  std::string line;
  int number = 0;
  std::string step;
  std::string section = "step";
  DocTable *table = nullptr;
  bool inFence = false, iniFence = false;
  std::string fence;
  int fenceLine = 0;
  static const std::regex exportName(R"(`(Vorn_CMU200_\w+)`)");
  static const std::regex fixedSection(R"(`\[(\w+)\]`)");
  while (std::getline(in, line)) {
    ++number;
    if (line.rfind("```", 0) == 0) {
      if (inFence && iniFence) doc.iniBlocks.push_back({fence, name + ":" + std::to_string(fenceLine)});
      inFence = !inFence;
      iniFence = inFence && Trim(line.substr(3)) == "ini";
      fence.clear();
      fenceLine = number;
      continue;
    }
    if (inFence) {
      fence += line + "\n";
      continue;
    }
    if (line.rfind('#', 0) == 0) {
      table = nullptr;
      const std::size_t level = line.find_first_not_of('#');
      std::smatch match;
      section = "step";
      if (std::regex_search(line, match, exportName)) {
        step = match[1];
        doc.stepHeadings.push_back(step);
      } else if (level <= 3) {
        step.clear();
      }
      if (std::regex_search(line, match, fixedSection)) section = match[1];
      continue;
    }
    if (line.rfind('|', 0) != 0) {
      table = nullptr;
      continue;
    }
    const std::vector<std::string> cells = Cells(line);
    if (table == nullptr) {
      doc.tables.push_back({step, section, cells, {}, number});
      table = &doc.tables.back();
    } else if (!cells.empty() && cells[0].find_first_not_of("-: ") == std::string::npos) {
      continue;  // the line under the header
    } else {
      table->rows.push_back(cells);
    }
  }
  return doc;
}

int Column(const DocTable &table, const std::string &name) {
  for (std::size_t i = 0; i < table.header.size(); ++i) {
    if (table.header[i] == name) return static_cast<int>(i);
  }
  return -1;
}

struct DocKey {
  std::string step, section, key, reader, def, where;
};

// What the profile functions are asked for when the code reads a key as the
// documents say: integers by GetPrivateProfileIntA with their default in
// decimal; reals by GetPrivateProfileStringA with their default to six
// decimals, as the frame formats it; texts with their default as it stands.
std::string Recorded(const std::string &reader, const std::string &def) {
  if (reader != "real") return (reader == "integer" ? "Int " : "String ") + def;
  char text[64];
  vorn::FormatFixed6(std::strtod(def.c_str(), nullptr), text, sizeof text);
  return std::string("String ") + text;
}

std::vector<DocKey> DocumentedKeys(const Document &doc, const std::string &name) {
  std::vector<DocKey> keys;
  for (const DocTable &table : doc.tables) {
    const int key = Column(table, "Key"), reader = Column(table, "Reader"), def = Column(table, "Default");
    if (key < 0) continue;
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
      const auto &row = table.rows[r];
      DocKey entry;
      entry.step = table.step;
      entry.section = table.section;
      entry.where = name + ":" + std::to_string(table.line + 2 + static_cast<int>(r));
      const auto code = key < static_cast<int>(row.size()) ? Code(row[key]) : std::nullopt;
      entry.key = code.value_or("");
      if (reader >= 0 && reader < static_cast<int>(row.size())) entry.reader = row[reader];
      if (def >= 0 && def < static_cast<int>(row.size())) {
        std::string text = Code(row[def]).value_or(row[def]);
        if (entry.reader == "text" && text.size() >= 2 && text.front() == '"' && text.back() == '"') {
          text = text.substr(1, text.size() - 2);
        }
        entry.def = Recorded(entry.reader, text);
      }
      keys.push_back(entry);
    }
  }
  return keys;
}

struct DocLabel {
  std::string step, text, where;
};

std::vector<DocLabel> DocumentedLabels(const Document &doc, const std::string &name) {
  std::vector<DocLabel> labels;
  for (const DocTable &table : doc.tables) {
    if (table.header.empty() || (table.header[0] != "Label" && table.header[0] != "Text")) continue;
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
      const auto code = table.rows[r].empty() ? std::nullopt : Code(table.rows[r][0]);
      labels.push_back(
          {table.step, code.value_or(""), name + ":" + std::to_string(table.line + 2 + static_cast<int>(r))});
    }
  }
  return labels;
}

// The values of an INI text by (section, key), both case folded, as the
// library's text reader gives them: the profile's value (the host's INI
// reader), cut at "//" and "/*", trimmed.
std::map<std::pair<std::string, std::string>, std::string> IniValues(const std::string &text) {
  std::map<std::pair<std::string, std::string>, std::string> values;
  const vorn_host::IniText ini(text);
  for (const std::string &section : ini.sections()) {
    for (auto [key, value] : ini.entries(section)) {
      for (const char *comment : {"//", "/*"}) value = value.substr(0, value.find(comment));
      values.emplace(std::make_pair(Lower(section), Lower(key)), Trim(value));
    }
  }
  return values;
}

// ---- What the code reads and writes, from running it -------------------------------

struct KeyRead {
  std::string step;     // the export
  std::string section;  // "step" for the step's own section, else the fixed section's name
  std::string key;
  std::string def;  // the reader and the default as the profile functions got them
};

bool operator<(const KeyRead &a, const KeyRead &b) {
  return std::tie(a.step, a.section, a.key, a.def) < std::tie(b.step, b.section, b.key, b.def);
}

// Texts that stand alone, without a form, and a run of the step that writes
// each (after the typical run's steps before it). A text the step follows
// with a detail (the phone library's last error) is its start.
struct FixedText {
  const char *step;
  int32_t number;  // 98 holds Band=1; 99 is no section
  void (*arrange)(station::Station &);
  const char *text;
};

const FixedText kFixedTexts[] = {
    {"MobInit", 99, nullptr, "Parameter Format mismatch!"},
    {"MobInit", 2, [](station::Station &s) { s.phone.setStaysOff(true); }, "DWD_check_comm_link Failed! ErrMsg:"},
    {"MobInit", 2, [](station::Station &s) { s.phone.setStaysInNormalMode(true); },
     "DWD_check_for_ptest Fail to Switch!!!"},
    {"OBTInit", 98, nullptr, "Band Not Support!"},
    {"OBTHandOver", 98, nullptr, "Band Not Support!"},
};

struct CodeFacts {
  std::set<KeyRead> keys;
  std::set<std::pair<std::string, std::string>> texts;  // (export, label or fixed text)
  std::set<std::string> ops;                            // operations the stand-ins answered
};

int32_t Run(const vorn_test::StepExport &step, int32_t number, vorn_test::HostBuffers &host) {
  return step.run(number, host.values, host.names, host.errorText);
}

void TakeKeys(const std::string &step, int32_t number, CodeFacts &facts) {
  for (const winapi::ProfileRead &read : winapi::TakeReads()) {
    const bool own = read.section == std::to_string(number);
    const char *reader = read.reader == winapi::ProfileRead::Reader::Int ? "Int " : "String ";
    facts.keys.insert({kPrefix + step, own ? "step" : read.section, read.key, reader + read.def});
  }
}

std::size_t FirstInRun(const std::string &step) {
  const auto &run = vorn_test::TypicalRun();
  for (std::size_t i = 0; i < run.size(); ++i) {
    if (step == run[i].step->name) return i;
  }
  ADD_FAILURE() << step << " is not in the typical run";
  return 0;
}

CodeFacts RunTheCode(const std::string &path) {
  CodeFacts facts;
  std::ofstream(path, std::ios::binary | std::ios::trunc) << vorn_test::TypicalParameters();
  // The labels: the failure sweep's cases. The operations: those of the typical run.
  for (const vorn_test::FailureCase &c : vorn_test::FailureCases(path)) {
    if (!c.label.empty()) facts.texts.insert({kPrefix + vorn_test::TypicalRun()[c.at].step->name, c.label});
  }
  // The keys: every step on an empty file, then the typical run on its own.
  winapi::RecordReads(true);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << "";
  for (const vorn_test::StepExport &step : vorn_test::Steps()) {
    vorn_test::PlayTypicalRunBefore(0, path);
    vorn_test::HostBuffers host;
    Run(step, 1, host);
    TakeKeys(step.name, 1, facts);
  }
  std::ofstream(path, std::ios::binary | std::ios::trunc) << vorn_test::TypicalParameters();
  vorn_test::PlayTypicalRunBefore(0, path);
  for (const vorn_test::RunStep &s : vorn_test::TypicalRun()) {
    vorn_test::HostBuffers host;
    EXPECT_EQ(Run(*s.step, s.number, host), 0) << s.step->name << ": " << host.error();
    TakeKeys(s.step->name, s.number, facts);
  }
  winapi::RecordReads(false);
  for (const station::Call &call : station::station().journal.calls()) facts.ops.insert(call.op);
  // The fixed texts.
  std::ofstream(path, std::ios::binary | std::ios::trunc) << vorn_test::TypicalParameters() << "[98]\nBand=1\n";
  for (const FixedText &fixed : kFixedTexts) {
    vorn_test::PlayTypicalRunBefore(FirstInRun(fixed.step), path);
    if (fixed.arrange != nullptr) fixed.arrange(station::station());
    vorn_test::HostBuffers host;
    EXPECT_EQ(Run(*vorn_test::FindStep(fixed.step), fixed.number, host), -1) << fixed.step;
    EXPECT_EQ(host.error().rfind(fixed.text, 0), 0u)
        << fixed.step << " writes \"" << host.error() << "\", not \"" << fixed.text << "\"";
    facts.texts.insert({kPrefix + fixed.step, fixed.text});
  }
  return facts;
}

// ---- The checks -------------------------------------------------------------------

class DocsTest : public vorn_test::StationTest {
 protected:
  static void SetUpTestSuite() {
    parameters_ = new Document(ReadDocument("parameters.md"));
    failures_ = new Document(ReadDocument("failures.md"));
  }
  static void TearDownTestSuite() {
    delete code_;
    delete parameters_;
    delete failures_;
  }
  // Run once, by the first test that asks.
  const CodeFacts &code() {
    if (code_ == nullptr) code_ = new CodeFacts(RunTheCode(parameterPath()));
    return *code_;
  }
  static CodeFacts *code_;
  static Document *parameters_;
  static Document *failures_;
};

CodeFacts *DocsTest::code_ = nullptr;
Document *DocsTest::parameters_ = nullptr;
Document *DocsTest::failures_ = nullptr;

TEST_F(DocsTest, EveryStepHasItsSectionInBothReferences) {
  std::set<std::string> exported;
  for (const vorn_test::StepExport &step : vorn_test::Steps()) exported.insert(kPrefix + step.name);
  for (const Document *doc : {parameters_, failures_}) {
    const std::set<std::string> headed(doc->stepHeadings.begin(), doc->stepHeadings.end());
    const char *name = doc == parameters_ ? "parameters.md" : "failures.md";
    for (const std::string &step : exported) EXPECT_TRUE(headed.count(step)) << step << " has no section in " << name;
    for (const std::string &step : headed)
      EXPECT_TRUE(exported.count(step)) << step << " is in " << name << " but no step";
  }
}

TEST_F(DocsTest, EveryKeyReadIsDocumentedWithItsReaderAndDefault) {
  const std::vector<DocKey> documented = DocumentedKeys(*parameters_, "parameters.md");
  ASSERT_GT(code().keys.size(), 30u) << "the runs read hardly any key";
  for (const KeyRead &read : code().keys) {
    std::string otherwise;
    bool found = false;
    for (const DocKey &doc : documented) {
      if (doc.key != read.key || doc.section != read.section) continue;
      if (doc.step == read.step && doc.def == read.def)
        found = true;
      else
        otherwise += " " + doc.where + " has " + doc.def + " under " + doc.step + ";";
    }
    EXPECT_TRUE(found) << read.step << " reads \"" << read.key << "\" (" << read.def << ", section " << read.section
                       << "): " << (otherwise.empty() ? " not in parameters.md" : otherwise);
  }
}

TEST_F(DocsTest, EveryDocumentedKeyIsRead) {
  for (const DocKey &doc : DocumentedKeys(*parameters_, "parameters.md")) {
    EXPECT_TRUE(code().keys.count({doc.step, doc.section, doc.key, doc.def}))
        << doc.where << ": key \"" << doc.key << "\" (" << doc.reader << ", " << doc.def << ") under "
        << (doc.step.empty() ? "no step" : doc.step) << " is not read so by the code";
  }
}

TEST_F(DocsTest, EveryFailureTextIsDocumented) {
  const std::vector<DocLabel> documented = DocumentedLabels(*failures_, "failures.md");
  ASSERT_GT(code().texts.size(), 50u) << "the runs found hardly any failure text";
  for (const auto &[step, text] : code().texts) {
    const bool found = std::any_of(documented.begin(), documented.end(),
                                   [&](const DocLabel &doc) { return doc.text == text && doc.step == step; });
    EXPECT_TRUE(found) << step << " writes \"" << text << "\", which failures.md does not list under it";
  }
}

TEST_F(DocsTest, EveryDocumentedFailureTextIsWritten) {
  for (const DocLabel &doc : DocumentedLabels(*failures_, "failures.md")) {
    EXPECT_TRUE(code().texts.count({doc.step, doc.text}))
        << doc.where << ": \"" << doc.text << "\" under " << doc.step << " is not written by that step";
  }
}

TEST_F(DocsTest, TheFailureFormsAreDocumentedAsBuilt) {
  constexpr int32_t kStatus = -1073807339;
  const struct {
    const char *form;
    void (*write)(vorn::Step &);
  } forms[] = {
      {"tester form", [](vorn::Step &s) { s.writeTesterFailure("LABEL"); }},
      {"tester coded form", [](vorn::Step &s) { s.writeTesterCodedFailure(kStatus, "LABEL"); }},
      {"mobile form", [](vorn::Step &s) { s.writeMobileFailure("LABEL", "LASTERROR"); }},
      {"supply form", [](vorn::Step &s) { s.writeSupplyFailure("LABEL"); }},
  };
  const DocTable *table = nullptr;
  for (const DocTable &t : failures_->tables) {
    if (!t.header.empty() && t.header[0] == "Form") table = &t;
  }
  ASSERT_NE(table, nullptr) << "failures.md has no table of the failure forms";
  EXPECT_EQ(table->rows.size(), std::size(forms)) << "failures.md lists other forms than the steps write";
  for (const auto &form : forms) {
    char text[VORN_CMU200_ERROR_TEXT_SIZE] = {};
    vorn::Step step(vorn::NoParameters{}, nullptr, nullptr, text);
    form.write(step);
    const std::string written = std::regex_replace(text, std::regex(std::to_string(kStatus)), "STATUS");
    const auto row = std::find_if(table->rows.begin(), table->rows.end(),
                                  [&](const auto &cells) { return cells.size() > 1 && cells[0] == form.form; });
    ASSERT_NE(row, table->rows.end()) << "no row for the " << form.form;
    EXPECT_EQ(Code((*row)[1]).value_or(""), written) << "the " << form.form;
  }
}

TEST_F(DocsTest, ExampleParameterFilesUseOnlyDocumentedKeys) {
  std::set<std::string> stepKeys, fixed;
  for (const DocKey &doc : DocumentedKeys(*parameters_, "parameters.md")) {
    (doc.section == "step" ? stepKeys : fixed)
        .insert(Lower(doc.section == "step" ? doc.key : doc.section + "/" + doc.key));
  }
  std::vector<std::pair<std::string, std::string>> files = parameters_->iniBlocks;
  ASSERT_FALSE(files.empty()) << "parameters.md has no example file";
  files.push_back({ReadWhole(kRoot / "examples" / "station.ini"), "examples/station.ini"});
  for (const auto &[text, where] : files) {
    for (const auto &[entry, value] : IniValues(text)) {
      const auto &[section, key] = entry;
      const bool number = !section.empty() && section.find_first_not_of("-0123456789") == std::string::npos;
      const bool known = number ? stepKeys.count(key) > 0 : fixed.count(section + "/" + key) > 0;
      EXPECT_TRUE(known) << where << ": [" << section << "] " << key << " is no key of parameters.md";
    }
  }
}

// The operations the simulated station journals and can fault: every
// station::Entry of platform/, and the calls of the host's data container,
// which it watches.
std::set<std::string> StandInOperations() {
  std::set<std::string> ops;
  static const std::regex entry(R"re((?:station::Entry|Watched)\s+\w+\s*\(\s*"(\w+)")re");
  for (const fs::path &folder : {kRoot / "platform", kRoot / "host" / "station" / "alldata"}) {
    for (const auto &file : fs::recursive_directory_iterator(folder)) {
      if (!file.is_regular_file() || file.path().extension() != ".cpp") continue;
      const std::string code = ReadWhole(file.path());
      for (std::sregex_iterator it(code.begin(), code.end(), entry), end; it != end; ++it) ops.insert((*it)[1]);
    }
  }
  return ops;
}

// The list of operations a fault may name is the stand-ins' own, both ways:
// each name journalled (directly or through a configuration helper) is in
// it, and each name in it is journalled somewhere.
TEST_F(DocsTest, TheOperationListIsTheStandInsOwn) {
  std::set<std::string> journalled = StandInOperations();
  static const std::regex helper(R"re(Configure\w*\(\s*"(\w+)")re");
  for (const auto &file : fs::recursive_directory_iterator(kRoot / "platform")) {
    if (!file.is_regular_file() || file.path().filename() == "operations.cpp") continue;
    const std::string code = ReadWhole(file.path());
    for (std::sregex_iterator it(code.begin(), code.end(), helper), end; it != end; ++it) journalled.insert((*it)[1]);
  }
  std::set<std::string> listed;
  for (const std::string_view op : station::Operations()) listed.insert(std::string(op));
  EXPECT_EQ(listed, journalled);
}

TEST_F(DocsTest, SimulatedStationNamesRealOperationsAndStatuses) {
  const std::string doc = ReadWhole(kRoot / "docs" / "simulated-station.md");
  // Every fault shown names an operation the stand-ins answer in the typical run.
  static const std::regex fault(R"(`(\w+)=-?\d+(@\d+\+?)?`)");
  int faults = 0;
  for (std::sregex_iterator it(doc.begin(), doc.end(), fault), end; it != end; ++it, ++faults) {
    EXPECT_TRUE(code().ops.count((*it)[1]))
        << "simulated-station.md faults " << (*it)[1] << ", which no stand-in answers";
  }
  EXPECT_GT(faults, 0) << "simulated-station.md shows no fault";
  // The simulated tester's driver statuses, in decimal and hex, as its headers define them.
  for (const char *header : {"tester.h", "measurement.h"}) {
    const std::string code = ReadWhole(kRoot / "platform" / "station" / header);
    static const std::regex status(R"(constexpr int32_t (k\w+) = static_cast<int32_t>\(0x([0-9A-Fa-f]+)u\))");
    for (std::sregex_iterator it(code.begin(), code.end(), status), end; it != end; ++it) {
      const auto value = static_cast<int32_t>(std::stoul((*it)[2], nullptr, 16));
      const std::string row = "| " + std::to_string(value) + " | `0x" + (*it)[2].str() + "` |";
      EXPECT_NE(doc.find(row), std::string::npos) << (*it)[1] << " is not listed as " << row;
    }
  }
}

TEST_F(DocsTest, TheExampleFileIsTheStationRunsFile) {
  ASSERT_FALSE(parameters_->iniBlocks.empty());
  const auto documented = IniValues(parameters_->iniBlocks.back().first);
  const auto run = IniValues(ReadWhole(kRoot / "examples" / "station.ini"));
  for (const auto &[key, value] : run) {
    const auto it = documented.find(key);
    EXPECT_TRUE(it != documented.end() && it->second == value)
        << "examples/station.ini has [" << key.first << "] " << key.second << "=" << value
        << ", the example of parameters.md " << (it == documented.end() ? "lacks it" : "has " + it->second);
  }
  for (const auto &entry : documented) {
    EXPECT_TRUE(run.count(entry.first)) << "the example of parameters.md has [" << entry.first.first << "] "
                                        << entry.first.second << ", examples/station.ini not";
  }
}

TEST_F(DocsTest, ReadmeLinksTheReferences) {
  const std::string readme = ReadWhole(kRoot / "README.md");
  for (const char *doc : {"docs/parameters.md", "docs/failures.md", "docs/simulated-station.md", "docs/host-runner.md",
                          "docs/windows.md", "docs/hardening.md", "bench/README.md", "HACKING.md"}) {
    EXPECT_NE(readme.find(std::string("(") + doc + ")"), std::string::npos) << "README.md does not link " << doc;
    EXPECT_TRUE(fs::exists(kRoot / doc)) << doc << " is missing";
  }
}

}  // namespace
