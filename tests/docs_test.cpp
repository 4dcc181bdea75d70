// Keeps the station engineer's references true to the code: every key a step
// reads (with its reader and default) and every failure label or fixed text a
// step can write is in docs/parameters.md and docs/failures.md, and every key
// and label listed there is in the code. The sources and documents are read
// when the test runs, so the check follows the code as it changes.
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

#ifndef VORN_SOURCE_DIR
#error "VORN_SOURCE_DIR must name the source tree"
#endif

namespace {

namespace fs = std::filesystem;

const fs::path kRoot = VORN_SOURCE_DIR;

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

bool IsIdent(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// ---- C++ source, as far as the check needs it --------------------------------

// The source with comments blanked out (line breaks kept), literals untouched.
std::string StripComments(const std::string &src) {
  std::string out = src;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const char c = out[i];
    if (c == '"' || c == '\'') {
      for (++i; i < out.size() && out[i] != c; ++i) {
        if (out[i] == '\\') ++i;
      }
    } else if (c == '/' && i + 1 < out.size() && out[i + 1] == '/') {
      for (; i < out.size() && out[i] != '\n'; ++i) out[i] = ' ';
    } else if (c == '/' && i + 1 < out.size() && out[i + 1] == '*') {
      const std::size_t end = out.find("*/", i + 2);
      const std::size_t stop = end == std::string::npos ? out.size() : end + 2;
      for (; i < stop; ++i) {
        if (out[i] != '\n') out[i] = ' ';
      }
      --i;
    }
  }
  return out;
}

// Index just past the bracket that closes the one at open.
std::size_t Closing(const std::string &src, std::size_t open) {
  int depth = 0;
  for (std::size_t i = open; i < src.size(); ++i) {
    const char c = src[i];
    if (c == '"' || c == '\'') {
      for (++i; i < src.size() && src[i] != c; ++i) {
        if (src[i] == '\\') ++i;
      }
    } else if (c == '(' || c == '{' || c == '[') {
      ++depth;
    } else if (c == ')' || c == '}' || c == ']') {
      if (--depth == 0) return i + 1;
    }
  }
  return src.size();
}

// The text between two brackets split at its top-level commas.
std::vector<std::string> SplitTopLevel(const std::string &inner) {
  std::vector<std::string> parts;
  std::string current;
  for (std::size_t i = 0; i < inner.size(); ++i) {
    const char c = inner[i];
    if (c == '"' || c == '\'') {
      const std::size_t start = i;
      for (++i; i < inner.size() && inner[i] != c; ++i) {
        if (inner[i] == '\\') ++i;
      }
      current += inner.substr(start, i - start + 1);
    } else if (c == '(' || c == '{' || c == '[') {
      const std::size_t end = Closing(inner, i);
      current += inner.substr(i, end - i);
      i = end - 1;
    } else if (c == ',') {
      parts.push_back(Trim(current));
      current.clear();
    } else {
      current += c;
    }
  }
  if (!Trim(current).empty() || !parts.empty()) parts.push_back(Trim(current));
  return parts;
}

// The text of an expression that is nothing but string literals ("a" "b").
std::optional<std::string> StringLiteral(const std::string &expr) {
  std::string text = Trim(expr);
  if (text.empty() || text.front() != '"') return std::nullopt;
  std::string value;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '"') return std::nullopt;
    for (++i; i < text.size() && text[i] != '"'; ++i) {
      if (text[i] == '\\' && i + 1 < text.size()) {
        const char e = text[++i];
        value += e == 'n' ? '\n' : e == 't' ? '\t' : e;
      } else {
        value += text[i];
      }
    }
    ++i;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  }
  return value;
}

std::optional<double> NumberLiteral(const std::string &expr) {
  static const std::regex number(R"(^[-+]?\s*(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?[fFlLuU]*$)");
  std::string text = Trim(expr);
  if (!std::regex_match(text, number)) return std::nullopt;
  text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
  while (!text.empty() && std::isalpha(static_cast<unsigned char>(text.back()))) text.pop_back();
  return std::strtod(text.c_str(), nullptr);
}

struct SourceFile {
  fs::path path;
  std::string code;  // comments blanked
  int lineOf(std::size_t offset) const {
    return 1 + static_cast<int>(std::count(code.begin(), code.begin() + offset, '\n'));
  }
  std::string where(std::size_t offset) const {
    return fs::relative(path, kRoot).string() + ":" + std::to_string(lineOf(offset));
  }
};

struct CallSite {
  std::string name;
  bool member = false;  // called as object.name( or object->name(
  std::vector<std::string> args;
  std::size_t offset = 0;
  std::size_t end = 0;  // just past the closing parenthesis
};

