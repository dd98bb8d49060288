#include "UndoJournal.h"

#include "Checksum.h"
#include "JournalRuns.h"
#include "Platform.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>

namespace veldran {

namespace {

constexpr const char* kFolderPrefix = "veldran-undo-";
// Runs kept besides the newest; older ones go when a Replace starts and no one holds them.
constexpr std::size_t kKeptRuns = 5;
// A concurrent Replace may take the number this one chose: the next is tried, a few times.
constexpr int kRunAttempts = 64;

// What became of an entry's line and original.
enum EntryState : std::uint8_t { kKeeping, kQueued, kWritten, kDurable, kLost };

// A path on one line of the index: the characters that would end a field or a line, escaped.
std::string Escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned char>(c));
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

// False for an escape that Escaped never writes.
bool Unescaped(std::string_view text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        unsigned code = 0;
        const char* first = text.data() + i + 1;
        if (i + 2 >= text.size() ||
            std::from_chars(first, first + 2, code, 16) != std::from_chars_result{first + 2, {}})
            return false;
        out += static_cast<char>(code);
        i += 2;
    }
    return true;
}

// The next field of `fields`, which ends at a space or at the end.
template <typename Number> bool TakeNumber(std::string_view& fields, Number& value, int base = 10) {
    const std::size_t space = std::min(fields.find(' '), fields.size());
    const char* end = fields.data() + space;
    if (std::from_chars(fields.data(), end, value, base) != std::from_chars_result{end, {}})
        return false;
    fields.remove_prefix(std::min(space + 1, fields.size()));
    return true;
}

} // namespace

std::string JournalLine(const JournalEntry& e) {
    char checksum[17];
    std::snprintf(checksum, sizeof checksum, "%016llx",
                  static_cast<unsigned long long>(e.checksum));
    return std::to_string(e.number) + ' ' + std::to_string(e.replaced.volume) + ' ' +
           std::to_string(e.replaced.index) + ' ' + std::to_string(e.replaced.size) + ' ' +
           std::to_string(e.replaced.modified) + ' ' + checksum + '\t' + Escaped(e.path) + '\t' +
           Escaped(e.absolute) + '\n';
}

bool ParseJournalLine(std::string_view line, JournalEntry& e) {
    const std::size_t tab = line.find('\t');
    const std::size_t tab2 = tab == std::string_view::npos ? tab : line.find('\t', tab + 1);
    if (tab2 == std::string_view::npos || line.find('\t', tab2 + 1) != std::string_view::npos)
        return false;
    std::string_view fields = line.substr(0, tab);
    return TakeNumber(fields, e.number) && e.number > 0 && TakeNumber(fields, e.replaced.volume) &&
           TakeNumber(fields, e.replaced.index) && TakeNumber(fields, e.replaced.size) &&
           TakeNumber(fields, e.replaced.modified) && TakeNumber(fields, e.checksum, 16) &&
           fields.empty() && Unescaped(line.substr(tab + 1, tab2 - tab - 1), e.path) &&
           Unescaped(line.substr(tab2 + 1), e.absolute) && !e.absolute.empty();
}

