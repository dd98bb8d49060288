// The parts of the safe file access that are the same on every platform.
#include "SafeFile.h"

namespace veldran {

bool ReadWholeFile(const std::string& path, std::string& data, std::string& error) {
    InputFile file;
    if (!file.Open(path, error))
        return false;
    data.clear();
    // Starts from the size the file reports, then grows: the file may change while it is read.
    std::size_t capacity = file.SizeHint() + 1;
    std::size_t used = 0;
    data.resize(capacity);
    for (;;) {
        if (used == data.size())
            data.resize(data.size() * 2);
        const long long n = file.Read(data.data() + used, data.size() - used, error);
        if (n < 0) {
            data.clear();
            return false;
        }
        if (n == 0)
            break;
        used += static_cast<std::size_t>(n);
    }
    data.resize(used);
    return true;
}

} // namespace veldran