std::vector<CallSite> Calls(const std::string &code) {
  std::vector<CallSite> calls;
  for (std::size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (c == '"' || c == '\'') {
      for (++i; i < code.size() && code[i] != c; ++i) {
        if (code[i] == '\\') ++i;
      }
      continue;
    }
    if (!(std::isalpha(static_cast<unsigned char>(c)) || c == '_') || (i > 0 && IsIdent(code[i - 1]))) {
      continue;
    }
    std::size_t end = i;
    while (end < code.size() && IsIdent(code[end])) ++end;
    std::size_t open = end;
    while (open < code.size() && std::isspace(static_cast<unsigned char>(code[open]))) ++open;
    if (open < code.size() && code[open] == '(') {
      CallSite call;
      call.name = code.substr(i, end - i);
      std::size_t before = i;
      while (before > 0 && std::isspace(static_cast<unsigned char>(code[before - 1]))) --before;
      call.member = before > 0 && (code[before - 1] == '.' ||
                                   (before > 1 && code[before - 1] == '>' && code[before - 2] == '-'));
      call.end = Closing(code, open);
      call.args = SplitTopLevel(code.substr(open + 1, call.end - open - 2));
      call.offset = i;
      calls.push_back(call);
    }
    i = end - 1;
  }
  return calls;
}

std::vector<SourceFile> LibrarySources() {
  std::vector<SourceFile> files;
  for (const auto &entry : fs::recursive_directory_iterator(kRoot / "src")) {
    const std::string ext = entry.path().extension().string();
    if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
    files.push_back({entry.path(), StripComments(ReadWhole(entry.path()))});
  }
  std::sort(files.begin(), files.end(),
            [](const SourceFile &a, const SourceFile &b) { return a.path < b.path; });
  return files;
}

// The literal value a named constant of the file stands for, if it is one:
// "constexpr int32_t kName = 20;" or "... kName{20};" or "... kName[] = "text";".
std::optional<std::string> ConstantTextOnce(const SourceFile &file, const std::string &name) {
  const std::regex declaration("\\b" + name + R"(\s*(?:\[\s*\w*\s*\])?\s*(?:=\s*|\{)\s*([^;{}]+?)\s*\}?\s*;)");
  std::smatch match;
  if (!std::regex_search(file.code, match, declaration)) return std::nullopt;
  return match[1].str();
}

std::optional<std::string> ConstantText(const SourceFile &file, const std::string &name) {
  if (name.empty() || !std::all_of(name.begin(), name.end(), IsIdent)) return std::nullopt;
  static std::map<std::pair<std::string, std::string>, std::optional<std::string>> known;
  const auto key = std::make_pair(file.path.string(), name);
  const auto it = known.find(key);
  if (it != known.end()) return it->second;
  return known[key] = ConstantTextOnce(file, name);
}

// ---- Tables in the code: the values a table-driven argument takes ------------

// The data members of "struct name { ... };", in order.
std::vector<std::string> StructFields(const std::string &body) {
  std::vector<std::string> fields;
  std::string inner = body;
  std::size_t start = 0;
  while (start < inner.size()) {
    std::size_t semi = inner.find(';', start);
    if (semi == std::string::npos) break;
    std::string decl = Trim(inner.substr(start, semi - start));
    start = semi + 1;
    if (decl.find('(') != std::string::npos || decl.rfind("static", 0) == 0 ||
        decl.rfind("using", 0) == 0 || decl.rfind("constexpr", 0) == 0) {
      continue;
    }
    const std::size_t eq = decl.find_first_of("={");
    if (eq != std::string::npos) decl = Trim(decl.substr(0, eq));
    // "int lower, upper" declares two members; the type comes first.
    std::vector<std::string> names = SplitTopLevel(decl);
    for (std::size_t n = 0; n < names.size(); ++n) {
      std::string name = names[n];
      const std::size_t bracket = name.find('[');
      if (bracket != std::string::npos) name = Trim(name.substr(0, bracket));
      std::size_t e = name.size();
      while (e > 0 && !IsIdent(name[e - 1])) --e;
      std::size_t b = e;
      while (b > 0 && IsIdent(name[b - 1])) --b;
      fields.push_back(name.substr(b, e - b));
    }
  }
  return fields;
}

// An array initialised in place: "constexpr Offset kModulation[] = {...};".
struct ArrayTable {
  std::string type;  // the word before the name: the element type, or "const" for "char *const"
  std::vector<std::vector<std::string>> rows;  // each row's fields; a scalar row has one
};

