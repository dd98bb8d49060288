#pragma once
// Everything veldran-cli says: result lines on stdout; failures, the summary and the progress
// line on stderr.

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace veldran::cli {

inline constexpr std::string_view kProgramName = "veldran-cli";

// What the reporter asks of the world: whether each stream is a terminal, and the time. Tests
// give their own, so that a long run's progress line is drawn without waiting for a second.
struct ReporterWorld {
    bool outIsTerminal = false;
    bool errIsTerminal = false;
    std::function<std::chrono::steady_clock::time_point()> now = std::chrono::steady_clock::now;
};

class Reporter {
public:
    // Progress is drawn only when `err` is a terminal; `out` is flushed per line only when it is
    // one, so that listing thousands of paths into a pipe costs no write per line.
    Reporter(std::FILE* out, std::FILE* err);
    Reporter(std::FILE* out, std::FILE* err, ReporterWorld world);

    // From now on every result line goes out as soon as it is made.
    void FlushEachResult() { m_flushEachResult = true; }
    // One result line (a path) on stdout.
    void Result(std::string_view line);
    // "veldran-cli: SUBJECT: REASON" on stderr.
    void Failure(std::string_view subject, std::string_view reason);
    // "veldran-cli: TEXT" on stderr, after the progress line has gone.
    void Note(std::string_view text);
    // Called after each file. Draws "done/total" in place once the run has lasted a while.
    void Progress(std::size_t done, std::size_t total);
    // Writes out what stdout still holds. False, after reporting why, when stdout lost a line.
    bool FinishResults();

private:
    using Clock = std::chrono::steady_clock;
    void EraseProgress();
    void WriteErr(const std::string& text);

    std::FILE* m_out;
    std::FILE* m_err;
    ReporterWorld m_world;
    bool m_flushEachResult = false;
    int m_outErrno = 0; // the first failed write to stdout
    Clock::time_point m_start;
    Clock::time_point m_lastDraw{};
    std::size_t m_drawnWidth = 0; // characters of the progress line now on screen
};

} // namespace veldran::cli
