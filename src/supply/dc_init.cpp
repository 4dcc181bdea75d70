// The DC supply step: powers the phone from the programmable supply over VISA.
#include <cstdio>
#include <cstring>

#include "Vorn_CMU200.h"
#include "frame/step.h"
#include "outside/visa.h"
#include "outside/winapi.h"
#include "supply/fails.h"

namespace {

using vorn::supply::fails;

// The voltage and current texts go to the supply as they are, but no longer
// than the supply's settings were ever meant to be.
constexpr std::size_t kSettingSize = 20;
constexpr std::size_t kCommandSize = 512;
constexpr uint32_t kOutputOffWaitMs = 500;
constexpr uint32_t kOutputOnWaitMs = 1000;

// A setting that does not fit, or that holds nothing but blanks, is refused
// under the label of the command it was meant for: the supply would refuse an
// empty one and keep whatever setpoint it had before.
bool refuses(vorn::Step &step, const vorn::ParamText &setting, const char *label) {
  const char *text = setting.c_str();
  const bool fits = strnlen(text, kSettingSize) < kSettingSize;
  if (fits && text[std::strspn(text, " \t")] != '\0') return false;
  step.writeSupplyFailure(label);
  return true;
}

// Writes one command, without terminator: the byte count is the length of its text.
ViStatus Write(ViSession instrument, const char *command) {
  ViUInt32 written = 0;
  return viWrite(instrument, reinterpret_cast<const unsigned char *>(command),
                 static_cast<ViUInt32>(std::strlen(command)), &written);
}

struct Settings {
  vorn::ParamText resource;
  vorn::ParamText voltage;
  vorn::ParamText current;
  int32_t reset;
};

// The supply's set-up through an open resource manager, up to its output
// switched on. True when an operation failed (the text is written).
bool SetUpFails(vorn::Step &step, ViSession resourceManager, const Settings &s, ViSession &instrument) {
  char command[kCommandSize];
  if (fails(step, viOpen(resourceManager, s.resource.c_str(), VI_NO_LOCK, VI_TMO_IMMEDIATE, &instrument), "GPIB"))
    return true;
  if (fails(step, viClear(instrument), "viClear")) return true;
  if (s.reset == 1) {
    if (fails(step, Write(instrument, "OUTP OFF"), "DC_Output_Off")) return true;
    Sleep(kOutputOffWaitMs);
  }
  std::snprintf(command, sizeof command, "VOLT %s", s.voltage.c_str());
  if (fails(step, Write(instrument, command), "DC_Voltage_4V")) return true;
  std::snprintf(command, sizeof command, "CURR %s", s.current.c_str());
  if (fails(step, Write(instrument, command), "DC_Current_3A")) return true;
  if (fails(step, Write(instrument, "OUTP ON"), "DC_Output_On")) return true;
  return false;
}

}  // namespace

extern "C" VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_DcInit(int32_t number, double *values,
                                                                       Vorn_CMU200_ResultName *names, char *errorText) {
  vorn::Step step(number, values, names, errorText);
  Settings settings;
  // A LAN resource name is longer than a GPIB one: it is held in full.
  settings.resource = step.ReadString("GPIB", "GPIB0::14::INSTR");
  settings.voltage = step.ReadString("Voltage", "4");
  settings.current = step.ReadString("Current", "3");
  settings.reset = step.ReadInt("Reset", 1);
  if (refuses(step, settings.voltage, "DC_Voltage_4V")) return step.failed();
  if (refuses(step, settings.current, "DC_Current_3A")) return step.failed();

  // Both sessions are closed before the step returns, whatever happened: a
  // session left open would hold a LAN supply's only connection for good.
  ViSession resourceManager = VI_NULL;
  if (fails(step, viOpenDefaultRM(&resourceManager), "viOpenDefaultRM")) return step.failed();
  ViSession instrument = VI_NULL;
  if (SetUpFails(step, resourceManager, settings, instrument)) {
    viClose(resourceManager);  // closes the instrument session with it; status not looked at
    return step.failed();
  }
  Sleep(kOutputOnWaitMs);
  // The output stays as set: closing the sessions does not touch the supply.
  viClose(instrument);
  viClose(resourceManager);
  step.setValue(1, 1.0);
  return step.succeeded();
}
