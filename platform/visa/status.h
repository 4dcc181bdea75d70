// The VISA standard's values that only the stand-in gives out or takes: the
// other access modes and the error codes. Errors are negative: the standard
// builds them on _VI_ERROR, the lowest 32-bit value.
#pragma once

#include <cstdint>

#include "visa.h"

inline constexpr ViAccessMode VI_EXCLUSIVE_LOCK = 1;
inline constexpr ViAccessMode VI_SHARED_LOCK = 2;
inline constexpr ViAccessMode VI_LOAD_CONFIG = 4;

inline constexpr ViStatus kViErrorBase = INT32_MIN;                               // _VI_ERROR
inline constexpr ViStatus VI_ERROR_SYSTEM_ERROR = kViErrorBase + 0x3FFF0000;      // unknown system error
inline constexpr ViStatus VI_ERROR_INV_OBJECT = kViErrorBase + 0x3FFF000E;        // not a session
inline constexpr ViStatus VI_ERROR_RSRC_NFOUND = kViErrorBase + 0x3FFF0011;       // nothing at that name
inline constexpr ViStatus VI_ERROR_INV_RSRC_NAME = kViErrorBase + 0x3FFF0012;     // not a resource name
inline constexpr ViStatus VI_ERROR_INV_ACC_MODE = kViErrorBase + 0x3FFF0013;      // unknown access mode
inline constexpr ViStatus VI_ERROR_TMO = kViErrorBase + 0x3FFF0015;               // timed out
inline constexpr ViStatus VI_ERROR_IO = kViErrorBase + 0x3FFF003E;                // transfer failed
inline constexpr ViStatus VI_ERROR_NLISTENERS = kViErrorBase + 0x3FFF005F;        // no listener on GPIB
inline constexpr ViStatus VI_ERROR_NSUP_OPER = kViErrorBase + 0x3FFF0067;         // not for this session
inline constexpr ViStatus VI_ERROR_USER_BUF = kViErrorBase + 0x3FFF0071;          // unusable buffer
inline constexpr ViStatus VI_ERROR_INTF_NUM_NCONFIG = kViErrorBase + 0x3FFF00A5;  // no such board
inline constexpr ViStatus VI_ERROR_CONN_LOST = kViErrorBase + 0x3FFF00A6;         // connection lost
