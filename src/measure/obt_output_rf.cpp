// Output RF spectrum: the spectrum due to modulation at eleven offsets and due
// to switching at four, each offset switched on or off by its own key, measured
// in one combined measurement and handed back lower side then upper side.
#include <cstring>

#include "Vorn_CMU200.h"
#include "frame/step.h"
#include "outside/rscmu.h"
#include "tester/fails.h"
#include "tester/tester_state.h"
#include "tester/tester_step.h"

namespace {

constexpr std::size_t kKeySize = 50;
using OffsetKey = char[kKeySize];

// The offsets, in point order: each key is its parameter key and the source of its names.
constexpr OffsetKey kModulationKeys[] = {
    "Mod +/-0.10MHZ Enable", "Mod +/-0.20MHZ Enable", "Mod +/-0.25MHZ Enable", "Mod +/-0.40MHZ Enable",
    "Mod +/-0.60MHZ Enable", "Mod +/-0.80MHZ Enable", "Mod +/-1.00MHZ Enable", "Mod +/-1.20MHZ Enable",
    "Mod +/-1.40MHZ Enable", "Mod +/-1.60MHZ Enable", "Mod +/-1.80MHZ Enable",
};
constexpr OffsetKey kSwitchingKeys[] = {
    "Swit +/-0.40MHZ Enable",
    "Swit +/-0.60MHZ Enable",
    "Swit +/-1.20MHZ Enable",
    "Swit +/-1.80MHZ Enable",
};
constexpr int kModulationPoints = sizeof kModulationKeys / sizeof kModulationKeys[0];
constexpr int kSwitchingPoints = sizeof kSwitchingKeys / sizeof kSwitchingKeys[0];

// The fetched array: point p's lower value at centre - p, its upper at centre + p.
constexpr int kSpectrumValues = 32;
constexpr int kModulationCentre = 11;
constexpr int kSwitchingCentre = 27;

using PointOperation = int32_t(RSCMU_CALL *)(int32_t sig, int32_t point, int32_t on, char *msg);

// Reads each point's key and tells the tester, alternating; any non-zero value
// switches the point on and reaches the tester as read. True at the first failure.
bool ConfigurePoints(vorn::Step &step, int32_t sig, const OffsetKey *keys, int points, PointOperation configure,
                     const char *label, bool *on, char *msg) {
  for (int p = 1; p <= points; ++p) {
    const int32_t value = step.ReadInt(keys[p - 1], 1);
    if (vorn::tester::fails(step, configure(sig, p, value, msg), label)) return true;
    on[p - 1] = value != 0;
  }
  return false;
}

// The name text of an offset: what follows "+/-" in its key, with "Enable"
// replaced by the spectrum's kind ("0.10MHZ Modulation Spectrum").
void NameText(const char *key, const char *kind, char (&text)[kKeySize + 32]) {
  text[0] = '\0';
  const char *offset = std::strstr(key, "+/-");
  if (offset == nullptr) return;
  std::strncpy(text, offset + 3, kKeySize);
  text[kKeySize] = '\0';
  if (char *enable = std::strstr(text, "Enable")) {
    const std::size_t room = sizeof text - static_cast<std::size_t>(enable - text);
    std::strncpy(enable, kind, room - 1);
    text[sizeof text - 1] = '\0';
  }
}

// Writes the switched-on points' lower and upper values with their names from
// entry n; returns the entry after the last one written.
int WritePairs(vorn::Step &step, const OffsetKey *keys, const bool *on, int points, int centre, const char *kind,
               const double *spectrum, int n) {
  char text[kKeySize + 32];
  for (int p = 1; p <= points; ++p) {
    if (!on[p - 1]) continue;
    NameText(keys[p - 1], kind, text);
    step.setValue(n, spectrum[centre - p]);
    step.setName(n, "-%s", text);
    step.setValue(n + 1, spectrum[centre + p]);
    step.setName(n + 1, "+%s", text);
    n += 2;
  }
  return n;
}

}  // namespace

extern "C" VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_OBTOutputRFSpectrum(int32_t number, double *values,
                                                                                    Vorn_CMU200_ResultName *names,
                                                                                    char *errorText) {
  using vorn::tester::fails;
  vorn::Step step(number, values, names, errorText);
  const int32_t sig = vorn::testerState.sigSession;
  vorn::DriverMessage msg;
  bool modulationOn[kModulationPoints] = {};
  bool switchingOn[kSwitchingPoints] = {};

  if (ConfigurePoints(step, sig, kModulationKeys, kModulationPoints, RSCMU_GSM_Sig_ConfSpecModContMpo,
                      "RSCMU_GSM_Sig_ConfSpecModContMpo", modulationOn, msg))
    return step.failed();
  if (fails(step, RSCMU_GSM_Sig_ConfSpecModCont(sig, 1, 10, msg), "RSCMU_GSM_Sig_ConfSpecModCont"))
    return step.failed();
  if (fails(step, RSCMU_GSM_Sig_ConfSpecModContRep(sig, 1, 0, 0, msg), "RSCMU_GSM_Sig_ConfSpecModContRep"))
    return step.failed();
  if (fails(step, RSCMU_GSM_Sig_ConfSpecMSwContRep(sig, 1, 0, 0, msg), "RSCMU_GSM_Sig_ConfSpecMSwContRep"))
    return step.failed();
  if (ConfigurePoints(step, sig, kSwitchingKeys, kSwitchingPoints, RSCMU_GSM_Sig_ConfSpecSwitContMpo,
                      "RSCMU_GSM_Sig_ConfSpecSwitContMpo", switchingOn, msg))
    return step.failed();
  if (fails(step, RSCMU_GSM_Sig_ConfSpecSwitCont(sig, 1, 10, msg), "RSCMU_GSM_Sig_ConfSpecSwitCont"))
    return step.failed();
  if (fails(step, RSCMU_GSM_Sig_ConfSpecSwitContRep(sig, 1, 0, 0, msg), "RSCMU_GSM_Sig_ConfSpecSwitContRep"))
    return step.failed();
  if (fails(step, RSCMU_GSM_Sig_InitSpecMSw(sig, msg), "RSCMU_GSM_Sig_InitSpecMSw")) return step.failed();
  double spectrum[kSpectrumValues] = {};
  if (fails(step, RSCMU_GSM_Sig_FetcArrSpecMSw(sig, spectrum, msg), "RSCMU_GSM_Sig_FetcArrSpecMSw"))
    return step.failed();

  const int next = WritePairs(step, kModulationKeys, modulationOn, kModulationPoints, kModulationCentre,
                              "Modulation Spectrum", spectrum, 1);
  WritePairs(step, kSwitchingKeys, switchingOn, kSwitchingPoints, kSwitchingCentre, "Switching Spectrum", spectrum,
             next);
  return step.succeeded();
}
