#include "outputs/web/serve.h"

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
  for (;;) {
    if (screen_.stopRequested() || screen_.closed()) return false;
    screen_.setState(SessionState::kIdle);
    const std::optional<Action> action = screen_.nextAction(std::chrono::seconds(1));
    if (!action) continue;
    if (action->kind == Action::Kind::kStop) return false;
    if (action->kind != Action::Kind::kStart) continue;
    const std::string problem = SerialProblem(action->serial);
    if (!problem.empty()) {
      screen_.setNotice(problem);
      continue;
    }
    serial = action->serial;
    return true;
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

std::string SpectrumPlot(const RunRecord &run) {
  using vorn_plots::SpectrumKind;
  std::vector<vorn_plots::SpectrumPoint> points[2];
  for (const StepRecord &step : run.steps) {
    for (const EntryResult &entry : step.entries) {
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
      points[name->kind == SpectrumKind::kModulation ? 0 : 1].push_back(point);
    }
  }
  const char *titles[2] = {"Spectrum due to modulation", "Spectrum due to switching"};
  std::string inner;
  double width = 0.0;
  double height = 0.0;
  for (int k = 0; k < 2; ++k) {
    if (points[k].empty()) continue;
    std::string svg =
        vorn_plots::SpectrumSvg(k == 0 ? SpectrumKind::kModulation : SpectrumKind::kSwitching, titles[k], points[k]);
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

}  // namespace vorn_host::web
