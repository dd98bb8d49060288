#include "Reporter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace veldran::cli {

namespace {

// A run shorter than this needs no progress; after it the line is redrawn at most this often.
constexpr std::chrono::milliseconds kProgressAfter{1000};
constexpr std::chrono::milliseconds kRedrawEvery{100};
constexpr std::size_t kOutBuffer = std::size_t{64} * 1024;

bool IsTerminal(std::FILE* file) {
#ifdef _WIN32
    return _isatty(_fileno(file)) != 0;
#else
    return isatty(fileno(file)) != 0;
#endif
}

} // namespace

Reporter::Reporter(std::FILE* out, std::FILE* err)
    : Reporter(out, err, ReporterWorld{IsTerminal(out), IsTerminal(err), Clock::now}) {}

Reporter::Reporter(std::FILE* out, std::FILE* err, ReporterWorld world)
    : m_out(out), m_err(err), m_world(std::move(world)), m_start(m_world.now()) {
    if (!m_world.outIsTerminal)
        std::setvbuf(m_out, nullptr, _IOFBF, kOutBuffer);
}

void Reporter::Result(std::string_view line) {
    // On a terminal stdout and stderr share the screen: the progress line must not be left
    // in front of a result.
    if (m_world.outIsTerminal)
        EraseProgress();
    errno = 0;
    const bool written = std::fwrite(line.data(), 1, line.size(), m_out) == line.size() &&
                         std::fputc('\n', m_out) != EOF &&
                         (!(m_world.outIsTerminal || m_flushEachResult) || std::fflush(m_out) == 0);
    if (!written && m_outErrno == 0)
        m_outErrno = errno != 0 ? errno : EIO;
}

void Reporter::Failure(std::string_view subject, std::string_view reason) {
    std::string text(kProgramName);
    text.append(": ").append(subject).append(": ").append(reason).push_back('\n');
    EraseProgress();
    WriteErr(text);
}

void Reporter::Note(std::string_view text) {
    std::string line(kProgramName);
    line.append(": ").append(text).push_back('\n');
    EraseProgress();
    WriteErr(line);
}

void Reporter::Progress(std::size_t done, std::size_t total) {
    if (!m_world.errIsTerminal)
        return;
    const Clock::time_point now = m_world.now();
    if (now - m_start < kProgressAfter || (m_drawnWidth > 0 && now - m_lastDraw < kRedrawEvery))
        return;
    m_lastDraw = now;
    std::string text(kProgramName);
    text.append(": ")
        .append(std::to_string(done))
        .append("/")
        .append(std::to_string(total))
        .append(" files");
    const std::size_t width = text.size();
    if (width < m_drawnWidth)
        text.append(m_drawnWidth - width, ' ');
    m_drawnWidth = std::max(width, m_drawnWidth);
    WriteErr("\r" + text);
}

bool Reporter::FinishResults() {
    errno = 0;
    if (std::fflush(m_out) != 0 && m_outErrno == 0)
        m_outErrno = errno != 0 ? errno : EIO;
    if (std::ferror(m_out) && m_outErrno == 0)
        m_outErrno = EIO;
    if (m_outErrno == 0)
        return true;
    Failure("standard output", std::strerror(m_outErrno));
    return false;
}

void Reporter::EraseProgress() {
    if (m_drawnWidth == 0)
        return;
    std::string blank(m_drawnWidth + 2, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    WriteErr(blank);
    m_drawnWidth = 0;
}

void Reporter::WriteErr(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), m_err);
    std::fflush(m_err);
}

} // namespace veldran::cli