std::vector<std::pair<std::string, ArrayTable>> Arrays(const SourceFile &file) {
  std::vector<std::pair<std::string, ArrayTable>> arrays;
  static const std::regex declaration(R"((\w+)[\s\*&]+(\w+)\s*\[\s*\w*\s*\]\s*=\s*\{)");
  for (std::sregex_iterator it(file.code.begin(), file.code.end(), declaration), end; it != end; ++it) {
    const std::size_t open = static_cast<std::size_t>(it->position(0) + it->length(0) - 1);
    const std::size_t close = Closing(file.code, open);
    ArrayTable table;
    table.type = (*it)[1];
    for (const std::string &item : SplitTopLevel(file.code.substr(open + 1, close - open - 2))) {
      if (item.empty()) continue;
      if (item.front() == '{') {
        table.rows.push_back(SplitTopLevel(item.substr(1, Closing(item, 0) - 2)));
      } else {
        table.rows.push_back({item});
      }
    }
    arrays.push_back({(*it)[2], table});
  }
  return arrays;
}

// The data members of every "struct Name { ... };" of the file, by struct name.
std::map<std::string, std::vector<std::string>> Structs(const SourceFile &file) {
  std::map<std::string, std::vector<std::string>> structs;
  static const std::regex definition(R"(\bstruct\s+(\w+)\s*\{)");
  for (std::sregex_iterator it(file.code.begin(), file.code.end(), definition), end; it != end; ++it) {
    const std::size_t open = static_cast<std::size_t>(it->position(0) + it->length(0) - 1);
    const std::size_t close = Closing(file.code, open);
    structs[(*it)[1]] = StructFields(file.code.substr(open + 1, close - open - 2));
  }
  return structs;
}

// The array a table walk reads: "kKeys[i]" and "kKeys" name it; a loop
// variable ("for (const Offset &point : kModulation)") or a reference to one
// row ("const Offset &point = kModulation[p];") lead to it.
std::string ArrayNameOfOnce(const SourceFile &file, const std::string &base);

std::string ArrayNameOf(const SourceFile &file, const std::string &base) {
  static std::map<std::pair<std::string, std::string>, std::string> known;
  const auto key = std::make_pair(file.path.string(), base);
  const auto it = known.find(key);
  if (it != known.end()) return it->second;
  return known[key] = ArrayNameOfOnce(file, base);
}

std::string ArrayNameOfOnce(const SourceFile &file, const std::string &base) {
  static const std::regex indexed(R"(^(\w+)\s*\[.*\]$)");
  static const std::regex plain(R"(^\w+$)");
  std::smatch match;
  if (std::regex_match(base, match, indexed)) return match[1];
  if (!std::regex_match(base, plain)) return "";
  const std::regex loop(R"(for\s*\([^;:()]*\b)" + base + R"(\s*:\s*(\w+)\s*\))");
  if (std::regex_search(file.code, match, loop)) return match[1];
  const std::regex row("\\b" + base + R"(\s*=\s*&?\s*(\w+)\s*\[)");
  if (std::regex_search(file.code, match, row)) return match[1];
  return base;
}

// The literals a non-literal argument stands for when it walks a table in the
// file or a header beside it: "offset.key", "kLossLines[k].key", "kKeys[i]",
// or a loop variable over such an array. Empty when it is none (a helper's
// parameter, say).
std::vector<std::string> TableValues(const std::vector<SourceFile> &files, const SourceFile &file,
                                     const std::string &expr) {
  std::vector<const SourceFile *> scope{&file};
  for (const SourceFile &other : files) {
    if (&other != &file && other.path.parent_path() == file.path.parent_path()) scope.push_back(&other);
  }
  // The tables of a folder, read once.
  static std::map<std::string, std::pair<std::map<std::string, std::vector<std::string>>,
                                         std::vector<std::pair<std::string, ArrayTable>>>>
      folders;
  const std::string folder = file.path.parent_path().string();
  if (folders.count(folder) == 0) {
    auto &[foundStructs, foundArrays] = folders[folder];
    for (const SourceFile *candidate : scope) {
      foundStructs.merge(Structs(*candidate));
      for (auto &array : Arrays(*candidate)) foundArrays.push_back(std::move(array));
    }
  }
  const auto &structs = folders[folder].first;
  const auto &arrays = folders[folder].second;
  const std::string text = Trim(expr);
  std::string base = text, member;
  static const std::regex memberAccess(R"(^(.*?)\s*(?:\.|->)\s*(\w+)$)");
  std::smatch match;
  if (std::regex_match(text, match, memberAccess)) {
    base = Trim(match[1]);
    member = match[2];
  }
  const std::string arrayName = ArrayNameOf(file, base);
  std::vector<std::string> values;
  auto take = [&](const ArrayTable &table) {
    std::size_t field = 0;
    if (!member.empty()) {
      const auto fields = structs.find(table.type);
      if (fields == structs.end()) return false;
      const auto at = std::find(fields->second.begin(), fields->second.end(), member);
      if (at == fields->second.end()) return false;
      field = static_cast<std::size_t>(at - fields->second.begin());
    }
    for (const auto &row : table.rows) {
      if (field < row.size()) {
        if (auto literal = StringLiteral(row[field])) values.push_back(*literal);
      }
    }
    return true;
  };
  for (const auto &[name, table] : arrays) {
    if (name == arrayName) take(table);
  }
  return values;
}

