/* A host that links Vorn_CMU200.dll through its import library rather than
   loading it: the header's __stdcall declarations must bind to the DLL's
   plain exports. Prints the version the DLL reports. */
#include <stdio.h>
#include <string.h>

#include "Vorn_CMU200.h"

int main(void) {
  char version[32] = "";
  if (Vorn_CMU200_GetVersion(version) != 0) return 1;
  printf("Vorn_CMU200.dll %s\n", version);
  return strcmp(version, VORN_CMU200_VERSION_TEXT) == 0 ? 0 : 1;
}
