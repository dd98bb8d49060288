#include "Pieces.h"

#include "LineRewrite.h"
#include "TextSearch.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace veldran {

namespace {

#ifdef VELDRAN_HAS_SSE2
// Bit i set where text[i] is a CR and text[i + 1] a LF, for i in [0, 64).
std::uint64_t CrLfMask(const char* text) {
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    std::uint64_t mask = 0;
    for (std::ptrdiff_t block = 0; block < 4; ++block) {
        const char* at = text + block * 16;
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
        const auto bits = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(here, cr), _mm_cmpeq_epi8(next, lf))));
        mask |= static_cast<std::uint64_t>(bits) << (block * 16);
    }
    return mask;
}

// Copies 64 bytes, of which the caller uses only the first few.
void Copy64(char* to, const char* from) {
    for (std::ptrdiff_t block = 0; block < 4; ++block)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + block * 16),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + block * 16)));
}
#endif

} // namespace

std::size_t DropCrBeforeLf(char* buffer, std::size_t size) {
    char* read = static_cast<char*>(std::memchr(buffer, '\r', size));
    if (read == nullptr)
        return size;
    char* const end = buffer + size;
    char* write = read;
    while (read < end) {
#ifdef VELDRAN_HAS_SSE2
        // Dense CR LF text, 64 bytes at a time. The kept runs are copied in whole blocks and the
        // excess is overwritten by the next run: once the text has moved back by 64 bytes, no
        // store reaches a byte not yet read.
        if (read - write >= 64 && end - read >= 128) {
            const char* run = read;
            for (std::uint64_t hits = CrLfMask(read); hits != 0; hits &= hits - 1) {
                const char* cr = read + std::countr_zero(hits);
                Copy64(write, run);
                write += cr - run;
                run = cr + 1;
            }
            Copy64(write, run);
            write += read + 64 - run;
            read += 64;
            continue;
        }
#endif
        // Sparse CRs, or the first few: whole runs between CRs move at once.
        if (read[0] == '\r' && read + 1 < end && read[1] == '\n')
            ++read;
        char* next = read + 1 < end ? static_cast<char*>(std::memchr(
                                          read + 1, '\r', static_cast<std::size_t>(end - read - 1)))
                                    : nullptr;
        char* const runEnd = next != nullptr ? next : end;
        std::memmove(write, read, static_cast<std::size_t>(runEnd - read));
        write += runEnd - read;
        read = runEnd;
    }
    return static_cast<std::size_t>(write - buffer);
}

bool DropCrBeforeLf(std::string& text) {
    const std::size_t size = DropCrBeforeLf(text.data(), text.size());
    const bool seen = size != text.size();
    text.resize(size);
    return seen;
}

namespace {

// End of the piece that starts at `pos` in `text`.
std::size_t PieceEnd(std::string_view text, std::size_t pos) {
    const std::size_t limit = std::min(text.size(), pos + kMaxPiece);
    const void* nl = std::memchr(text.data() + pos, '\n', limit - pos);
    return nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - text.data()) + 1 : limit;
}

// Appends whole lines, with CR LF line ends when asked.
void AppendLines(std::string& out, std::string_view lines, bool crlf) {
    if (!crlf) {
        out.append(lines);
        return;
    }
    std::size_t from = 0;
    for (std::size_t nl = FindByte(lines, 0, '\n'); nl != kNotFound;
         nl = FindByte(lines, from, '\n')) {
        out.append(lines.data() + from, nl - from).append("\r\n");
        from = nl + 1;
    }
    out.append(lines.substr(from));
}

void ExpandNewlines(std::string& out, std::size_t from) {
    for (std::size_t nl = FindByte(out, from, '\n'); nl != kNotFound;
         nl = FindByte(out, nl + 2, '\n'))
        out.insert(nl, 1, '\r');
}

} // namespace

std::string_view PieceCutter::Next() {
    if (m_pos >= m_text.size())
        return {};
    const std::size_t end = PieceEnd(m_text, m_pos);
    const std::string_view piece = m_text.substr(m_pos, end - m_pos);
    m_pos = end;
    return piece;
}

