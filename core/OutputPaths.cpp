#include "OutputPaths.h"

#include "SafeFile.h"

namespace veldran {

std::string PrepareOutputPath(std::string& baseName, std::string_view dir,
                              std::string_view defaultName, std::string_view extension,
                              const std::function<void()>& refreshControls,
                              const std::function<bool()>& deleteBoxTicked) {
    if (baseName.empty()) {
        baseName = defaultName;
        if (refreshControls)
            refreshControls();
    }
    std::string path(dir);
    path += baseName;
    path += extension;
    if (deleteBoxTicked && deleteBoxTicked())
        DeleteFileQuietly(path);
    return path;
}

} // namespace veldran
