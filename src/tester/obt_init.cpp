// Tester initialisation: opens the base system, loads and enables the
// path-loss correction table, opens the configured band's signalling session
// on secondary address 1, sets up the network and the broadcast cell and
// starts signalling.
#include "Vorn_CMU200.h"
#include "frame/step.h"
#include "outside/rscmu.h"
#include "tester/fails.h"
#include "tester/tester_state.h"
#include "tester/tester_step.h"

namespace {

using vorn::Setting;

struct LossLine {
  const char *key;  // in section "Attenuation"
  double frequencyHz;
};

// Sent in this order as lines 1 to 12.
constexpr LossLine kLossLines[] = {
    {"GSM850_Low_CH", 824200000.0},   {"GSM850_Mid_CH", 836400000.0},   {"GSM850_High_CH", 848800000.0},
    {"GSM900_Low_CH", 880200000.0},   {"GSM900_Mid_CH", 902400000.0},   {"GSM900_High_CH", 914800000.0},
    {"DCS1800_Low_CH", 1710200000.0}, {"DCS1800_Mid_CH", 1747600000.0}, {"DCS1800_High_CH", 1784800000.0},
    {"PCS1900_Low_CH", 1861000000.0}, {"PCS1900_Mid_CH", 1877800000.0}, {"PCS1900_High_CH", 1909800000.0},
};
constexpr int kLineCount = sizeof kLossLines / sizeof kLossLines[0];
constexpr float kDefaultLoss = 1.0f;

constexpr int32_t kSignallingTimeoutMs = 20000;

// Traffic timing, levels and the mobile's power control level of the cell.
const Setting kTrafficSettings[] = {
    {RSCMU_GSM_Sig_ConfBssPdatMslMtim, nullptr, 3, "RSCMU_GSM_Sig_ConfBssPdatMslMtim"},
    {RSCMU_GSM_Sig_ConfBssTchTim, nullptr, 3, "RSCMU_GSM_Sig_ConfBssTchTim"},
    {RSCMU_GSM_Sig_ConfBssMslLmod, nullptr, 1, "RSCMU_GSM_Sig_ConfBssMslLmod"},
    {nullptr, RSCMU_GSM_Sig_ConfBssTchLevUtim, -85.0, "RSCMU_GSM_Sig_ConfBssTchLevUtim"},
    {RSCMU_GSM_Sig_ConfMssCchPcl, nullptr, 5, "RSCMU_GSM_Sig_ConfMssCchPcl"},
};

// Multislot configuration, passed flat as (flag, value) pairs.
struct SlotLevel {
  int32_t on;
  double level;
};
constexpr SlotLevel kSlotLevels[8] = {{1, 0.0},   {1, -20.0}, {1, -20.0}, {1, 0.0},
                                      {0, -20.0}, {0, -20.0}, {0, -20.0}, {0, -20.0}};
struct SlotPcl {
  int32_t on;
  int32_t pcl;
};
constexpr SlotPcl kSlotPcls[8] = {{0, 15}, {0, 15}, {0, 15}, {1, 15}, {0, 15}, {0, 15}, {0, 15}, {0, 15}};

constexpr double kRxQualityAgc = 2.0;
constexpr int32_t kSignallingOn = 1;

int32_t SendSlotLevels(int32_t sig, const SlotLevel (&l)[8], char *msg) {
  return RSCMU_GSM_Sig_ConfBssMslSconfInd(sig, l[0].on, l[0].level, l[1].on, l[1].level, l[2].on, l[2].level, l[3].on,
                                          l[3].level, l[4].on, l[4].level, l[5].on, l[5].level, l[6].on, l[6].level,
                                          l[7].on, l[7].level, msg);
}

int32_t SendSlotPcls(int32_t sig, const SlotPcl (&p)[8], char *msg) {
  return RSCMU_GSM_Sig_ConfMssMslSconf(sig, p[0].on, p[0].pcl, p[1].on, p[1].pcl, p[2].on, p[2].pcl, p[3].on, p[3].pcl,
                                       p[4].on, p[4].pcl, p[5].on, p[5].pcl, p[6].on, p[6].pcl, p[7].on, p[7].pcl, msg);
}

}  // namespace

