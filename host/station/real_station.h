// A station of vendor equipment as the host sees it, and how the host finds
// out, once the library is loaded, whose equipment libraries answer it.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/equipment.h"

namespace vorn_host {

// The equipment libraries the library imports, by stem.
const std::vector<std::string> &EquipmentLibraries();

// Whose equipment libraries are in the process: the project's stand-ins
// (each answers its VornStandIn_<stem> query) or others.
struct EquipmentFound {
  std::vector<std::string> standIns;
  std::vector<std::string> others;
  std::vector<std::string> missing;  // not loaded at all

  bool simulated() const { return others.empty() && missing.empty() && !standIns.empty(); }
  // Empty when the set is whole and of one kind; else why the run cannot start.
  std::string problem() const;
};
EquipmentFound FindEquipment();

// Real equipment: the waits inside a step are the library's and the
// instruments', which the host cannot see one by one, so the time a step
// spends in the library, on the wall clock, is its wait; no wait is
// announced. The operator answers at the terminal; a new unit is the
// operator's to put in the fixture.
class RealStation final : public Equipment {
 public:
  explicit RealStation(std::FILE *answers = stdin, std::FILE *questions = stderr)
      : answers_(answers), questions_(questions) {}

  uint64_t waitedMs() const override;
  void onWait(std::function<void(uint32_t milliseconds)> listener) override { (void)listener; }
  bool askOperator(const std::string &question, std::string &answer) override {
    return AskAtTerminal(answers_, questions_, question, answer);
  }
  void newUnit(const std::string &serial) override { (void)serial; }
  // The vendor library asks through its own message box (user32's on the
  // station), which no one else can answer: its prompts stay its own.
  void onPrompt(std::function<std::optional<bool>(const std::string &text)> answer) override { (void)answer; }

 private:
  std::FILE *answers_;
  std::FILE *questions_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace vorn_host
