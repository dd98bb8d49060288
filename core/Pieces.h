#pragma once
// A scheme file is handled in pieces: what one read of a 256-byte line buffer delivers. A piece
// ends after a newline, after 255 characters, or at the end of the file. Before cutting, a CR
// directly before a LF is dropped, as a Windows text-mode read does.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace veldran {

inline constexpr std::size_t kMaxPiece = 255;

// Drops every CR that directly precedes a LF in buffer[0, size), in place; returns the new size.
std::size_t DropCrBeforeLf(char* buffer, std::size_t size);
// The same on a string. Returns whether any CR LF was seen.
bool DropCrBeforeLf(std::string& text);

// The pieces of a text, in order, as the line reader delivers them.
class PieceCutter {
public:
    explicit PieceCutter(std::string_view text) : m_text(text) {}
    // The next piece, or an empty view at the end.
    std::string_view Next();

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

struct PieceRewriteStats {
    std::uint64_t replacements = 0;
    std::uint64_t changedPieces = 0;
};

// Called for each piece with at least one replacement, with the piece as replaced and not yet
// wrapped (newline kept as "\n").
using ChangedPieceFn = std::function<void(std::string_view piece)>;

// Rewrites normalised text piece by piece (replacement, then the wrap rule) and appends the
// result to `out`. With `crlf`, every newline of the output is written as CR LF. `asRead`, when
// given with `crlf`, is the text before normalising, in which every LF had a CR before it: the
// lines the rewrite leaves alone are then copied from it as they stand, not line by line.
PieceRewriteStats RewritePieces(std::string_view text, std::string_view find,
                                std::string_view replace, bool crlf, std::string& out,
                                const ChangedPieceFn& onChangedPiece, std::string_view asRead = {});

// Calls `onChangedPiece` for each piece that RewritePieces finds changed, in order, with the
// piece as replaced (not wrapped, newline kept as "\n"). Writes nothing else: the log records of
// a file are made from this once the file is safe on disk.
void ForEachChangedPiece(std::string_view text, std::string_view find, std::string_view replace,
                         const ChangedPieceFn& onChangedPiece);

// Whether some piece of `text` contains `find`. `text` must begin at a piece boundary and end
// at one (or at the end of the file). An empty find text is found in any non-empty text.
bool PiecesContain(std::string_view text, std::string_view find);

} // namespace veldran
