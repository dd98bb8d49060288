#pragma once
// A small tmpfs of its own to fill, for the full-disk cases (Linux, as root). Where mounting is
// not allowed, Mounted() is false and Why() says why.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace veldran::test {

// A small file system of its own for one test: a tmpfs, where the system lets us mount one.
class SmallDisk {
public:
    SmallDisk(std::string where, std::size_t bytes) : m_where(std::move(where)) {
        std::filesystem::create_directory(m_where);
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        if (::mount("tmpfs", m_where.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0)
            m_mounted = true;
        else
            m_why = std::strerror(errno);
    }
    ~SmallDisk() {
        if (m_mounted)
            ::umount2(m_where.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool Mounted() const { return m_mounted; }
    const std::string& Why() const { return m_why; }
    std::string File(const std::string& name) const { return m_where + "/" + name; }
    std::uint64_t Free() const {
        struct statvfs st {};
        ::statvfs(m_where.c_str(), &st);
        return static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
    }
    // Fills the disk with a file of its own until at most `leave` bytes are free.
    void FillLeaving(std::uint64_t leave) {
        const int fd = ::open(File("filler").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        const std::string page(4096, 'f');
        while (Free() > leave && ::write(fd, page.data(), page.size()) > 0) {
        }
        ::close(fd);
    }
    void Unfill() { std::filesystem::remove(File("filler")); }

private:
    std::string m_where;
    bool m_mounted = false;
    std::string m_why;
};

} // namespace veldran::test

#define NEED_SMALL_DISK(disk)                                                                      \
    if (!(disk).Mounted())                                                                         \
    GTEST_SKIP() << "no small tmpfs to fill: mount failed (" << (disk).Why()                       \
                 << "); the full disk is covered through the write seam instead"
