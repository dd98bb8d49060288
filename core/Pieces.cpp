#include "Pieces.h"

#include "LineRewrite.h"
#include "TextSearch.h"

#include <algorithm>

namespace veldran {

bool DropCrBeforeLf(std::string& text) {
    std::size_t cr = FindByte(text, 0, '\r');
    bool seen = false;
    std::size_t write = cr;
    while (cr != kNotFound) {
        const std::size_t next = FindByte(text, cr + 1, '\r');
        const std::size_t runEnd = next == kNotFound ? text.size() : next;
        // text[cr] is a CR; the run after it lasts up to the next CR.
        const bool beforeLf = cr + 1 < text.size() && text[cr + 1] == '\n';
        seen = seen || beforeLf;
        const std::size_t keepFrom = beforeLf ? cr + 1 : cr;
        if (write != keepFrom)
            std::copy(text.begin() + static_cast<std::ptrdiff_t>(keepFrom),
                      text.begin() + static_cast<std::ptrdiff_t>(runEnd),
                      text.begin() + static_cast<std::ptrdiff_t>(write));
        write += runEnd - keepFrom;
        cr = next;
    }
    if (write != kNotFound)
        text.resize(write);
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
                                const ChangedPieceFn& onChangedPiece) {
    PieceRewriteStats stats;
    // A find text longer than a piece can never lie inside one.
    const bool searchable = !find.empty() && find.size() <= kMaxPiece;
    std::size_t match = searchable ? FindLiteral(text, 0, find) : kNotFound;
    std::size_t pos = 0;
    while (pos < text.size()) {
        // A match that began in the previous piece crossed its end: search again from here.
        if (match != kNotFound && match < pos)
            match = FindLiteral(text, pos, find);
        // Lines up to the wrap threshold before the next match are pieces that the rewrite
        // leaves as they are: they go out in one copy.
        const std::size_t plain =
            ShortLinesEnd(text, pos, match == kNotFound ? text.size() : match, kWrapThreshold);
        if (plain > pos) {
            AppendLines(out, text.substr(pos, plain - pos), crlf);
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
            match = FindLiteral(text, copied, find);
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
    for (std::size_t hit = FindLiteral(text, 0, find); hit != kNotFound;) {
        const auto [pieceStart, end] = pieces.Of(hit);
        if (hit + find.size() > end) {
            hit = FindLiteral(text, end, find);
            continue;
        }
        piece.assign(text.data() + pieceStart, hit - pieceStart);
        std::size_t copied = hit;
        while (hit != kNotFound && hit + find.size() <= end) {
            piece.append(text.data() + copied, hit - copied).append(replace);
            copied = hit + find.size();
            hit = FindLiteral(text, copied, find);
        }
        piece.append(text.data() + copied, end - copied);
        onChangedPiece(piece);
        if (hit != kNotFound && hit < end)
            hit = FindLiteral(text, end, find);
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
    for (std::size_t hit = FindLiteral(text, 0, find); hit != kNotFound;) {
        const std::size_t end = pieces.Of(hit).second;
        if (hit + find.size() <= end)
            return true;
        // Every later hit inside this piece would cross its end too.
        hit = FindLiteral(text, end, find);
    }
    return false;
}

} // namespace veldran
