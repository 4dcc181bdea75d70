// Calling conventions of the outside libraries. On 32-bit Windows they all use
// __stdcall (the Windows API and VXIplug&play convention); elsewhere there is
// only one convention. Each library has its own macro so it can be changed alone.
#pragma once

#if defined(_WIN32) && !defined(_WIN64)
#define VORN_STDCALL __stdcall
#else
#define VORN_STDCALL
#endif

#define WINAPI_CALL VORN_STDCALL   // kernel32, user32
#define ALLDATA_CALL VORN_STDCALL  // the host's data container
#define RSCMU_CALL VORN_STDCALL    // the tester drivers
#define DWD_CALL VORN_STDCALL      // the phone I/O library
#define VISA_CALL VORN_STDCALL     // VISA (_VI_FUNC)
