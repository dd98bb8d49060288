// Another program that keeps a file open, as an editor or a batch run might:
//   veldran_hold_file PATH none|read
// opens PATH for reading and writing, sharing it with nobody ("none") or with readers only
// ("read"), says "held" on standard output, and keeps it open until its standard input closes.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: veldran_hold_file PATH none|read\n", stderr);
        return 2;
    }
    const DWORD share = std::strcmp(argv[2], "read") == 0 ? FILE_SHARE_READ : 0;
    const HANDLE file = ::CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, share, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("cannot open: error %lu\n", ::GetLastError());
        return 1;
    }
    std::puts("held");
    std::fflush(stdout);
    char buffer[64];
    while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) {
    }
    ::CloseHandle(file);
    return 0;
}
