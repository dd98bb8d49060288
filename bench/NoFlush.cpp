// Preloaded into veldran-cli by bench/run.sh to measure what making the new files durable
// costs: fdatasync and syncfs become no-ops. Never part of the program itself.
#include <unistd.h>

extern "C" int fdatasync(int /*fd*/) {
    return 0;
}

extern "C" int syncfs(int /*fd*/) {
    return 0;
}
