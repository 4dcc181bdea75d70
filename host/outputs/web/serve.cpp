#include "outputs/web/serve.h"

#include <cstring>
#include <iterator>

#include "core/catalogue.h"
#include "plots/plots.h"

namespace vorn_host::web {
namespace {

// A number attribute of an <svg> element's start tag, 0 when absent.
double Attribute(const std::string &svg, const std::string &name) {
  const std::size_t tag = svg.find('>');
  const std::size_t at = svg.find(" " + name + "=\"");
  if (at == std::string::npos || at > tag) return 0.0;
  return std::strtod(svg.c_str() + at + name.size() + 3, nullptr);
}

}  // namespace

bool ScannedUnits::next(std::string &serial) {
  UnitOrder order;
  if (!nextOrder(order)) return false;
  serial = order.serial;
  return true;
}

bool ScannedUnits::take(const Action &action, bool confirmed, UnitOrder &order) {
  ScanDecision d;
  if (scans_ != nullptr) {
    d = scans_->decide(action.serial, action.operatorName, confirmed);
  } else {
    d.order.serial = action.serial;
    d.order.operatorName = action.operatorName;
  }
  switch (d.kind) {
    case ScanDecision::Kind::kRefused: screen_.refuse(action.socket, action.serial, d.message, d.repair); return false;
    case ScanDecision::Kind::kConfirm:
      screen_.askConfirm(action.socket, action.serial, d.message, action.operatorName);
      return false;
    case ScanDecision::Kind::kTest: break;
  }
  if (!d.note.empty()) screen_.noteTaken(action.socket, d.note);
  order = d.order;
  order.retest = false;  // the operator retests it by scanning it again
  order.socket = action.socket;
  return true;
}

bool ScannedUnits::nextOrder(UnitOrder &order) {
  for (;;) {
    if (screen_.stopRequested() || screen_.closed()) return false;
    const std::optional<Action> action = screen_.nextAction(std::chrono::seconds(1));
    if (!action) continue;
    if (action->kind == Action::Kind::kStop) return false;
    const bool confirmed = action->kind == Action::Kind::kConfirm;
    if ((action->kind == Action::Kind::kStart || confirmed) && take(*action, confirmed, order)) return true;
  }
}

StationPromptWatch::StationPromptWatch(Screen &screen, std::function<bool(std::string &)> look) {
  thread_ = std::thread([this, &screen, look = std::move(look)] {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!ending_) {
      std::string text;
      const bool open = look(text);
      screen.setStationPrompt(open ? std::optional<std::string>(text) : std::nullopt);
      wake_.wait_for(lock, std::chrono::milliseconds(250), [this] { return ending_; });
    }
    screen.setStationPrompt(std::nullopt);
  });
}

StationPromptWatch::~StationPromptWatch() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

namespace {

// The page draws a plot at about 0.6 of its size at 1280x800: its words are
// set larger than the reports' (11 and 13) to read 12 px or more there, and
// the turned axis name moves right by as much as its letters grew.
std::string Legible(std::string svg) {
  const std::pair<const char *, const char *> larger[] = {
      {" font-size=\"11\"", " font-size=\"20\""},
      {" font-size=\"13\"", " font-size=\"22\""},
      {"translate(12 ", "translate(18 "},
  };
  for (const auto &[from, to] : larger) {
    for (std::size_t at = svg.find(from); at != std::string::npos; at = svg.find(from, at + 1)) {
      svg.replace(at, std::strlen(from), to);
    }
  }
  return svg;
}

// One band's two spectra, one below the other; empty when neither was measured.
std::string BandSvg(const std::vector<vorn_plots::SpectrumPoint> (&points)[2], const std::string &band) {
  using vorn_plots::SpectrumKind;
  const char *titles[2] = {"Spectrum due to modulation, ", "Spectrum due to switching, "};
  std::string inner;
  double width = 0.0;
  double height = 0.0;
  for (int k = 0; k < 2; ++k) {
    if (points[k].empty()) continue;
    std::string svg = Legible(vorn_plots::SpectrumSvg(k == 0 ? SpectrumKind::kModulation : SpectrumKind::kSwitching,
                                                      titles[k] + band, points[k]));
    const double h = Attribute(svg, "height");
    width = std::max(width, Attribute(svg, "width"));
    // Nested, one below the other.
    svg.insert(4, " y=\"" + vorn_plots::Number(height, 1) + "\"");
    inner += svg;
    height += h;
  }
  if (inner.empty()) return "";
  const std::string w = vorn_plots::Number(width, 1);
  const std::string h = vorn_plots::Number(height, 1);
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w + "\" height=\"" + h + "\" viewBox=\"0 0 " + w + " " +
         h + "\">" + inner + "</svg>";
}

}  // namespace

std::vector<BandPlot> SpectrumPlots(const RunRecord &run) {
  const std::vector<std::optional<Setting>> settings = Settings(run);
  std::vector<BandPlot> failing, passing;
  for (std::size_t i = 0; i < run.steps.size(); ++i) {
    std::vector<vorn_plots::SpectrumPoint> points[2];
    bool failed = false;
    for (const EntryResult &entry : run.steps[i].entries) {
      if (!entry.name || !entry.value) continue;
      const std::optional<vorn_plots::SpectrumName> name = vorn_plots::ParseSpectrumName(*entry.name);
      if (!name) continue;
      vorn_plots::SpectrumPoint point;
      point.offsetKhz = name->offsetKhz;
      point.value = *entry.value;
      if (entry.limit) {
        point.low = entry.limit->low;
        point.high = entry.limit->high;
      }
      failed = failed || !entry.passed;
      points[name->kind == vorn_plots::SpectrumKind::kModulation ? 0 : 1].push_back(point);
    }
    BandPlot plot;
    plot.title = settings[i] ? settings[i]->text() : "band not known";
    plot.failed = failed;
    plot.svg = BandSvg(points, plot.title);
    if (!plot.svg.empty()) (failed ? failing : passing).push_back(std::move(plot));
  }
  failing.insert(failing.end(), std::make_move_iterator(passing.begin()), std::make_move_iterator(passing.end()));
  return failing;
}

}  // namespace vorn_host::web
