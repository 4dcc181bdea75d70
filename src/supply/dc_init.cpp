// The DC supply step: powers the phone from the programmable supply over VISA.
#include <cstdio>
#include <cstring>

#include "Vorn_CMU200.h"
#include "frame/step.h"
#include "frame/winapi.h"
#include "supply/visa.h"

namespace {

// The voltage and current texts go to the supply as they are, but no longer
// than the supply's settings were ever meant to be.
constexpr std::size_t kSettingSize = 20;
constexpr std::size_t kCommandSize = 512;
constexpr uint32_t kOutputOffWaitMs = 500;
constexpr uint32_t kOutputOnWaitMs = 1000;

// Success for VISA is VI_SUCCESS alone: warnings count as failures too.
bool fails(vorn::Step &step, ViStatus status, const char *label) {
  if (status == VI_SUCCESS) return false;
  step.writeSupplyFailure(label);
  return true;
}

// A setting that does not fit is refused under the label of the command it was meant for.
bool refuses(vorn::Step &step, const vorn::ParamText &setting, const char *label) {
  if (strnlen(setting.c_str(), kSettingSize) < kSettingSize) return false;
  step.writeSupplyFailure(label);
  return true;
}

// Writes one command, without terminator: the byte count is the length of its text.
ViStatus Write(ViSession instrument, const char *command) {
  ViUInt32 written = 0;
  return viWrite(instrument, reinterpret_cast<const unsigned char *>(command),
                 static_cast<ViUInt32>(std::strlen(command)), &written);
}

}  // namespace

extern "C" VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_DcInit(
    int32_t number, double *values, Vorn_CMU200_ResultName *names, char *errorText) {
  vorn::Step step(number, values, names, errorText);
  // A LAN resource name is longer than a GPIB one: it is held in full.
  const vorn::ParamText resource = step.ReadString("GPIB", "GPIB0::14::INSTR");
  const vorn::ParamText voltage = step.ReadString("Voltage", "4");
  const vorn::ParamText current = step.ReadString("Current", "3");
  const int32_t reset = step.ReadInt("Reset", 1);
  if (refuses(step, voltage, "DC_Voltage_4V")) return step.failed();
  if (refuses(step, current, "DC_Current_3A")) return step.failed();

  ViSession resourceManager = VI_NULL;
  ViSession instrument = VI_NULL;
  char command[kCommandSize];
  // Neither session is ever closed, on success or failure.
  if (fails(step, viOpenDefaultRM(&resourceManager), "viOpenDefaultRM")) return step.failed();
  if (fails(step, viOpen(resourceManager, resource.c_str(), VI_NO_LOCK, VI_TMO_IMMEDIATE, &instrument), "GPIB"))
    return step.failed();
  if (fails(step, viClear(instrument), "viClear")) return step.failed();
  if (reset == 1) {
    if (fails(step, Write(instrument, "OUTP OFF"), "DC_Output_Off")) return step.failed();
    Sleep(kOutputOffWaitMs);
  }
  std::snprintf(command, sizeof command, "VOLT %s", voltage.c_str());
  if (fails(step, Write(instrument, command), "DC_Voltage_4V")) return step.failed();
  std::snprintf(command, sizeof command, "CURR %s", current.c_str());
  if (fails(step, Write(instrument, command), "DC_Current_3A")) return step.failed();
  if (fails(step, Write(instrument, "OUTP ON"), "DC_Output_On")) return step.failed();
  Sleep(kOutputOnWaitMs);
  step.setValue(1, 1.0);
  return step.succeeded();
}
