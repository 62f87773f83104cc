// empty: a Windows program that does nothing, linked like update.exe (a GUI
// program, static, sections on whole pages in the file): what starting any
// program costs in time and memory under Wine, for the benchmark.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
