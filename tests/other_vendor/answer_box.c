/* Plays the operator at a Windows station's screen: waits for a visible
 * message box with the given caption in any program, says its text, and
 * presses its OK button.
 *   answer_box.exe CAPTION [SECONDS]   (default 30 s; exit 1 when none came) */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

static BOOL CALLBACK SayText(HWND child, LPARAM unused) {
  char name[16] = {0};
  char text[512] = {0};
  (void)unused;
  GetClassNameA(child, name, sizeof name);
  if (lstrcmpiA(name, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0) printf("%s\n", text);
  return TRUE;
}

int main(int argc, char **argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: answer_box.exe CAPTION [SECONDS]\n");
    return 2;
  }
  const int tenths = 10 * (argc > 2 ? atoi(argv[2]) : 30);
  for (int i = 0; i < tenths; ++i) {
    HWND box = FindWindowA("#32770", argv[1]);
    if (box != NULL && IsWindowVisible(box)) {
      EnumChildWindows(box, SayText, 0);
      fflush(stdout);
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      return 0;
    }
    Sleep(100);
  }
  fprintf(stderr, "answer_box: no message box \"%s\" came\n", argv[1]);
  return 1;
}