extern "C" VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_OBTInit(int32_t number, double *values,
                                                                        Vorn_CMU200_ResultName *names,
                                                                        char *errorText) {
  using vorn::tester::fails;
  vorn::Step step(number, values, names, errorText);
  vorn::TesterState &t = vorn::testerState;
  vorn::DriverMessage msg;
  char optionText[256] = {};

  // The base system.
  const int32_t gpib = step.ReadInt("GPIB", 20);
  if (fails(step, RSCMU_Init_Base(&t.baseSession, 0, 0, gpib, 1, 1, msg), "RSCMU_Init_Base")) return step.failed();
  if (fails(step, RSCMU_Base_RemTraceDisplay(t.baseSession, 1, msg), "RSCMU_Base_RemTraceDisplay"))
    return step.failed();
  if (fails(step, RSCMU_Base_SystOptInf(t.baseSession, optionText, msg), "RSCMU_Base_SystOptInf")) return step.failed();

  // Path-loss correction: all twelve values are read, held in single precision, before any line goes out.
  float loss[kLineCount];
  for (int k = 0; k < kLineCount; ++k) {
    loss[k] = static_cast<float>(step.file().ReadFloat("Attenuation", kLossLines[k].key, kDefaultLoss));
  }
  for (int k = 0; k < kLineCount; ++k) {
    const double frequency = kLossLines[k].frequencyHz;
    if (fails(step,
              RSCMU_Base_ConfUserCorrLossTablLine(t.baseSession, k + 1, 1, frequency, 1, loss[k], 1, loss[k], 0, 0.0, 0,
                                                  0.0, msg),
              "RSCMU_Base_ConfUserCorrLossTablLine"))
      return step.failed();
  }
  for (int32_t &session : t.bandSessions) session = vorn::kNoSession;
  char name1[52] = {}, table1[200] = {}, name2[52] = {}, table2[200] = {}, name3[52] = {};
  char table3[200] = {}, name4[52] = {}, table4[200] = {}, name5[52] = {}, table5[200] = {};
  if (fails(step,
            RSCMU_Base_ConfUserCorrLossTabl(t.baseSession, name1, table1, name2, table2, name3, table3, name4, table4,
                                            name5, table5, msg),
            "RSCMU_Base_ConfUserCorrLossTabl"))
    return step.failed();
  if (fails(step, RSCMU_Base_ConfUserCorrLossTablEnab(t.baseSession, 1, msg), "RSCMU_Base_ConfUserCorrLossTablEnabl"))
    return step.failed();

  // The band's signalling session, on secondary address 1.
  const vorn::BandInfo *band = vorn::FindBand(step.ReadInt("Band", 900));
  if (band == nullptr) return step.fail("Band Not Support!");
  if (fails(step, RSCMU_Base_SystRemAddrSec(t.baseSession, 1, band->functionGroup, msg), "RSCMU_Base_SystRemAddrSec"))
    return step.failed();
  if (fails(step, RSCMU_Init_GSM_Sig(t.baseSession, &t.sigSession, band->bandCode, msg), "RSCMU_Init_GSM_Sig"))
    return step.failed();
  t.bandSessions[band->bandCode] = t.sigSession;
  t.rfPortIndex = vorn::RfPortIndex(step.ReadInt("RF port", 1));

  // The network, the connectors and the broadcast cell.
  const int32_t sig = t.sigSession;
  if (vorn::AnyFails(step, fails, sig, vorn::kNetworkSettings, msg)) return step.failed();
  if (fails(step, RSCMU_SetTimeoutAttribute(sig, kSignallingTimeoutMs, msg), "RSCMU_SetTimeoutAttribute"))
    return step.failed();
  if (fails(step, RSCMU_GSM_Sig_Inp(sig, t.rfPortIndex, msg), "RSCMU_GSM_Sig_Inp")) return step.failed();
  if (fails(step, RSCMU_GSM_Sig_Outp(sig, t.rfPortIndex, msg), "RSCMU_GSM_Sig_Outp")) return step.failed();
  if (fails(step, vorn::QueryComplete(sig, msg), "RSCMU_Query")) return step.failed();
  if (fails(step, RSCMU_GSM_Sig_ConfBssCchMode(sig, 0, msg), "RSCMU_GSM_Sig_ConfBssCchMode")) return step.failed();
  const int32_t bcch = step.ReadInt("BCCH", 20);
  if (fails(step, RSCMU_GSM_Sig_ConfBssCchChan(sig, bcch, msg), "RSCMU_GSM_Sig_ConfBssCchChan")) return step.failed();
  const int32_t bcchPower = step.ReadInt("BCCH_Power", -85);
  if (fails(step, RSCMU_GSM_Sig_ConfBssCchLevAbs(sig, bcchPower, msg), "RSCMU_GSM_Sig_ConfBssCchLevAbs"))
    return step.failed();

  // Traffic, multislot, receive quality; then signalling on.
  if (vorn::AnyFails(step, fails, sig, kTrafficSettings, msg)) return step.failed();
  if (fails(step, SendSlotLevels(sig, kSlotLevels, msg), "RSCMU_GSM_Sig_ConfBssMslSconfInd")) return step.failed();
  if (fails(step, SendSlotPcls(sig, kSlotPcls, msg), "RSCMU_GSM_Sig_ConfMssMslSconf")) return step.failed();
  if (fails(step, RSCMU_GSM_Sig_ConfRxqContAgct(sig, kRxQualityAgc, msg), "RSCMU_GSM_Sig_ConfRxqContAgct"))
    return step.failed();
  if (fails(step, RSCMU_GSM_Sig_ProcSignAct(sig, kSignallingOn, msg), "RSCMU_GSM_Sig_ProcSignAct"))
    return step.failed();
  if (fails(step, vorn::QueryComplete(sig, msg), "RSCMU_Query")) return step.failed();
  int32_t state = 0;
  if (fails(step, RSCMU_GSM_Sig_SensSignStat(sig, &state, msg), "RSCMU_GSM_Sig_SensSignStat")) return step.failed();

  vorn::SetBandLabel(t, *band);
  t.channel = bcch;
  step.setValue(1, 1.0);
  return step.succeeded();
}
