#include "station/simulation.h"

#include "station/alldata/container.h"
#include "station/faults.h"
#include "station/station.h"

namespace vorn_host {

namespace {

std::string Status(int64_t status) { return std::to_string(status); }

// A GPIB address where nothing of the station listens.
constexpr int32_t kEmptyAddress = 30;

}  // namespace

const std::vector<Scenario> &Scenarios() {
  static const std::vector<Scenario> list = {
      {"supply-absent",
       "no supply answers at its GPIB address",
       {},
       [](station::Station &st) { st.supply.setGpibAddress(kEmptyAddress); }},
      {"tester-absent",
       "no tester answers at its GPIB address",
       {},
       [](station::Station &st) { st.tester.gpibAddress = kEmptyAddress; }},
      {"no-com-port",
       "the station computer has only COM1 and COM2",
       {},
       [](station::Station &st) {
         st.phone.setPorts({1, 2});
       }},
      {"phone-off",
       "the phone stays off: neither the supply nor the operator starts it",
       {},
       [](station::Station &st) { st.phone.setStaysOff(true); }},
      {"phone-off-until-prompt",
       "the supply does not start the phone: the operator does, at the prompt",
       {},
       [](station::Station &st) { st.phone.setNeedsPowerKey(true); }},
      {"phone-normal-mode",
       "the phone restarts in normal mode whatever it is asked for",
       {},
       [](station::Station &st) { st.phone.setStaysInNormalMode(true); }},
      {"phone-without-egsm",
       "the phone lacks the EGSM band: it never camps on the EGSM cell",
       {},
       [](station::Station &st) {
         st.phone.setBands({2, 3, 4});
       }},
      {"handover-refused",
       "the tester refuses every handover",
       {"RSCMU_GSM_Sig_HandOver=" + Status(station::kErrorHandoverTarget) + "@1+"}},
      {"marginal-phones",
       "about 1 phone in 20 misses a limit: power, timing, spectrum or RX level",
       {},
       [](station::Station &st) { st.phone.setMarginal(true); },
       true},
      {"silent-phones",
       "a phone whose serial ends in 0 never answers: every tenth unit of --units",
       {},
       [](station::Station &st) { st.phone.setSilentPhones(true); },
       true},
      {"power-drift",
       "the phones' DCS 1800 power drifts up 0.05 dB a unit: a slow process drift",
       {},
       [](station::Station &st) { st.phone.setPowerDrift(2, 0.05); },
       true},
      {"cable-drift",
       "the fixture's cables lost 1.5 dB more on DCS and PCS, 0.2 dB below 1 GHz",
       {},
       [](station::Station &st) {
         st.fixture.addDrift(0.0, 1.0e9, 0.2);    // GSM850 and EGSM
         st.fixture.addDrift(1.0e9, 3.0e9, 1.5);  // DCS 1800 and PCS 1900
       },
       true},
  };
  return list;
}

const Scenario *FindScenario(const std::string &name) {
  for (const Scenario &s : Scenarios()) {
    if (name == s.name) return &s;
  }
  return nullptr;
}

SimulatedStation::SimulatedStation(std::FILE *answers, std::FILE *questions)
    : answers_(answers), questions_(questions) {
  alldata::Watch({station::BeginWatchedCall, station::EndWatchedCall});
}

std::string SimulatedStation::scenarioList() const {
  std::string text;
  char line[160];
  for (const Scenario &s : Scenarios()) {
    std::snprintf(line, sizeof line, "%-18s %s\n", s.name, s.what);
    text += line;
  }
  return text;
}

std::string SimulatedStation::operationList() const { return OperationList(); }

bool SimulatedStation::breaksStation(const std::string &scenario) const {
  const Scenario *s = FindScenario(scenario);
  return s != nullptr && !s->population;
}

bool SimulatedStation::setUp(bool virtualClock, const std::vector<std::string> &scenarios,
                             const std::vector<std::string> &faults, std::vector<std::string> &faultsApplied,
                             std::string &error) {
  station::Station &st = station::station();
  st.clock.setVirtual(virtualClock);
  for (const std::string &name : scenarios) {
    const Scenario *scenario = FindScenario(name);
    if (scenario == nullptr) {
      error = "unknown scenario \"" + name + "\" (--scenario list shows them)";
      return false;
    }
    if (scenario->setUp != nullptr) scenario->setUp(st);
    for (const std::string &text : scenario->faults) faultsApplied.push_back(text);
  }
  for (const std::string &text : faults) faultsApplied.push_back(text);
  for (const std::string &text : faultsApplied) {
    error = FaultProblem(text);
    if (!error.empty()) return false;
    if (!st.faults.addText(text)) {
      error = "malformed fault \"" + text + "\" (OP=STATUS, OP=STATUS@N or OP=STATUS@N+)";
      return false;
    }
  }
  return true;
}

uint64_t SimulatedStation::waitedMs() const { return station::station().clock.nowMs(); }

void SimulatedStation::onWait(std::function<void(uint32_t milliseconds)> listener) {
  station::station().clock.setListener(std::move(listener));
}

bool SimulatedStation::askOperator(const std::string &question, std::string &answer) {
  return AskAtTerminal(answers_, questions_, question, answer);
}

void SimulatedStation::newUnit(const std::string &serial) {
  station::Station &st = station::station();
  st.phone.replace(serial);
  st.journal.forgetCalls();
}

void SimulatedStation::onPrompt(std::function<std::optional<bool>(const std::string &text)> answer) {
  if (!answer) {
    station::station().operatorPrompt = nullptr;
    return;
  }
  station::station().operatorPrompt = [answer = std::move(answer)](std::string_view text) {
    return answer(std::string(text));
  };
}

}  // namespace vorn_host

extern "C" vorn_host::Simulation *VornHost_NewSimulation(std::FILE *answers, std::FILE *questions) {
  return new vorn_host::SimulatedStation(answers, questions);
}
