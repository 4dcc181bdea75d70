#include "tools/report/page_parts.h"

namespace vorn_reports {

namespace {

constexpr const char *kStyle = R"(<style>
body{font-family:sans-serif;margin:24px;color:#222;background:#fff;max-width:1500px}
h1{font-size:22px;margin:0 0 8px}h2{font-size:17px;margin:26px 0 8px;border-bottom:1px solid #ccc}
h3{font-size:14px;margin:8px 0 4px}
table{border-collapse:collapse;font-size:13px;margin:6px 0}td,th{border:1px solid #ccc;padding:3px 7px;text-align:left}
th{background:#f2f2f2}td.num{text-align:right;font-variant-numeric:tabular-nums}
.PASS{color:#17692d;font-weight:bold}.FAIL,.ERROR{color:#b00;font-weight:bold}
tr.miss td{background:#fde2e2}.plots{display:flex;flex-wrap:wrap;gap:12px}
.meas{border:1px solid #ddd;padding:6px;margin:8px 0}.meas h3{font-size:14px;margin:2px 0}
dl{display:grid;grid-template-columns:max-content auto;gap:2px 14px;margin:0}dt{font-weight:bold}dd{margin:0}
.summary{border:1px solid #bbb;background:#fafafa;padding:8px 14px;margin:10px 0}
.summary .top{display:flex;flex-wrap:wrap;gap:40px}.summary ol{margin:4px 0;padding-left:22px;font-size:13px}
td.cpk.amber{background:#ffe3a8;color:#7a4b00;font-weight:bold}td.cpk.red{background:#f7b7b7;color:#8b0000;font-weight:bold}
details{margin:10px 0}summary{cursor:pointer}summary h2{display:inline-block;margin:14px 0 6px;border:none}
.why{border:2px solid #b00;background:#fff3f3;padding:8px 14px;margin:10px 0}.why h2{margin:4px 0;border:none;color:#b00}
.why ul{margin:4px 0;padding-left:20px}.why li{margin:3px 0}.why .check{color:#555}
.stopped{border:2px solid #886600;background:#fffbe8;padding:8px 14px;margin:10px 0}
p.simulated,p.left-out{color:#555;margin:4px 0}code{background:#f2f2f2;padding:1px 4px}
</style>)";

}  // namespace

std::string Head(const std::string &title) {
  return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" + vorn_plots::Escape(title) +
         "</title>" + kStyle + "</head><body>\n";
}

std::string LimitText(const std::optional<double> &low, const std::optional<double> &high) {
  if (!low && !high) return "";
  if (low && high && *low == *high) return vorn_plots::Number(*low, 4);
  return (low ? vorn_plots::Number(*low, 4) : "") + ".." + (high ? vorn_plots::Number(*high, 4) : "");
}

std::string Short(const std::string &exportName) {
  const std::string prefix = "Vorn_CMU200_";
  return exportName.compare(0, prefix.size(), prefix) == 0 ? exportName.substr(prefix.size()) : exportName;
}

std::string CpkClass(const vorn_plots::Capability &c) {
  if (!c.cpk) return "cpk";
  return *c.cpk < 1.0 ? "cpk red" : *c.cpk < 1.33 ? "cpk amber" : "cpk";
}

}  // namespace vorn_reports