// ---- What the code reads and writes --------------------------------------------

struct KeyRead {
  std::string section;  // "step" for the step section, else the fixed section's name
  std::string key;
  std::string reader;   // integer, real, text
  std::string def;      // the default: the text of a text reader, a number's value otherwise
  std::string where;
  std::string step;     // the export defined in the file that reads it, "" for a shared file
};

std::string Canonical(const std::string &reader, const std::string &def) {
  if (reader == "text") return def;
  std::ostringstream out;
  out << std::strtod(def.c_str(), nullptr);
  return out.str();
}

// An export defined in a file (other than the version query) and where its body lies.
struct ExportBody {
  std::string name;
  std::size_t begin = 0, end = 0;
};

std::vector<ExportBody> ExportsDefined(const SourceFile &file) {
  std::vector<ExportBody> bodies;
  for (const CallSite &call : Calls(file.code)) {
    if (call.name.rfind("Vorn_CMU200_", 0) != 0 || call.name == "Vorn_CMU200_GetVersion") continue;
    std::size_t next = call.end;
    while (next < file.code.size() && std::isspace(static_cast<unsigned char>(file.code[next]))) ++next;
    if (next < file.code.size() && file.code[next] == '{') {
      bodies.push_back({call.name, next, Closing(file.code, next)});
    }
  }
  return bodies;
}

// The step a call belongs to: the export whose body holds it, else the file's
// only export, else none (a helper shared by several steps).
std::string OwnerOf(const std::vector<ExportBody> &bodies, std::size_t offset) {
  for (const ExportBody &body : bodies) {
    if (offset >= body.begin && offset < body.end) return body.name;
  }
  return bodies.size() == 1 ? bodies.front().name : "";
}

struct CodeFacts {
  std::vector<KeyRead> keys;
  std::map<std::string, std::set<std::string>> labels;  // label or fixed text -> steps ("" shared)
  std::map<std::string, std::string> labelWhere;
  std::map<std::string, std::vector<std::string>> forms;  // writer -> its literals, in order
  std::vector<std::string> problems;  // what the check could not read
};

// The calls that write a failure text: the subsystems' fails() helpers,
// Step::fail() and the frame's writers.
bool IsFailureWriter(const std::string &name) {
  const bool writer = name.rfind("write", 0) == 0 && name.size() > 12 &&
                      name.compare(name.size() - 7, 7, "Failure") == 0;
  return name.rfind("fail", 0) == 0 || writer || name == "writeText";
}

// A function defined in a file: its parameters' names and where its body lies.
struct Function {
  std::string name;
  std::vector<std::string> params;
  std::size_t at = 0;  // where its name stands
  std::size_t begin = 0, end = 0;
};

bool IsKeyword(const std::string &name) {
  static const std::set<std::string> keywords{"if", "for", "while", "switch", "catch", "return", "sizeof"};
  return keywords.count(name) > 0;
}

std::vector<Function> Functions(const SourceFile &file) {
  std::vector<Function> functions;
  for (const CallSite &call : Calls(file.code)) {
    std::size_t next = call.end;
    while (next < file.code.size() && std::isspace(static_cast<unsigned char>(file.code[next]))) ++next;
    if (IsKeyword(call.name)) continue;
    // A body follows, perhaps after "const" or "noexcept".
    std::size_t brace = next;
    while (brace < file.code.size() && IsIdent(file.code[brace])) ++brace;
    while (brace < file.code.size() && std::isspace(static_cast<unsigned char>(file.code[brace]))) ++brace;
    if (next >= file.code.size() || (file.code[next] != '{' && file.code[brace] != '{')) continue;
    if (file.code[next] != '{') next = brace;
    Function function;
    function.name = call.name;
    for (std::string param : call.args) {
      const std::size_t eq = param.find('=');
      if (eq != std::string::npos) param = Trim(param.substr(0, eq));
      // "const Setting (&settings)[N]" names settings.
      static const std::regex arraySuffix(R"(\[[^\]]*\]\s*$)");
      param = std::regex_replace(param, arraySuffix, "");
      std::size_t e = param.size();
      while (e > 0 && !IsIdent(param[e - 1])) --e;
      std::size_t b = e;
      while (b > 0 && IsIdent(param[b - 1])) --b;
      function.params.push_back(param.substr(b, e - b));
    }
    function.at = call.offset;
    function.begin = next;
    function.end = Closing(file.code, next);
    functions.push_back(function);
  }
  return functions;
}

// An expression as written at one place in the code.
struct Place {
  const SourceFile *file = nullptr;
  std::size_t offset = 0;
};

