// VISA (VISA32): the part of the standard VISA C interface that the supply
// step uses, declared here with the standard's own types and status values, so
// that a vendor VISA library installed on a station links in place of the
// project's stand-in. Nothing here comes from a vendor header.
#pragma once

#include <cstdint>

#include "frame/callconv.h"

extern "C" {
typedef int32_t ViInt32;
typedef uint32_t ViUInt32;
typedef ViInt32 ViStatus;
typedef ViUInt32 ViObject;
typedef ViObject ViSession;
typedef ViUInt32 ViAccessMode;

ViStatus VISA_CALL viOpenDefaultRM(ViSession *resourceManager);
ViStatus VISA_CALL viOpen(ViSession resourceManager, const char *resource, ViAccessMode mode,
                          ViUInt32 openTimeout, ViSession *instrument);
ViStatus VISA_CALL viClear(ViSession instrument);
ViStatus VISA_CALL viWrite(ViSession instrument, const unsigned char *buffer, ViUInt32 count,
                           ViUInt32 *written);
}

// Values of the VISA standard. Errors are negative: the standard builds them on
// _VI_ERROR, the lowest 32-bit value.
inline constexpr ViSession VI_NULL = 0;
inline constexpr ViAccessMode VI_NO_LOCK = 0;
inline constexpr ViAccessMode VI_EXCLUSIVE_LOCK = 1;
inline constexpr ViAccessMode VI_SHARED_LOCK = 2;
inline constexpr ViAccessMode VI_LOAD_CONFIG = 4;
inline constexpr ViUInt32 VI_TMO_IMMEDIATE = 0;

inline constexpr ViStatus VI_SUCCESS = 0;
inline constexpr ViStatus kViErrorBase = INT32_MIN;  // _VI_ERROR
inline constexpr ViStatus VI_ERROR_SYSTEM_ERROR = kViErrorBase + 0x3FFF0000;  // unknown system error
inline constexpr ViStatus VI_ERROR_INV_OBJECT = kViErrorBase + 0x3FFF000E;    // not a session
inline constexpr ViStatus VI_ERROR_RSRC_NFOUND = kViErrorBase + 0x3FFF0011;   // nothing at that name
inline constexpr ViStatus VI_ERROR_INV_RSRC_NAME = kViErrorBase + 0x3FFF0012; // not a resource name
inline constexpr ViStatus VI_ERROR_INV_ACC_MODE = kViErrorBase + 0x3FFF0013;  // unknown access mode
inline constexpr ViStatus VI_ERROR_TMO = kViErrorBase + 0x3FFF0015;           // timed out
inline constexpr ViStatus VI_ERROR_IO = kViErrorBase + 0x3FFF003E;            // transfer failed
inline constexpr ViStatus VI_ERROR_NLISTENERS = kViErrorBase + 0x3FFF005F;    // no listener on GPIB
inline constexpr ViStatus VI_ERROR_NSUP_OPER = kViErrorBase + 0x3FFF0067;     // not for this session
inline constexpr ViStatus VI_ERROR_USER_BUF = kViErrorBase + 0x3FFF0071;      // unusable buffer
inline constexpr ViStatus VI_ERROR_INTF_NUM_NCONFIG = kViErrorBase + 0x3FFF00A5;  // no such board
inline constexpr ViStatus VI_ERROR_CONN_LOST = kViErrorBase + 0x3FFF00A6;     // connection lost