PieceRewriteStats RewritePieces(std::string_view text, std::string_view find,
                                std::string_view replace, bool crlf, std::string& out,
                                const ChangedPieceFn& onChangedPiece, std::string_view asRead) {
    PieceRewriteStats stats;
    const bool copyAsRead = crlf && !asRead.empty();
    std::size_t readPos = 0; // where `pos` lies in `asRead`: each LF before it had a CR
    // A find text longer than a piece can never lie inside one.
    const bool searchable = !find.empty() && find.size() <= kMaxPiece;
    const LiteralFinder finder(find);
    std::size_t match = searchable ? finder.Find(text, 0) : kNotFound;
    std::size_t pos = 0;
    while (pos < text.size()) {
        // A match that began in the previous piece crossed its end: search again from here.
        if (match != kNotFound && match < pos)
            match = finder.Find(text, pos);
        // Lines up to the wrap threshold before the next match are pieces that the rewrite
        // leaves as they are: they go out in one copy.
        const std::size_t plain =
            ShortLinesEnd(text, pos, match == kNotFound ? text.size() : match, kWrapThreshold);
        if (plain > pos) {
            const std::string_view lines = text.substr(pos, plain - pos);
            if (copyAsRead) {
                const std::size_t length = lines.size() + CountByte(lines, '\n');
                out.append(asRead.substr(readPos, length));
                readPos += length;
            } else {
                AppendLines(out, lines, crlf);
            }
            pos = plain;
            continue;
        }
        const std::size_t end = PieceEnd(text, pos);
        const std::size_t outStart = out.size();
        std::size_t copied = pos;
        std::uint64_t count = 0;
        while (match != kNotFound && match + find.size() <= end) {
            out.append(text.data() + copied, match - copied);
            out.append(replace);
            copied = match + find.size();
            ++count;
            match = finder.Find(text, copied);
        }
        out.append(text.data() + copied, end - copied);
        if (count > 0) {
            stats.replacements += count;
            ++stats.changedPieces;
            if (onChangedPiece)
                onChangedPiece(std::string_view(out).substr(outStart));
        }
        WrapTail(out, outStart);
        if (crlf)
            ExpandNewlines(out, outStart);
        if (copyAsRead)
            readPos += end - pos + (text[end - 1] == '\n' ? 1 : 0);
        pos = end;
    }
    return stats;
}

namespace {

// The pieces that hold the hits of a search that runs over the whole text at once: hits come in
// ascending order, and only the newlines between two hits are looked at.
class PieceOfHit {
public:
    explicit PieceOfHit(std::string_view text) : m_text(text) {}
    // [start, end) of the piece that holds the hit at `hit`.
    std::pair<std::size_t, std::size_t> Of(std::size_t hit) {
        const std::size_t nl = FindLastByte(m_text.data() + m_scanned, hit - m_scanned, '\n');
        if (nl != kNotFound)
            m_lineStart = m_scanned + nl + 1;
        m_scanned = hit;
        const std::size_t start = m_lineStart + (hit - m_lineStart) / kMaxPiece * kMaxPiece;
        return {start, PieceEnd(m_text, start)};
    }

private:
    std::string_view m_text;
    std::size_t m_lineStart = 0; // start of the line that holds `m_scanned`, as far as known
    std::size_t m_scanned = 0;   // newlines before this position have been looked at
};

} // namespace

void ForEachChangedPiece(std::string_view text, std::string_view find, std::string_view replace,
                         const ChangedPieceFn& onChangedPiece) {
    if (find.empty() || find.size() > kMaxPiece)
        return;
    std::string piece;
    PieceOfHit pieces(text);
    const LiteralFinder finder(find);
    for (std::size_t hit = finder.Find(text, 0); hit != kNotFound;) {
        const auto [pieceStart, end] = pieces.Of(hit);
        if (hit + find.size() > end) {
            hit = finder.Find(text, end);
            continue;
        }
        piece.assign(text.data() + pieceStart, hit - pieceStart);
        std::size_t copied = hit;
        while (hit != kNotFound && hit + find.size() <= end) {
            piece.append(text.data() + copied, hit - copied).append(replace);
            copied = hit + find.size();
            hit = finder.Find(text, copied);
        }
        piece.append(text.data() + copied, end - copied);
        onChangedPiece(piece);
        if (hit != kNotFound && hit < end)
            hit = finder.Find(text, end);
    }
}

bool PiecesContain(std::string_view text, std::string_view find) {
    if (find.empty())
        return !text.empty();
    if (find.size() > kMaxPiece)
        return false;
    // Search the whole text at once and check only that a hit lies inside one piece, so a text
    // without the find text costs one vectorised scan and no per-line work.
    PieceOfHit pieces(text);
    const LiteralFinder finder(find);
    for (std::size_t hit = finder.Find(text, 0); hit != kNotFound;) {
        const std::size_t end = pieces.Of(hit).second;
        if (hit + find.size() <= end)
            return true;
        // Every later hit inside this piece would cross its end too.
        hit = finder.Find(text, end);
    }
    return false;
}

} // namespace veldran
