// Preloaded into veldran-cli by bench/run.sh to measure what flushing each rewritten file to
// disk before its rename costs: fdatasync becomes a no-op. Never part of the program itself.
#include <unistd.h>

extern "C" int fdatasync(int /*fd*/) {
    return 0;
}
