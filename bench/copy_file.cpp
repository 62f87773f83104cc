// copy_file SOURCE TARGET
// A plain copy of a file with the system's CopyFileW, replacing TARGET: what
// writing the same bytes costs without update.exe, for the benchmark.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    return CopyFileW(argv[1], argv[2], FALSE) ? 0 : 1;
}