// The identifier an expression starts from ("keys" of "keys[p - 1]", "s" of
// "s.label"), without namespace qualifiers.
std::string BaseOf(const std::string &expr) {
  std::string text = Trim(expr);
  static const std::regex qualified(R"(^(?:\w+::)+)");
  text = std::regex_replace(text, qualified, "");
  std::size_t e = 0;
  while (e < text.size() && IsIdent(text[e])) ++e;
  return text.substr(0, e);
}

std::string Unqualified(const std::string &expr) {
  static const std::regex qualified(R"(^\s*(?:\w+::)+)");
  return Trim(std::regex_replace(expr, qualified, ""));
}

std::string ReplaceBase(const std::string &expr, const std::string &replacement) {
  const std::string text = Unqualified(expr);
  const std::string base = BaseOf(text);
  return replacement + text.substr(base.size());
}

class CodeReader {
 public:
  explicit CodeReader(std::vector<SourceFile> files) : files_(std::move(files)) {
    for (const SourceFile &file : files_) {
      functions_[&file] = Functions(file);
      calls_[&file] = Calls(file.code);
      exports_[&file] = ExportsDefined(file);
      for (const Function &function : functions_[&file]) definitions_[&file].insert(function.at);
      definitions_[&file];
    }
  }

  const std::vector<SourceFile> &files() const { return files_; }
  const std::vector<CallSite> &calls(const SourceFile &file) const { return calls_.at(&file); }

  // The innermost function whose body holds the place.
  const Function *enclosing(const Place &place) const {
    const Function *best = nullptr;
    for (const Function &function : functions_.at(place.file)) {
      if (place.offset >= function.begin && place.offset < function.end &&
          (best == nullptr || function.begin > best->begin)) {
        best = &function;
      }
    }
    return best;
  }

  // The exports' bodies decide which step a place belongs to.
  std::string owner(const Place &place) const {
    return OwnerOf(exports_.at(place.file), place.offset);
  }

  // The expressions as the callers give them: where an expression starts from
  // a parameter of the function it is written in (or from a row or loop
  // variable over such a parameter), each call of that function gives the
  // expressions again with its own argument put in, until none does.
  std::vector<std::pair<std::vector<std::string>, Place>> expand(const std::vector<std::string> &exprs,
                                                                 const Place &place, int depth = 0) const {
    const Function *function = enclosing(place);
    if (function == nullptr || depth > 6) return {{exprs, place}};
    std::vector<std::string> current = exprs;
    bool uses = false;
    for (std::string &expr : current) {
      std::string base = BaseOf(expr);
      if (base.empty()) continue;
      if (std::find(function->params.begin(), function->params.end(), base) == function->params.end()) {
        // "const Setting &s = settings[i]" or "for (... s : settings)": go on from the array.
        const std::string array = ArrayNameOf(*place.file, base);
        if (array != base && !array.empty() &&
            std::find(function->params.begin(), function->params.end(), array) != function->params.end()) {
          expr = ReplaceBase(expr, array + "[0]");
          base = array;
        }
      }
      uses = uses || std::find(function->params.begin(), function->params.end(), base) != function->params.end();
    }
    if (!uses) return {{exprs, place}};
    std::vector<std::pair<std::vector<std::string>, Place>> out;
    for (const SourceFile &file : files_) {
      for (const CallSite &call : calls(file)) {
        if (call.name != function->name || call.args.size() != function->params.size()) continue;
        if (definitions_.at(&file).count(call.offset) > 0) continue;  // a definition, not a call
        std::vector<std::string> substituted;
        for (const std::string &expr : current) {
          const std::string base = BaseOf(expr);
          const auto at = std::find(function->params.begin(), function->params.end(), base);
          substituted.push_back(at == function->params.end()
                                    ? expr
                                    : ReplaceBase(expr, Unqualified(call.args[static_cast<std::size_t>(
                                                            at - function->params.begin())])));
        }
        for (auto &expanded : expand(substituted, {&file, call.offset}, depth + 1)) out.push_back(expanded);
      }
    }
    return out;
  }

  // The texts an expression stands for at a place: a literal, a named
  // constant, or the rows of a table.
  std::vector<std::string> texts(const std::string &expr, const Place &place) const {
    if (auto literal = StringLiteral(expr)) return {*literal};
    const std::string name = Unqualified(expr);
    if (auto constant = ConstantText(*place.file, name); constant && StringLiteral(*constant)) {
      return {*StringLiteral(*constant)};
    }
    return TableValues(files_, *place.file, name);
  }

 private:
  std::vector<SourceFile> files_;
  std::map<const SourceFile *, std::vector<Function>> functions_;
  std::map<const SourceFile *, std::vector<CallSite>> calls_;
  std::map<const SourceFile *, std::vector<ExportBody>> exports_;
  std::map<const SourceFile *, std::set<std::size_t>> definitions_;
};

