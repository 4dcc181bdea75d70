// The host's data container (AllData): the parameter file path and the mobile
// link handle that the mobile steps hand to each other.
#pragma once

#include <cstdint>

#include "callconv.h"

extern "C" {
int32_t ALLDATA_CALL dcGet_ParaFileName(char *path /* 512 */, char *errorText);
int32_t ALLDATA_CALL dcGet_hMobile(uint32_t *handle, char *errorText);  // 0 = handle filled
int32_t ALLDATA_CALL dcSet_hMobile(uint32_t handle, char *errorText);
}
