#include "TestSupport.h"

#include <chrono>
#include <fstream>
#include <thread>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <iterator>
#include <random>
#include <stdexcept>

namespace veldran::test {

TempDir::TempDir() {
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("veldran-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(candidate)) {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Native(const std::string& text) {
#ifdef _WIN32
    std::string out;
    for (const char c : text) {
        if (c == '\n')
            out.push_back('\r');
        out.push_back(c);
    }
    return out;
#else
    return text;
#endif
}

std::string FromNative(const std::string& bytes) {
#ifdef _WIN32
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue;
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            throw std::runtime_error("a bare LF at byte " + std::to_string(i));
        out.push_back(bytes[i]);
    }
    return out;
#else
    return bytes;
#endif
}

#ifndef _WIN32
HeldLock::HeldLock(const std::string& path) {
    m_fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    if (m_fd < 0 || ::fcntl(m_fd, F_OFD_SETLK, &lock) != 0)
        throw std::runtime_error("cannot lock " + path);
}

HeldLock::~HeldLock() {
    ::close(m_fd);
}

bool SomeoneWaitsForLock(const std::string& path) {
    struct stat file {};
    if (::stat(path.c_str(), &file) != 0)
        return false;
    // veldran opens a file, then tries its lock until it gets it: a second descriptor of the
    // file, anywhere on the machine, seen twice in a row, is the one that waits (a look that
    // finds the lock taken closes the file again at once).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int seen = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        int open = 0;
        std::error_code ec;
        for (const auto& process : std::filesystem::directory_iterator("/proc", ec)) {
            std::error_code gone;
            for (const auto& fd :
                 std::filesystem::directory_iterator(process.path() / "fd", gone)) {
                struct stat st {};
                if (::stat(fd.path().c_str(), &st) == 0 && st.st_ino == file.st_ino &&
                    st.st_dev == file.st_dev)
                    ++open;
            }
        }
        seen = open >= 2 ? seen + 1 : 0;
        if (seen == 2)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}
#endif

} // namespace veldran::test