// Whether an argument may carry a text: a literal or a name, not a call.
bool MayBeText(const std::string &arg) {
  static const std::regex name(R"(^[\w:]+(\s*\[[^\]]*\])?(\s*(\.|->)\s*\w+)?$)");
  return StringLiteral(arg).has_value() || std::regex_match(Trim(arg), name);
}

void ReadKey(const CodeReader &reader, const SourceFile &file, const CallSite &call, CodeFacts &facts) {
  const std::size_t k = call.args.size() - 2;
  std::vector<std::string> exprs{call.args[k], call.args[k + 1], k == 1 ? call.args[0] : ""};
  for (const auto &[expanded, place] : reader.expand(exprs, {&file, call.offset})) {
    const std::string where = place.file->where(place.offset);
    KeyRead base;
    base.reader = call.name == "ReadInt" ? "integer" : call.name == "ReadFloat" ? "real" : "text";
    base.where = where;
    base.step = reader.owner(place);
    base.section = "step";
    if (!expanded[2].empty() && expanded[2].find("section") == std::string::npos) {
      const auto sections = reader.texts(expanded[2], place);
      if (sections.size() == 1) {
        base.section = sections.front();
      } else {
        facts.problems.push_back(where + ": section " + expanded[2] + " is not a literal");
      }
    }
    std::string defExpr = expanded[1];
    if (!StringLiteral(defExpr) && !NumberLiteral(defExpr)) {
      if (auto constant = ConstantText(*place.file, Unqualified(defExpr))) defExpr = *constant;
    }
    if (auto text = StringLiteral(defExpr)) {
      base.def = *text;
    } else if (auto number = NumberLiteral(defExpr)) {
      base.def = std::to_string(*number);
    } else {
      facts.problems.push_back(where + ": default " + expanded[1] + " is not a literal");
      continue;
    }
    base.def = Canonical(base.reader, base.def);
    const std::vector<std::string> keys = reader.texts(expanded[0], place);
    if (keys.empty()) facts.problems.push_back(where + ": key " + expanded[0] + " is neither a literal nor a table");
    for (const std::string &key : keys) {
      KeyRead read = base;
      read.key = key;
      facts.keys.push_back(read);
    }
  }
}

void ReadLabels(const CodeReader &reader, const SourceFile &file, const CallSite &call, CodeFacts &facts) {
  // A writer called through a parameter ("report(step, status, s.label)") is
  // one when its callers hand it a writer.
  const Function *function = reader.enclosing({&file, call.offset});
  const bool throughParameter =
      function != nullptr &&
      std::find(function->params.begin(), function->params.end(), call.name) != function->params.end();
  if (!IsFailureWriter(call.name) && !throughParameter) return;
  std::vector<std::string> exprs{call.name};
  for (const std::string &arg : call.args) exprs.push_back(MayBeText(arg) ? arg : "");
  for (const auto &[expanded, place] : reader.expand(exprs, {&file, call.offset})) {
    if (!IsFailureWriter(BaseOf(expanded[0]))) continue;
    for (std::size_t i = 1; i < expanded.size(); ++i) {
      if (expanded[i].empty()) continue;
      for (const std::string &text : reader.texts(expanded[i], place)) {
        facts.labels[text].insert(reader.owner(place));
        facts.labelWhere.emplace(text + "\n" + reader.owner(place), place.file->where(place.offset));
      }
    }
  }
}

CodeFacts ReadCode() {
  CodeFacts facts;
  const CodeReader reader(LibrarySources());
  for (const SourceFile &file : reader.files()) {
    // The frame holds the readers and writers themselves; the steps hold their keys and labels.
    const bool frame = file.path.parent_path().filename() == "frame";
    for (const CallSite &call : frame ? std::vector<CallSite>{} : reader.calls(file)) {
      const bool read = call.name == "ReadInt" || call.name == "ReadFloat" || call.name == "ReadString";
      if (read && call.member && (call.args.size() == 2 || call.args.size() == 3)) {
        ReadKey(reader, file, call, facts);
      } else {
        ReadLabels(reader, file, call, facts);
      }
    }
    // The four failure forms: the literals of the frame's writers, in order.
    if (file.path.filename() == "step.cpp") {
      static const std::regex writer(R"(\bStep::(write\w+Failure)\s*\()");
      for (std::sregex_iterator it(file.code.begin(), file.code.end(), writer), end; it != end; ++it) {
        const std::size_t open = file.code.find('{', static_cast<std::size_t>(it->position(0)));
        const std::string body = file.code.substr(open, Closing(file.code, open) - open);
        static const std::regex literal(R"("(?:[^"\\]|\\.)*")");
        auto &texts = facts.forms[(*it)[1]];
        for (std::sregex_iterator l(body.begin(), body.end(), literal), lend; l != lend; ++l) {
          texts.push_back(std::regex_replace(*StringLiteral(l->str()), std::regex("%d"), "STATUS"));
        }
      }
    }
  }
  return facts;
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
  std::vector<std::string> stepHeadings;  // exports named by headings
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
        entry.def = Canonical(entry.reader, text);
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
      labels.push_back({table.step, code.value_or(""),
                        name + ":" + std::to_string(table.line + 2 + static_cast<int>(r))});
    }
  }
  return labels;
}

