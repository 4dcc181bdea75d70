// The version query and the module's entry routine.
#include <cstring>

#include "Vorn_CMU200.h"

extern "C" VORN_CMU200_API int32_t VORN_CMU200_CALL Vorn_CMU200_GetVersion(char *buffer) {
  if (buffer != nullptr) std::memcpy(buffer, VORN_CMU200_VERSION_TEXT, sizeof VORN_CMU200_VERSION_TEXT);
  return 0;
}

#if defined(_WIN32)
#include <windows.h>
// Loading and unloading do no work: nothing opens until a step is called.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
