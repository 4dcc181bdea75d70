#include "support/steps.h"

namespace vorn_test {

const std::vector<StepExport> &Steps() {
  static const std::vector<StepExport> steps = {
#define VORN_CMU200_STEP(name) {#name, Vorn_CMU200_##name},
#include "Vorn_CMU200_steps.h"
  };
  return steps;
}

const StepExport *FindStep(std::string_view name) {
  for (const StepExport &step : Steps()) {
    if (name == step.name) return &step;
  }
  return nullptr;
}

const std::string &TypicalParameters() {
  static const std::string text =
      "[1]\n"
      "GPIB=GPIB0::14::INSTR\nVoltage=3.8 // volts\nCurrent=2.5\nReset=1\n"
      "[2]\n"
      "ComPort=COM3\nBaudRate=115200\nDTR=0\nRTS=1\nPrefix=ULC2\n"
      "[3]\n"
      "GPIB=20\nBand=900\nRF port=1\nBCCH=20\nBCCH_Power=-85\n"
      "[Attenuation]\n"
      "GSM850_Low_CH=0.5\nGSM850_Mid_CH=0.5\nGSM850_High_CH=0.6\n"
      "GSM900_Low_CH=0.6\nGSM900_Mid_CH=0.7\nGSM900_High_CH=0.7\n"
      "DCS1800_Low_CH=1.1\nDCS1800_Mid_CH=1.2\nDCS1800_High_CH=1.2\n"
      "PCS1900_Low_CH=1.3\nPCS1900_Mid_CH=1.3\nPCS1900_High_CH=1.4\n"
      "[4]\nBCCH=20\n"
      "[5]\n"
      "[6]\nMod +/-1.80MHZ Enable=0\nSwit +/-1.80MHZ Enable=0\n"
      "[7]\nCellPower=-85\nDelay=100\n"
      "[8]\nTCH=62\n"
      "[9]\nTXLevel=10\n"
      "[10]\nBand=1800\n"
      "[11]\n"
      "[12]\nSwitchToNormal=1\n"
      "[13]\n"
      "[14]\nBand=1900\n";
  return text;
}

const std::vector<RunStep> &TypicalRun() {
  static const std::vector<RunStep> run = {
      {FindStep("DcInit"), 1},
      {FindStep("MobInit"), 2},
      {FindStep("OBTInit"), 3},
      {FindStep("MakeCall"), 4},
      {FindStep("OBTPowervsTime"), 5},
      {FindStep("OBTOutputRFSpectrum"), 6},
      {FindStep("OBTRXLevelandQuality"), 7},
      {FindStep("OBTChangeTCH"), 8},
      {FindStep("OBTChangeTXLevel"), 9},
      {FindStep("OBTHandOver"), 10},
      {FindStep("OBTPowervsTime"), 5},
      {FindStep("OBTHandOver"), 14},
      {FindStep("OBTEndCall"), 11},
      {FindStep("MobReset"), 12},
      {FindStep("MobClose"), 13},
  };
  return run;
}

}  // namespace vorn_test
