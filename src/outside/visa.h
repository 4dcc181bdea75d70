// VISA (VISA32): the part of the standard VISA C interface that the supply
// step uses, declared here with the standard's own types and status values, so
// that a vendor VISA library installed on a station links in place of the
// project's stand-in. Nothing here comes from a vendor header.
#pragma once

#include <cstdint>

#include "callconv.h"

extern "C" {
typedef int32_t ViInt32;
typedef uint32_t ViUInt32;
typedef ViInt32 ViStatus;
typedef ViUInt32 ViObject;
typedef ViObject ViSession;
typedef ViUInt32 ViAccessMode;

ViStatus VISA_CALL viOpenDefaultRM(ViSession *resourceManager);
ViStatus VISA_CALL viOpen(ViSession resourceManager, const char *resource, ViAccessMode mode, ViUInt32 openTimeout,
                          ViSession *instrument);
ViStatus VISA_CALL viClear(ViSession instrument);
ViStatus VISA_CALL viWrite(ViSession instrument, const unsigned char *buffer, ViUInt32 count, ViUInt32 *written);
// A session; closing a resource manager closes the sessions it opened.
ViStatus VISA_CALL viClose(ViObject object);
}

// Values of the VISA standard that the supply step uses; the error codes the
// stand-in returns are its own business (platform/visa/status.h).
inline constexpr ViSession VI_NULL = 0;
inline constexpr ViAccessMode VI_NO_LOCK = 0;
inline constexpr ViUInt32 VI_TMO_IMMEDIATE = 0;
inline constexpr ViStatus VI_SUCCESS = 0;