// The exports the public header declares, other than the version query.
std::set<std::string> DeclaredSteps() {
  std::set<std::string> steps;
  const std::string header = StripComments(ReadWhole(kRoot / "include" / "Vorn_CMU200.h"));
  static const std::regex declaration(R"(VORN_CMU200_CALL\s+(Vorn_CMU200_\w+)\s*\()");
  for (std::sregex_iterator it(header.begin(), header.end(), declaration), end; it != end; ++it) {
    if ((*it)[1] != "Vorn_CMU200_GetVersion") steps.insert((*it)[1]);
  }
  return steps;
}

// The values of an INI text by (section, key), both case folded, as the text
// reader gives them: cut at "//" and "/*", trimmed.
std::map<std::pair<std::string, std::string>, std::string> IniValues(const std::string &text) {
  std::map<std::pair<std::string, std::string>, std::string> values;
  std::istringstream in(text);
  std::string line, section;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty()) continue;
    if (line.front() == '[') {
      section = Lower(Trim(line.substr(1, line.find(']') - 1)));
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string value = line.substr(eq + 1);
    for (const char *comment : {"//", "/*"}) value = value.substr(0, value.find(comment));
    values.emplace(std::make_pair(section, Lower(Trim(line.substr(0, eq)))), Trim(value));
  }
  return values;
}

// ---- The checks -------------------------------------------------------------------

class DocsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    code_ = new CodeFacts(ReadCode());
    parameters_ = new Document(ReadDocument("parameters.md"));
    failures_ = new Document(ReadDocument("failures.md"));
  }
  static void TearDownTestSuite() {
    delete code_;
    delete parameters_;
    delete failures_;
  }
  static CodeFacts *code_;
  static Document *parameters_;
  static Document *failures_;
};

CodeFacts *DocsTest::code_ = nullptr;
Document *DocsTest::parameters_ = nullptr;
Document *DocsTest::failures_ = nullptr;

TEST_F(DocsTest, TheCodeCanBeRead) {
  for (const std::string &problem : code_->problems) ADD_FAILURE() << problem;
  EXPECT_FALSE(code_->keys.empty()) << "no key read found under src/";
}

TEST_F(DocsTest, EveryStepHasItsSectionInBothReferences) {
  const std::set<std::string> declared = DeclaredSteps();
  for (const Document *doc : {parameters_, failures_}) {
    const std::set<std::string> headed(doc->stepHeadings.begin(), doc->stepHeadings.end());
    for (const std::string &step : declared) {
      EXPECT_TRUE(headed.count(step)) << step << " has no section in "
                                      << (doc == parameters_ ? "parameters.md" : "failures.md");
    }
    for (const std::string &step : headed) {
      EXPECT_TRUE(declared.count(step)) << step << " is documented but not exported";
    }
  }
}

TEST_F(DocsTest, EveryKeyReadIsDocumentedWithItsReaderAndDefault) {
  const std::vector<DocKey> documented = DocumentedKeys(*parameters_, "parameters.md");
  for (const KeyRead &read : code_->keys) {
    bool found = false, elsewhere = false;
    for (const DocKey &doc : documented) {
      if (doc.key != read.key || doc.section != read.section || doc.reader != read.reader ||
          doc.def != read.def) {
        continue;
      }
      if (read.step.empty() || doc.step == read.step) found = true;
      else elsewhere = true;
    }
    EXPECT_TRUE(found) << read.where << ": key \"" << read.key << "\" (" << read.reader
                       << ", default " << read.def << ", section " << read.section << ")"
                       << (read.step.empty() ? "" : " of " + read.step)
                       << (elsewhere ? " is documented under another step" : " is not in parameters.md");
  }
}

TEST_F(DocsTest, EveryDocumentedKeyIsRead) {
  for (const DocKey &doc : DocumentedKeys(*parameters_, "parameters.md")) {
    bool found = false;
    for (const KeyRead &read : code_->keys) {
      const bool stepMatches = read.step.empty() || read.step == doc.step;
      found = found || (read.key == doc.key && read.section == doc.section &&
                        read.reader == doc.reader && read.def == doc.def && stepMatches);
    }
    EXPECT_TRUE(found) << doc.where << ": key \"" << doc.key << "\" (" << doc.reader << ", default "
                       << doc.def << ") under " << (doc.step.empty() ? "no step" : doc.step)
                       << " is not read so by the code";
  }
}

