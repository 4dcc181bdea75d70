// The four Windows API functions the library uses (kernel32, user32).
#pragma once

#include <cstdint>

#include "callconv.h"

extern "C" {
uint32_t WINAPI_CALL GetPrivateProfileIntA(const char *section, const char *key, int32_t def, const char *file);
uint32_t WINAPI_CALL GetPrivateProfileStringA(const char *section, const char *key, const char *def, char *out,
                                              uint32_t size, const char *file);
void WINAPI_CALL Sleep(uint32_t milliseconds);
int32_t WINAPI_CALL MessageBoxA(void *owner, const char *text, const char *caption, uint32_t type);
}

namespace vorn {
inline constexpr uint32_t kMessageBoxOk = 0;  // MB_OK: a single OK button
}
