#include "station/operations.h"

#include <algorithm>

namespace station {

const std::vector<std::string_view> &Operations() {
  static const std::vector<std::string_view> names = [] {
    std::vector<std::string_view> list = {
        "DWD_check_comm_link",
        "DWD_check_for_ptest",
        "DWD_close_com_port",
        "DWD_dut_in_idle",
        "DWD_get_last_error",
        "DWD_set_DTR",
        "DWD_set_RTS",
        "DWD_set_baud_rate",
        "DWD_set_com_port",
        "DWD_set_eep_cfg_filename",
        "DWD_set_serial_interface_mode",
        "DWD_set_test_mode",
        "DWD_set_v24_mode",
        "DWD_setup_emergency_call",
        "DWD_sw_reset",
        "MessageBoxA",
        "RSCMU_Base_ConfUserCorrLossTabl",
        "RSCMU_Base_ConfUserCorrLossTablEnab",
        "RSCMU_Base_ConfUserCorrLossTablLine",
        "RSCMU_Base_RemTraceDisplay",
        "RSCMU_Base_SystOptInf",
        "RSCMU_Base_SystRemAddrSec",
        "RSCMU_Close_Base",
        "RSCMU_GSM_Sig_ConfBssCchChan",
        "RSCMU_GSM_Sig_ConfBssCchLevAbs",
        "RSCMU_GSM_Sig_ConfBssCchMode",
        "RSCMU_GSM_Sig_ConfBssMslLmod",
        "RSCMU_GSM_Sig_ConfBssMslSconfInd",
        "RSCMU_GSM_Sig_ConfBssPdatMslMtim",
        "RSCMU_GSM_Sig_ConfBssTchLevUtim",
        "RSCMU_GSM_Sig_ConfBssTchTim",
        "RSCMU_GSM_Sig_ConfHandTarg",
        "RSCMU_GSM_Sig_ConfMssCchPcl",
        "RSCMU_GSM_Sig_ConfMssMslSconf",
        "RSCMU_GSM_Sig_ConfNetwIdenMcc",
        "RSCMU_GSM_Sig_ConfNetwIdenMnc",
        "RSCMU_GSM_Sig_ConfNetwNSup",
        "RSCMU_GSM_Sig_ConfNetwSmodBits",
        "RSCMU_GSM_Sig_ConfNetwSmodTraf",
        "RSCMU_GSM_Sig_ConfNetwSystBandInd",
        "RSCMU_GSM_Sig_ConfPowMprCont",
        "RSCMU_GSM_Sig_ConfPowMprContRep",
        "RSCMU_GSM_Sig_ConfRxqContAgct",
        "RSCMU_GSM_Sig_ConfSpecMSwContRep",
        "RSCMU_GSM_Sig_ConfSpecModCont",
        "RSCMU_GSM_Sig_ConfSpecModContMpo",
        "RSCMU_GSM_Sig_ConfSpecModContRep",
        "RSCMU_GSM_Sig_ConfSpecSwitCont",
        "RSCMU_GSM_Sig_ConfSpecSwitContMpo",
        "RSCMU_GSM_Sig_ConfSpecSwitContRep",
        "RSCMU_GSM_Sig_FetcArrSpecMSw",
        "RSCMU_GSM_Sig_FetcPowMpr",
        "RSCMU_GSM_Sig_HandOver",
        "RSCMU_GSM_Sig_InitPowMpr",
        "RSCMU_GSM_Sig_InitSpecMSw",
        "RSCMU_GSM_Sig_Inp",
        "RSCMU_GSM_Sig_Outp",
        "RSCMU_GSM_Sig_ProcBssTchLevUtim",
        "RSCMU_GSM_Sig_ProcSignAct",
        "RSCMU_GSM_Sig_ProcSignMsPcl",
        "RSCMU_GSM_Sig_ProcSignTchChan",
        "RSCMU_GSM_Sig_SensRrepRxl",
        "RSCMU_GSM_Sig_SensRrepRxq",
        "RSCMU_GSM_Sig_SensSignStat",
        "RSCMU_Init_Base",
        "RSCMU_Init_GSM_Sig",
        "RSCMU_Query",
        "RSCMU_SetTimeoutAttribute",
        "Sleep",
        "dcGet_ParaFileName",
        "dcGet_hMobile",
        "dcSet_hMobile",
        "viClear",
        "viClose",
        "viOpen",
        "viOpenDefaultRM",
        "viWrite",
    };
    std::sort(list.begin(), list.end());
    return list;
  }();
  return names;
}

bool IsOperation(std::string_view name) {
  const std::vector<std::string_view> &names = Operations();
  return std::binary_search(names.begin(), names.end(), name);
}

}  // namespace station
