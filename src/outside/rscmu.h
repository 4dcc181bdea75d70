// The CMU200 instrument drivers: the base system driver (rscmu200_32) and the
// GSM signalling driver (rscmuk2g_32). Every call returns a driver status, 0
// for success, and takes the caller's 256-character message buffer last.
#pragma once

#include <cstdint>

#include "callconv.h"

extern "C" {

// ---- Base system (rscmu200_32) ----
int32_t RSCMU_CALL RSCMU_Init_Base(int32_t *base, int32_t a, int32_t b, int32_t gpibAddress, int32_t c, int32_t d,
                                   char *msg);
int32_t RSCMU_CALL RSCMU_Close_Base(int32_t base, char *msg);
int32_t RSCMU_CALL RSCMU_Base_SystRemAddrSec(int32_t base, int32_t secondaryAddress, int32_t functionGroup, char *msg);
int32_t RSCMU_CALL RSCMU_Base_RemTraceDisplay(int32_t base, int32_t on, char *msg);
int32_t RSCMU_CALL RSCMU_Base_SystOptInf(int32_t base, char *optionText /* 256 */, char *msg);
int32_t RSCMU_CALL RSCMU_Base_ConfUserCorrLossTablLine(int32_t base, int32_t line, int32_t f1, double v1, int32_t f2,
                                                       double v2, int32_t f3, double v3, int32_t f4, double v4,
                                                       int32_t f5, double v5, char *msg);
int32_t RSCMU_CALL RSCMU_Base_ConfUserCorrLossTabl(int32_t base, char *b1 /*52*/, char *b2 /*200*/, char *b3 /*52*/,
                                                   char *b4 /*200*/, char *b5 /*52*/, char *b6 /*200*/, char *b7 /*52*/,
                                                   char *b8 /*200*/, char *b9 /*52*/, char *b10 /*200*/, char *msg);
int32_t RSCMU_CALL RSCMU_Base_ConfUserCorrLossTablEnab(int32_t base, int32_t on, char *msg);
int32_t RSCMU_CALL RSCMU_Query(int32_t session, const char *query, char *response /* 256 */, int32_t p, char *msg);
int32_t RSCMU_CALL RSCMU_SetTimeoutAttribute(int32_t session, int32_t timeout, char *msg);

// ---- GSM signalling (rscmuk2g_32) ----
int32_t RSCMU_CALL RSCMU_Init_GSM_Sig(int32_t base, int32_t *sig, int32_t bandCode, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_HandOver(int32_t current, int32_t target, char *msg);

// (sig, int value, msg)
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfNetwNSup(int32_t sig, int32_t v, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfNetwSmodTraf(int32_t sig, int32_t v, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfNetwSmodBits(int32_t sig, int32_t v, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfNetwIdenMcc(int32_t sig, int32_t v, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfNetwIdenMnc(int32_t sig, int32_t v, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfNetwSystBandInd(int32_t sig, int32_t v, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_Inp(int32_t sig, int32_t v, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_Outp(int32_t sig, int32_t v, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssCchMode(int32_t sig, int32_t v, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssCchChan(int32_t sig, int32_t v, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssPdatMslMtim(int32_t sig, int32_t v, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssTchTim(int32_t sig, int32_t v, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssMslLmod(int32_t sig, int32_t v, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfMssCchPcl(int32_t sig, int32_t v, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfHandTarg(int32_t sig, int32_t v, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ProcSignAct(int32_t sig, int32_t v, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ProcSignTchChan(int32_t sig, int32_t v, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ProcSignMsPcl(int32_t sig, int32_t v, char *msg);

// (sig, double value, msg)
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssCchLevAbs(int32_t sig, double v, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssTchLevUtim(int32_t sig, double v, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfRxqContAgct(int32_t sig, double v, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ProcBssTchLevUtim(int32_t sig, double v, char *msg);

int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfBssMslSconfInd(int32_t sig, int32_t f1, double v1, int32_t f2, double v2,
                                                    int32_t f3, double v3, int32_t f4, double v4, int32_t f5, double v5,
                                                    int32_t f6, double v6, int32_t f7, double v7, int32_t f8, double v8,
                                                    char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfMssMslSconf(int32_t sig, int32_t f1, int32_t v1, int32_t f2, int32_t v2,
                                                 int32_t f3, int32_t v3, int32_t f4, int32_t v4, int32_t f5, int32_t v5,
                                                 int32_t f6, int32_t v6, int32_t f7, int32_t v7, int32_t f8, int32_t v8,
                                                 char *msg);

// (sig, int, int, msg)
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfSpecModCont(int32_t sig, int32_t a, int32_t b, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfSpecSwitCont(int32_t sig, int32_t a, int32_t b, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfSpecModContMpo(int32_t sig, int32_t a, int32_t b, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfSpecSwitContMpo(int32_t sig, int32_t a, int32_t b, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfPowMprCont(int32_t sig, int32_t a, int32_t b, char *msg);
// (sig, int, int, int, msg)
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfSpecModContRep(int32_t sig, int32_t a, int32_t b, int32_t c, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfSpecSwitContRep(int32_t sig, int32_t a, int32_t b, int32_t c, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfSpecMSwContRep(int32_t sig, int32_t a, int32_t b, int32_t c, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_ConfPowMprContRep(int32_t sig, int32_t a, int32_t b, int32_t c, char *msg);

int32_t RSCMU_CALL RSCMU_GSM_Sig_InitSpecMSw(int32_t sig, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_InitPowMpr(int32_t sig, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_FetcArrSpecMSw(int32_t sig, double *values /* 32 */, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_FetcPowMpr(int32_t sig, int32_t p, double *a3, double *a4, int32_t *a5, double *a6,
                                            double *a7, int32_t *a8, double *a9, double *a10, double *a11, double *a12,
                                            char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_SensSignStat(int32_t sig, int32_t *state, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_SensRrepRxl(int32_t sig, int32_t *rxLevel, char *msg);
int32_t RSCMU_CALL RSCMU_GSM_Sig_SensRrepRxq(int32_t sig, int32_t *rxQuality, char *msg);

}  // extern "C"
