#include "TestEvents.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace veldran::cli {

namespace {

class EventWriter final : public WriteFaults {
public:
    explicit EventWriter(int fd) : m_fd(fd) {}
    int Inject(WriteStep step) override {
#ifndef _WIN32
        // One write of a short line: whole, even when several threads wait at once.
        if (step == WriteStep::WaitForLock) {
            const std::size_t size = std::strlen(kWaitingForLockEvent);
            while (::write(m_fd, kWaitingForLockEvent, size) < 0 && errno == EINTR) {
            }
        }
#else
        (void)step;
#endif
        return 0;
    }

private:
    int m_fd;
};

// The descriptor the variable names, or -1 when it names none that is open.
int EventDescriptor() {
#ifdef _WIN32
    return -1; // the Windows tests wait for no other process
#else
    const char* value = std::getenv(kTestEventsVariable);
    if (value == nullptr || *value == '\0')
        return -1;
    char* end = nullptr;
    const long fd = std::strtol(value, &end, 10);
    // Never standard output or error: a stray variable must not put lines into the results.
    if (*end != '\0' || fd <= 2 || fd > 1 << 20 || ::fcntl(static_cast<int>(fd), F_GETFD) < 0)
        return -1;
    return static_cast<int>(fd);
#endif
}

} // namespace

WriteFaults* TestEvents() {
    static const int fd = EventDescriptor();
    static EventWriter writer(fd);
    return fd >= 0 ? &writer : nullptr;
}

} // namespace veldran::cli