namespace journal {

std::vector<std::uint64_t> RunNumbers(const journalfs::Folder& user) {
    std::vector<std::uint64_t> numbers;
    for (const std::string& name : journalfs::Names(user)) {
        std::uint64_t number = 0;
        const char* end = name.data() + name.size();
        if (std::from_chars(name.data(), end, number) == std::from_chars_result{end, {}})
            numbers.push_back(number);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

bool OpenIndex(const journalfs::Folder& run, NativeHandle& index, bool& stopped, bool& missing,
               std::string& error) {
    stopped = false;
    if (journalfs::OpenOwnFile(run, kIndex, index, missing, error))
        return true;
    if (!missing)
        return false;
    stopped = true;
    return journalfs::OpenOwnFile(run, kStoppedIndex, index, missing, error);
}

} // namespace journal

struct UndoJournal::Folders {
    journalfs::Folder user;
    journalfs::Folder run;
    std::filesystem::path cwd;
};

UndoJournal::UndoJournal() = default;

UndoJournal::~UndoJournal() {
    // What is left is the order of the last swaps: it need not be durable.
    if (m_index != kNoIndex && !m_queued.empty()) {
        std::string error;
        journalfs::Append(m_index, m_queued, error);
    }
    NativeHandle index = m_index;
    journalfs::Close(index);
}

std::string UndoJournal::FolderIn(const std::string& logDir) {
    return logDir + kFolderPrefix + journalfs::UserTag();
}

namespace {

// Removes the runs before the newest few that no one holds (a run's holder keeps its index
// locked: the Replace writing it, or an undo).
void RemoveOldRuns(const journalfs::Folder& user) {
    std::vector<std::uint64_t> numbers = journal::RunNumbers(user);
    if (numbers.size() <= kKeptRuns + 1)
        return;
    numbers.resize(numbers.size() - kKeptRuns - 1);
    for (const std::uint64_t number : numbers) {
        journalfs::Folder run;
        bool exists = false;
        std::string error;
        if (!journalfs::OpenChild(user, std::to_string(number), false, run, exists, error))
            continue;
        NativeHandle index = kNoHandle;
        bool stopped = false;
        bool missing = false;
        bool busy = false;
        const bool opened = journal::OpenIndex(run, index, stopped, missing, error);
        // A run without an index was killed before it kept anything.
        if ((opened && journalfs::TryLock(index, busy, error)) || missing)
            journalfs::RemoveChild(user, std::to_string(number));
        journalfs::Close(index);
    }
}

} // namespace

bool UndoJournal::Start(const std::string& logDir, std::string& error) {
    auto folders = std::make_unique<Folders>();
    const std::string path = FolderIn(logDir);
    std::string why;
    bool missing = false;
    // In the log directory as it is: a missing one is not made here.
    if (!journalfs::OpenPrivate(path, true, folders->user, missing, why)) {
        error = "cannot start the undo journal: " + why;
        return false;
    }
    const std::vector<std::uint64_t> numbers = journal::RunNumbers(folders->user);
    std::uint64_t number = numbers.empty() ? 1 : numbers.back() + 1;
    bool exists = true;
    for (int attempt = 0; exists && attempt < kRunAttempts; ++attempt, ++number) {
        folders->run = journalfs::Folder();
        if (!journalfs::OpenChild(folders->user, std::to_string(number), true, folders->run, exists,
                                  why) &&
            !exists) {
            error = "cannot start the undo journal: " + why;
            return false;
        }
    }
    NativeHandle index = kNoHandle;
    bool busy = false;
    if (exists || !journalfs::CreateOwnFile(folders->run, journal::kIndex, index, why) ||
        !journalfs::TryLock(index, busy, why)) {
        journalfs::Close(index);
        error =
            "cannot start the undo journal: " + (exists ? "other replaces took every name" : why);
        return false;
    }
    std::error_code ec;
    folders->cwd = std::filesystem::current_path(ec);
    RemoveOldRuns(folders->user);
    m_folders = std::move(folders);
    m_index = index;
    return true;
}

void UndoJournal::StartEmpty(const std::string& logDir) {
    UndoJournal journal;
    std::string error;
    if (journal.Start(logDir, error) &&
        journalfs::Append(journal.m_index, std::string(journal::kEmptyRun) + "\n", error))
        journalfs::Sync(journal.m_index, journal.m_folders->run, error);
}

std::size_t UndoJournal::Keep(RewritableFile& file, const std::string& path,
                              std::string_view newText, std::string& error) {
    if (!Working())
        return 0;
    JournalEntry entry;
    if (!file.ReplacementIdentity(entry.replaced)) {
        error = "cannot keep the original for undo: the new file's state cannot be taken";
        const std::lock_guard<std::mutex> lock(m_mutex);
        StopLocked(error);
        return 0;
    }
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopped) {
            // Another thread stopped it for a file after this one, maybe: whichever comes first
            // in the Replace's order says why.
            error = m_stopReason;
            return 0;
        }
        entry.number = ++m_count;
        m_state.push_back(kKeeping);
    }
    if (!file.KeepOriginal(m_folders->run.Ref(), std::to_string(entry.number), error, m_copies)) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_state[entry.number - 1] = kLost;
        StopLocked(error);
        return 0;
    }
    entry.path = path;
    const std::filesystem::path native = NativePath(path);
    entry.absolute = native.is_absolute() ? path : (m_folders->cwd / native).string();
    entry.checksum = ContentChecksum(newText);
    std::string line = JournalLine(entry);
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_queued += line;
    m_queuedNumbers.push_back(entry.number);
    m_state[entry.number - 1] = kQueued;
    return entry.number;
}

bool UndoJournal::WriteQueued(std::string& error) {
    if (journalfs::Append(m_index, m_queued, error)) {
        m_written += m_queued.size();
        for (const std::size_t number : m_queuedNumbers)
            m_state[number - 1] = kWritten;
    } else {
        // A torn block is cut off: the entries in it count for nothing, nor do their originals.
        journalfs::TruncateTo(m_index, m_written);
        for (const std::size_t number : m_queuedNumbers) {
            m_state[number - 1] = kLost;
            journalfs::Remove(m_folders->run, std::to_string(number));
        }
        StopLocked("cannot keep the original for undo: " + error);
    }
    m_queued.clear();
    m_queuedNumbers.clear();
    return error.empty();
}

bool UndoJournal::MakeDurable(std::size_t entry, std::string& error) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    std::string why;
    if (m_state[entry - 1] == kQueued)
        WriteQueued(why);
    if (m_state[entry - 1] == kWritten) {
        // Every entry written so far becomes durable with this one.
        const EntryState now = journalfs::Sync(m_index, m_folders->run, why) ? kDurable : kLost;
        std::replace(m_state.begin(), m_state.end(), std::uint8_t{kWritten},
                     static_cast<std::uint8_t>(now));
        if (now == kLost)
            StopLocked("cannot keep the original for undo: " + why);
    }
    if (m_state[entry - 1] == kDurable)
        return true;
    error = m_stopReason;
    return false;
}

void UndoJournal::Discard(std::size_t entry) {
    // The line may stay in the index; without its original it counts for nothing.
    journalfs::Remove(m_folders->run, std::to_string(entry));
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_state[entry - 1] != kDurable && m_state[entry - 1] != kWritten)
        m_state[entry - 1] = kLost;
}

void UndoJournal::Swapped(std::size_t entry) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_queued += std::string(journal::kSwappedMark) + std::to_string(entry) + "\n";
}

void UndoJournal::StopLocked(const std::string& reason) {
    if (m_stopped.exchange(true))
        return;
    m_stopReason = reason;
    // The name tells undo that files after this point were changed without a journal, even
    // when the disk is too full to take another line.
    std::string error;
    journalfs::Rename(m_folders->run, journal::kIndex, journal::kStoppedIndex, error);
}

} // namespace veldran
