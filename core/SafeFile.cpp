// The rewrite protocol and the locked appends, the same on every platform; the platform files
// supply the steps.
#include "SafeFile.h"

#include "FilePrimitives.h"

#include <algorithm>
#include <array>
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
// A read's step: small enough to stay in the processor's cache between being cleared and read.
constexpr std::size_t kReadStep = std::size_t{256} * 1024;
// A file's bytes are compared with what was read in chunks of this size.
constexpr std::size_t kCompareChunk = std::size_t{64} * 1024;
// Text buffers from this size on ask for large pages: at least two of 2 MB fit inside.
constexpr std::size_t kLargePagesFrom = std::size_t{6} << 20;

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

// Whether the open file still holds exactly `expected`, read through the handle. The chunk is
// on the stack, so a check costs no allocation and no fresh pages.
bool HoldsExactly(NativeHandle file, std::string_view expected) {
    std::array<char, kCompareChunk> chunk;
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

// A digest of bytes given in any number of parts: tells whether a file still holds what was
// written into it, without a copy of what was written. Two independent 64-bit lanes over 8-byte
// words, each word made the same way whatever the parts' sizes, and the length at the end.
class Digest {
public:
    void Add(std::string_view bytes) {
        m_size += bytes.size();
        while (!bytes.empty() && m_pending != 0)
            Take(bytes);
        for (; bytes.size() >= sizeof m_word; bytes.remove_prefix(sizeof m_word))
            Mix(bytes.data());
        while (!bytes.empty())
            Take(bytes);
    }
    std::array<std::uint64_t, 2> Value() const {
        Digest last = *this;
        std::memset(last.m_word + last.m_pending, 0, sizeof m_word - last.m_pending);
        last.Mix(last.m_word);
        char size[sizeof m_size];
        std::memcpy(size, &m_size, sizeof size);
        last.Mix(size);
        return {last.m_a, last.m_b};
    }

private:
    void Take(std::string_view& bytes) {
        m_word[m_pending++] = bytes.front();
        bytes.remove_prefix(1);
        if (m_pending < sizeof m_word)
            return;
        Mix(m_word);
        m_pending = 0;
    }
    void Mix(const char* bytes) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes, sizeof word);
        m_a = (m_a ^ word) * 0xFF51AFD7ED558CCDULL;
        m_a ^= m_a >> 29;
        m_b = (m_b + word) * 0x9FB21C651E98DF25ULL;
        m_b = (m_b << 31) | (m_b >> 33);
    }

    std::uint64_t m_a = 0x9E3779B97F4A7C15ULL;
    std::uint64_t m_b = 0xC2B2AE3D27D4EB4FULL;
    std::uint64_t m_size = 0;
    char m_word[8] = {};
    std::size_t m_pending = 0;
};

// What became of the bytes written into a new file: still exactly them; them and a tail that
// another program appended; anything else (or a file that cannot be read back).
enum class Written { Unchanged, Appended, Changed };

// Reads `file` to its end (in `end`) and compares its first `size` bytes with `digest`.
Written Inspect(NativeHandle file, std::uint64_t size, const std::array<std::uint64_t, 2>& digest,
                std::uint64_t& end) {
    std::string chunk(std::size_t{1} << 20, '\0');
    std::string error;
    Digest head;
    for (end = 0;;) {
        const long long n = native::ReadAt(file, end, chunk.data(), chunk.size(), error);
        if (n < 0)
            return Written::Changed;
        if (n == 0)
            break;
        const auto got = static_cast<std::uint64_t>(n);
        if (end < size)
            head.Add({chunk.data(), static_cast<std::size_t>(std::min(got, size - end))});
        end += got;
    }
    if (end < size || head.Value() != digest)
        return Written::Changed;
    return end == size ? Written::Unchanged : Written::Appended;
}

// Reads until the end, into `data`: room for `sizeHint` bytes first, then more, since the file
// may grow while it is read. `read(buffer, size, offset)` gives 0 at the end, -1 on an error.
// The string is lengthened one step at a time just before each read, so the zeros it must write
// land in the cache the read then overwrites, not in the whole buffer ahead of the read.
template <typename Read> bool ReadToEnd(std::string& data, std::size_t sizeHint, Read read) {
    data.clear();
    // Fresh room, not grown: growing would copy nothing but double a buffer that was almost
    // large enough. The headroom lets the next, slightly larger file fit.
    if (data.capacity() < sizeHint + 1)
        ReserveText(data, sizeHint + 1 + sizeHint / 8);
    for (;;) {
        const std::size_t used = data.size();
        if (used == data.capacity())
            data.reserve(data.capacity() * 2);
        data.resize(used + std::min(kReadStep, data.capacity() - used));
        const long long n = read(data.data() + used, data.size() - used, used);
        if (n < 0) {
            data.clear();
            return false;
        }
        data.resize(used + static_cast<std::size_t>(n));
        if (n == 0)
            return true;
    }
}

} // namespace

RewritableFile::RewritableFile() = default;
RewritableFile::~RewritableFile() = default;

