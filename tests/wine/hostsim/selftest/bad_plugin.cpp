// A plug-in with faults on purpose, to show that hostsim catches them: three
// exports remove the wrong number of stack bytes, and _menuA crashes from its
// second call on.
#include <cstdint>

extern "C" {

const char* __stdcall AppInfo() { return "{\"ret\":1}"; }
// Removes 12 bytes where the host pushes 8.
int32_t __stdcall Initialize(int32_t, int32_t, int32_t) { return 0; }
int32_t __stdcall Nothing() { return 0; }
int32_t __stdcall Words9(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) { return 0; }
int32_t __stdcall Words11(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                          int32_t) {
  return 0;
}
int32_t __stdcall Words8(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) { return 0; }
int32_t __stdcall Words10(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {
  return 0;
}
int32_t __stdcall Words12(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                          int32_t, int32_t) {
  return 0;
}
int32_t __stdcall Words13(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                          int32_t, int32_t, int32_t) {
  return 0;
}
// The host's caller-cleans mistake: removes nothing.
int32_t __cdecl CallerCleans() { return 0; }
int32_t __stdcall Crash() {
  static int calls = 0;
  if (++calls < 2) return 0;
  volatile int32_t* nowhere = nullptr;
  return *nowhere;
}

}  // extern "C"
