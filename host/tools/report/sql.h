// The report's statements: values only ever as bound parameters.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "outputs/results/database.h"
#include "tools/report/source.h"

namespace vorn_reports {

// A statement and its parameters, built together: a value only ever goes in
// as a parameter, typed by a CAST where the engine cannot tell its type.
// SQLite numbers $N parameters in the order they first appear in the text,
// so each is marked where it goes and numbered in the text's order at the end,
// whatever order the parts of an expression were made in.
class Sql {
 public:
  Sql() = default;
  explicit Sql(const Scope &scope) : text_(scope.with), params_(scope.params), fixed_(scope.params.size()) {}
  Sql &operator<<(const std::string &text) {
    text_ += text;
    return *this;
  }
  std::string param(const std::string &value) {
    params_.emplace_back(value);
    return kMark + std::to_string(params_.size() - 1) + kMark;
  }
  std::string real(double value) { return "CAST(" + param(vorn_results::NumberText(value)) + " AS DOUBLE PRECISION)"; }
  std::string integer(int64_t value) { return "CAST(" + param(std::to_string(value)) + " AS INTEGER)"; }
  bool run(const Source &src, const RowHandler &onRow, std::string &error) const {
    std::string text;
    std::vector<Value> params(params_.begin(), params_.begin() + static_cast<std::ptrdiff_t>(fixed_));
    for (std::size_t at = 0; at < text_.size();) {
      const std::size_t mark = text_.find(kMark, at);
      text += text_.substr(at, mark == std::string::npos ? std::string::npos : mark - at);
      if (mark == std::string::npos) break;
      const std::size_t end = text_.find(kMark, mark + 1);
      params.push_back(params_.at(std::stoul(text_.substr(mark + 1, end - mark - 1))));
      text += "$" + std::to_string(params.size());
      at = end + 1;
    }
    return src.query(text, params, onRow, error);
  }

 private:
  static constexpr char kMark = '\x1f';  // never in the statements' own text
  std::string text_;
  std::vector<Value> params_;
  std::size_t fixed_ = 0;  // the scope's, already numbered
};

// The first row of a statement, to take.
inline bool One(const Source &src, const Sql &sql, const std::function<void(const Row &)> &take, std::string &error) {
  return sql.run(
      src,
      [&](const Row &r) {
        take(r);
        return false;
      },
      error);
}

}  // namespace vorn_reports