bool RewritableFile::Open(const std::string& path, std::string& error,
                          const std::atomic<bool>* stop, bool* busy, WriteFaults* faults,
                          const Claim& claim) {
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
        // Tried first without waiting, so that a wait is told before it begins.
        bool locked = native::LockTarget(*m_target, false, stop, held, moved, error);
        if (!locked && held && busy == nullptr) {
            if (const int err = Fault(faults, WriteStep::WaitForLock)) {
                error = ErrnoReason("cannot open", err);
                m_target.reset();
                return false;
            }
            locked = native::LockTarget(*m_target, true, stop, held, moved, error);
        }
        if (!locked) {
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

bool RewritableFile::Read(std::string& data, std::string& error, WriteFaults* faults) {
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
    const std::int64_t tick = native::TimestampTickNs(m_target->file);
    m_recent = NowNs() - m_read.changed <= (faults ? faults->TimestampTickNs(tick) : tick);
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
    Digest written;
    written.Add(data);
    m_writtenSize = data.size();
    const auto digest = written.Value();
    std::copy(digest.begin(), digest.end(), m_writtenDigest);
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

bool RewritableFile::KeepOriginal(const FolderRef& folder, const std::string& name,
                                  std::string& error, bool copy) {
    FileIdentity before;
    const bool unchanged = native::Identify(m_target->file, before) && before == m_read;
    if (!native::KeepOriginal(*m_target, folder, name, copy, error))
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
    if (!native::NameReplacement(t, error))
        return false;
    if (const int err = Fault(faults, WriteStep::Rename)) {
        error = ErrnoReason("cannot replace the file", err);
        return false;
    }
    bool exchanged = false;
    if (!native::SwapIn(t, exchanged, error))
        return false;
    if (exchanged) {
        // The exchange cannot drop a write: whatever held the name is now at hand. If it is not
        // the file that was read, unchanged, it goes back.
        if (const int err = Fault(faults, WriteStep::Exchanged)) {
            error = ErrnoReason("cannot replace the file", err);
            return SwapBack(error, faults);
        }
        if (!native::SwappedOutIsTarget(t) || !native::Identify(t.file, now) ||
            !now.SameContent(m_read) || (m_recent && !HoldsExactly(t.file, m_readData))) {
            error = kChangedWhileRewritten;
            return SwapBack(error, faults);
        }
    }
    native::RemoveSwappedOut(t);
    return true;
}

bool RewritableFile::SwapBack(std::string& error, WriteFaults* faults) {
    NativeTarget& t = *m_target;
    // While the new file held the name, another program may have written into it. A tail it
    // appended goes to the end of the file that goes back: first while that file still lies
    // aside, where no one appends to it by name, then once more after the swap back, for what
    // came in the instant between. Anything else keeps the new file.
    const std::array<std::uint64_t, 2> digest = {m_writtenDigest[0], m_writtenDigest[1]};
    std::uint64_t carried = m_writtenSize;
    const auto carryTail = [&] {
        std::uint64_t end = 0;
        const Written ours = Inspect(t.replacement, m_writtenSize, digest, end);
        if (ours != Written::Appended)
            return ours;
        std::string chunk(static_cast<std::size_t>(std::min<std::uint64_t>(end - carried, 1 << 20)),
                          '\0');
        std::string ignored;
        while (carried < end) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(end - carried, chunk.size()));
            const long long n = native::ReadAt(t.replacement, carried, chunk.data(), want, ignored);
            if (n <= 0 ||
                !native::AppendToTarget(t, {chunk.data(), static_cast<std::size_t>(n)}, ignored))
                return Written::Changed; // what is not carried over stays in the new file
            carried += static_cast<std::uint64_t>(n);
        }
        return Written::Appended;
    };
    Written ours = carryTail();
    (void)Fault(faults, WriteStep::SwapBack);
    std::string reason;
    if (!native::SwapBack(t, reason)) {
        error = reason;
        return false;
    }
    if (ours != Written::Changed)
        ours = carryTail();
    if (ours == Written::Changed) {
        std::string kept;
        native::KeepReplacement(t, kept);
        error +=
            "; the new file, with what another program wrote into it meanwhile, is kept as " + kept;
    }
    return false;
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

bool Appender::Open(const std::string& path, std::string& error, WriteFaults* faults,
                    const std::atomic<bool>* stop) {
    m_faults = faults;
    m_buffer.clear();
    if (const int err = Fault(faults, WriteStep::CreateTemp)) {
        error = ErrnoReason("cannot open", err);
        return false;
    }
    m_file = std::make_unique<NativeAppend>();
    bool busy = false;
    // Tried first without waiting, so that a wait is told before it begins.
    bool locked = native::OpenForAppend(path, *m_file, error) &&
                  native::LockAppend(*m_file, false, stop, busy, error);
    if (!locked && busy) {
        if (const int err = Fault(faults, WriteStep::WaitForLock)) {
            error = ErrnoReason("cannot lock", err);
            m_file.reset();
            return false;
        }
        locked = native::LockAppend(*m_file, true, stop, busy, error);
    }
    if (!locked)
        m_file.reset();
    return locked;
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
                  WriteFaults* faults, const std::atomic<bool>* stop) {
    Appender out;
    return out.Open(path, error, faults, stop) && out.Append(data, error) && out.Commit(error);
}

void ReserveText(std::string& buffer, std::size_t size) {
    std::string().swap(buffer);
    buffer.reserve(size);
    if (buffer.capacity() >= kLargePagesFrom)
        native::AdviseLargePages(buffer.data(), buffer.capacity());
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