TEST_F(DocsTest, EveryFailureTextIsDocumented) {
  const std::vector<DocLabel> documented = DocumentedLabels(*failures_, "failures.md");
  for (const auto &[label, steps] : code_->labels) {
    for (const std::string &step : steps) {
      const bool found = std::any_of(documented.begin(), documented.end(), [&](const DocLabel &doc) {
        return doc.text == label && (step.empty() || doc.step == step);
      });
      EXPECT_TRUE(found) << code_->labelWhere.at(label + "\n" + step) << ": \"" << label << "\""
                         << (step.empty() ? "" : " of " + step) << " is not in failures.md";
    }
  }
}

TEST_F(DocsTest, EveryDocumentedFailureTextIsWritten) {
  for (const DocLabel &doc : DocumentedLabels(*failures_, "failures.md")) {
    const auto it = code_->labels.find(doc.text);
    const bool found = it != code_->labels.end() &&
                       (it->second.count(doc.step) > 0 || it->second.count("") > 0);
    EXPECT_TRUE(found) << doc.where << ": \"" << doc.text << "\" under " << doc.step
                       << " is not written by that step";
  }
}

TEST_F(DocsTest, TheFailureFormsAreDocumentedAsBuilt) {
  EXPECT_EQ(code_->forms.size(), 4u) << "the frame's failure writers were not found";
  const DocTable *forms = nullptr;
  for (const DocTable &table : failures_->tables) {
    if (!table.header.empty() && table.header[0] == "Form") forms = &table;
  }
  ASSERT_NE(forms, nullptr) << "failures.md has no table of the failure forms";
  for (const auto &[writer, literals] : code_->forms) {
    // writeTesterCodedFailure is the "tester coded form".
    std::string name;
    for (char c : writer.substr(5, writer.size() - 5 - 7)) {
      if (std::isupper(static_cast<unsigned char>(c)) && !name.empty()) name += ' ';
      name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    name += " form";
    const auto row = std::find_if(forms->rows.begin(), forms->rows.end(),
                                  [&](const auto &cells) { return cells.size() > 1 && cells[0] == name; });
    ASSERT_NE(row, forms->rows.end()) << "no row for the " << name;
    const std::string text = Code((*row)[1]).value_or("");
    std::size_t at = 0;
    for (const std::string &literal : literals) {
      const std::size_t found = text.find(literal, at);
      EXPECT_NE(found, std::string::npos) << "the " << name << " `" << text << "` lacks \"" << literal << "\"";
      if (found != std::string::npos) at = found + literal.size();
    }
  }
}

TEST_F(DocsTest, ExampleParameterFilesUseOnlyDocumentedKeys) {
  std::set<std::string> stepKeys, fixed;
  for (const DocKey &doc : DocumentedKeys(*parameters_, "parameters.md")) {
    (doc.section == "step" ? stepKeys : fixed).insert(Lower(doc.section == "step" ? doc.key
                                                                                : doc.section + "/" + doc.key));
  }
  std::vector<std::pair<std::string, std::string>> files = parameters_->iniBlocks;
  ASSERT_FALSE(files.empty()) << "parameters.md has no example file";
  if (fs::exists(kRoot / "examples" / "station.ini")) {
    files.push_back({ReadWhole(kRoot / "examples" / "station.ini"), "examples/station.ini"});
  }
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
  for (const fs::path &folder : {kRoot / "platform", kRoot / "host" / "alldata"}) {
    for (const auto &file : fs::recursive_directory_iterator(folder)) {
      if (!file.is_regular_file() || file.path().extension() != ".cpp") continue;
      const std::string code = ReadWhole(file.path());
      for (std::sregex_iterator it(code.begin(), code.end(), entry), end; it != end; ++it) ops.insert((*it)[1]);
    }
  }
  return ops;
}

TEST_F(DocsTest, SimulatedStationNamesRealOperationsAndStatuses) {
  const std::string doc = ReadWhole(kRoot / "docs" / "simulated-station.md");
  const std::set<std::string> ops = StandInOperations();
  // Every fault text and every operation named in code spans is one the stand-ins answer.
  static const std::regex fault(R"(`(\w+)=-?\d+(@\d+\+?)?`)");
  int faults = 0;
  for (std::sregex_iterator it(doc.begin(), doc.end(), fault), end; it != end; ++it, ++faults) {
    EXPECT_TRUE(ops.count((*it)[1])) << "simulated-station.md faults " << (*it)[1] << ", which no stand-in answers";
  }
  EXPECT_GT(faults, 0) << "simulated-station.md shows no fault";
  // The driver statuses of the simulated tester, in hex and decimal, as the code defines them.
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
  const fs::path station = kRoot / "examples" / "station.ini";
  if (!fs::exists(station)) GTEST_SKIP() << "no examples/station.ini";
  ASSERT_FALSE(parameters_->iniBlocks.empty());
  const auto documented = IniValues(parameters_->iniBlocks.back().first);
  const auto run = IniValues(ReadWhole(station));
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
