// The rewrite protocol and the locked appends, the same on every platform; the platform files
// supply the steps.
#include "SafeFile.h"

#include "FilePrimitives.h"

#include <chrono>
#include <cstring>

namespace veldran {

namespace {

constexpr const char* kChangedWhileRewritten =
    "cannot write: the file changed while it was rewritten";
// Two opens in a row found the name given to another file: someone keeps replacing it.
constexpr int kOpenAttempts = 8;
// Records are written out in blocks of this size, so memory does not grow with their number.
constexpr std::size_t kAppendBlock = std::size_t{64} * 1024;

std::string ErrnoReason(const char* what, int err) {
    return std::string(what) + ": " + std::strerror(err);
}

int Fault(WriteFaults* faults, WriteStep step) {
    return faults ? faults->Inject(step) : 0;
}

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Whether the open file still holds exactly `expected`, read through the handle.
bool HoldsExactly(NativeHandle file, std::string_view expected) {
    std::string chunk(std::size_t{1} << 20, '\0');
    std::string error;
    std::uint64_t offset = 0;
    for (;;) {
        const long long n = native::ReadAt(file, offset, chunk.data(), chunk.size(), error);
        if (n < 0)
            return false;
        if (n == 0)
            return offset == expected.size();
        const auto got = static_cast<std::size_t>(n);
        if (offset + got > expected.size() ||
            std::memcmp(chunk.data(), expected.data() + offset, got) != 0)
            return false;
        offset += got;
    }
}

// Reads until the end, into `data`: room for `sizeHint` bytes first, then more, since the file
// may grow while it is read. `read(buffer, size, offset)` gives 0 at the end, -1 on an error.
template <typename Read> bool ReadToEnd(std::string& data, std::size_t sizeHint, Read read) {
    data.clear();
    data.resize(sizeHint + 1);
    std::size_t used = 0;
    for (;;) {
        if (used == data.size())
            data.resize(data.size() * 2);
        const long long n = read(data.data() + used, data.size() - used, used);
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

} // namespace

RewritableFile::RewritableFile() = default;
RewritableFile::~RewritableFile() = default;

bool RewritableFile::Open(const std::string& path, std::string& error,
                          const std::atomic<bool>* stop, bool* busy, const Claim& claim) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        m_target = std::make_unique<NativeTarget>();
        if (!native::OpenTarget(path, *m_target, error))
            return false;
        FileIdentity opened;
        if (claim && !(native::Identify(m_target->file, opened) && claim(opened))) {
            error = "cannot open: the file is being rewritten under another name";
            m_target.reset();
            return false;
        }
        bool moved = false;
        bool held = false;
        if (!native::LockTarget(*m_target, busy == nullptr, stop, held, moved, error)) {
            if (busy != nullptr)
                *busy = held;
            m_target.reset();
            return false;
        }
        // Another veldran replaced the file while this one waited: its result is what to read.
        if (!moved)
            return true;
    }
    error = kChangedWhileRewritten;
    return false;
}

bool RewritableFile::Read(std::string& data, std::string& error) {
    FileIdentity before;
    if (!native::Identify(m_target->file, before)) {
        error = "cannot read: the file's state cannot be taken";
        return false;
    }
    const bool read =
        ReadToEnd(data, static_cast<std::size_t>(before.size),
                  [&](char* buffer, std::size_t size, std::uint64_t offset) {
                      return native::ReadAt(m_target->file, offset, buffer, size, error);
                  });
    if (!read)
        return false;
    const std::size_t used = data.size();
    // Writing back what was read from a file that another program is changing would lose what
    // that program wrote.
    if (!native::Identify(m_target->file, m_read) || !(m_read == before) || m_read.size != used) {
        data.clear();
        error = "cannot read: the file changed while it was read";
        return false;
    }
    // A file changed within one time stamp tick of the read could be changed again without its
    // times showing it: its bytes are compared after the swap instead.
    m_recent = NowNs() - m_read.changed <= native::TimestampTickNs(m_target->file);
    m_readData = data;
    return true;
}

bool RewritableFile::Replace(std::string_view data, std::string& error, WriteFaults* faults) {
    return Prepare(data, error, faults) && Flush(error, faults) && SwapIn(error, faults);
}

bool RewritableFile::Prepare(std::string_view data, std::string& error, WriteFaults* faults) {
    NativeTarget& t = *m_target;
    FileIdentity now;
    if (!native::Identify(t.file, now) || !(now == m_read)) {
        error = kChangedWhileRewritten;
        return false;
    }
    if (const int err = Fault(faults, WriteStep::CreateTemp)) {
        error = ErrnoReason("cannot create a temporary file", err);
        return false;
    }
    if (!native::CreateReplacement(t, error))
        return false;
    if (const int err = Fault(faults, WriteStep::Write)) {
        error = ErrnoReason("cannot write", err);
        return false;
    }
    return native::WriteReplacement(t, data, error) && native::CopyMetadata(t, error);
}

bool RewritableFile::Flush(std::string& error, WriteFaults* faults) {
    if (const int err = Fault(faults, WriteStep::Flush)) {
        error = ErrnoReason("cannot flush", err);
        return false;
    }
    return native::FlushReplacement(*m_target, error);
}

bool RewritableFile::FlushTogether(const std::vector<RewritableFile*>& files, std::string& error,
                                   WriteFaults* faults) {
    std::vector<NativeTarget*> targets;
    for (RewritableFile* file : files) {
        if (const int err = Fault(faults, WriteStep::Flush)) {
            error = ErrnoReason("cannot flush", err);
            return false;
        }
        targets.push_back(file->m_target.get());
    }
    return native::FlushReplacements(targets, error);
}

bool RewritableFile::ReplacementIdentity(FileIdentity& identity) const {
    return native::Identify(m_target->replacement, identity);
}

bool RewritableFile::KeepOriginal(const std::string& path, std::string& error) {
    FileIdentity before;
    const bool unchanged = native::Identify(m_target->file, before) && before == m_read;
    if (!native::KeepOriginal(*m_target, path, error))
        return false;
    // A second name changes the file's status time, and only that: it is the one to expect now.
    // A file changed by someone else keeps its old expectation, and the swap refuses it.
    FileIdentity now;
    if (unchanged && native::Identify(m_target->file, now) && now.SameContent(m_read))
        m_read.changed = now.changed;
    return true;
}

bool RewritableFile::SwapIn(std::string& error, WriteFaults* faults) {
    NativeTarget& t = *m_target;
    FileIdentity now;
    if (!native::Identify(t.file, now) || !(now == m_read)) {
        error = kChangedWhileRewritten;
        return false;
    }
    if (const int err = Fault(faults, WriteStep::Rename)) {
        error = ErrnoReason("cannot replace the file", err);
        return false;
    }
    bool exchanged = false;
    if (!native::SwapIn(t, exchanged, error))
        return false;
    // The exchange cannot drop a write: whatever held the name is now at hand. If it is not the
    // file that was read, unchanged, it goes back.
    if (exchanged &&
        (!native::SwappedOutIsTarget(t) || !native::Identify(t.file, now) ||
         !now.SameContent(m_read) || (m_recent && !HoldsExactly(t.file, m_readData)))) {
        if (!native::SwapBack(t, error))
            return false;
        error = kChangedWhileRewritten;
        return false;
    }
    native::RemoveSwappedOut(t);
    return true;
}

void RewritableFile::Close() {
    m_target.reset();
}

bool ReplaceFileContent(const std::string& path, std::string_view data, std::string& error,
                        WriteFaults* faults) {
    RewritableFile file;
    std::string current;
    return file.Open(path, error) && file.Read(current, error) && file.Replace(data, error, faults);
}

Appender::Appender() = default;

Appender::~Appender() {
    Rollback();
}

bool Appender::Open(const std::string& path, std::string& error, WriteFaults* faults) {
    m_faults = faults;
    m_buffer.clear();
    if (const int err = Fault(faults, WriteStep::CreateTemp)) {
        error = ErrnoReason("cannot open", err);
        return false;
    }
    m_file = std::make_unique<NativeAppend>();
    if (!native::OpenForAppend(path, *m_file, error)) {
        m_file.reset();
        return false;
    }
    return true;
}

bool Appender::Append(std::string_view data, std::string& error) {
    m_buffer.append(data);
    return m_buffer.size() < kAppendBlock || WriteBuffered(error);
}

bool Appender::WriteBuffered(std::string& error) {
    if (const int err = Fault(m_faults, WriteStep::Write)) {
        error = ErrnoReason("cannot write", err);
        Rollback();
        return false;
    }
    if (!native::AppendBytes(*m_file, m_buffer, error)) {
        Rollback();
        return false;
    }
    m_buffer.clear();
    return true;
}

bool Appender::Commit(std::string& error) {
    if (!m_file) {
        error = "cannot write: the file is not open";
        return false;
    }
    if (!m_buffer.empty() && !WriteBuffered(error))
        return false;
    const bool closed = native::CloseAppend(*m_file, error);
    if (!closed)
        native::TruncateBack(*m_file);
    m_file.reset();
    return closed;
}

void Appender::Rollback() {
    m_buffer.clear();
    if (!m_file)
        return;
    native::TruncateBack(*m_file);
    m_file.reset();
}

bool AppendToFile(const std::string& path, std::string_view data, std::string& error,
                  WriteFaults* faults) {
    Appender out;
    return out.Open(path, error, faults) && out.Append(data, error) && out.Commit(error);
}

bool ReadWholeFile(const std::string& path, std::string& data, std::string& error) {
    InputFile file;
    if (!file.Open(path, error))
        return false;
    return ReadToEnd(data, file.SizeHint(), [&](char* buffer, std::size_t size, std::uint64_t) {
        return file.Read(buffer, size, error);
    });
}

} // namespace veldran
