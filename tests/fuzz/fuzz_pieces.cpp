// The piece reader and the rewrite of a file's text against the models of Models.h: the text
// is normalised (CR LF to LF), cut into what fgets would deliver, and each piece is replaced,
// logged when changed, wrapped and, for a CR LF file, given CR LF line ends again.
// Input: a flags byte (bit 0: write CR LF, bit 1: skip the normalising, the other bits pick a
// piece boundary to search from), the find text, the replacement text, then the file's bytes.

#include "FuzzInput.h"
#include "Models.h"
#include "Pieces.h"

using namespace veldran;
using namespace veldran::fuzz;

namespace {

bool PieceHolds(const std::string& piece, std::string_view find) {
    if (find.empty())
        return !piece.empty();
    for (std::size_t pos = 0; pos < piece.size(); ++pos)
        if (StandsAt(piece, pos, find))
            return true;
    return false;
}

bool AnyPieceHolds(const std::vector<std::string>& pieces, std::size_t from,
                   std::string_view find) {
    for (std::size_t i = from; i < pieces.size(); ++i)
        if (PieceHolds(pieces[i], find))
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::uint8_t flags = input.Byte();
    const bool crlf = flags & 1;
    const std::string find(input.Text());
    const std::string replace(input.Text());
    const std::string_view raw = input.Rest();

    bool expectedSaw = false;
    const std::string normalised = ModelDropCrBeforeLf(raw, expectedSaw);
    std::string dropped(raw);
    Expect(DropCrBeforeLf(dropped) == expectedSaw, "DropCrBeforeLf result");
    Expect(dropped == normalised, "DropCrBeforeLf text");

    const std::string text = (flags & 2) ? std::string(raw) : normalised;
    const std::vector<std::string> pieces = ModelPieces(text);

    PieceCutter cutter(text);
    for (const std::string& piece : pieces)
        Expect(cutter.Next() == piece, "PieceCutter piece");
    Expect(cutter.Next().empty(), "PieceCutter end");

    // The rewrite appends behind what the buffer already holds.
    const std::string before = "held\n";
    std::string expected = before;
    std::vector<std::string> expectedLogged;
    std::uint64_t expectedReplacements = 0;
    for (std::string piece : pieces) {
        const int count = ModelReplaceAll(piece, find, replace);
        if (count > 0) {
            expectedReplacements += static_cast<std::uint64_t>(count);
            expectedLogged.push_back(piece);
        }
        ModelWrap(piece);
        for (const char c : piece) {
            if (crlf && c == '\n')
                expected += '\r';
            expected += c;
        }
    }

    std::string out = before;
    std::vector<std::string> logged;
    const PieceRewriteStats stats =
        RewritePieces(text, find, replace, crlf, out,
                      [&](std::string_view piece) { logged.emplace_back(piece); });
    Expect(out == expected, "RewritePieces text");
    Expect(logged == expectedLogged, "RewritePieces changed pieces");
    Expect(stats.changedPieces == expectedLogged.size(), "RewritePieces changed count");
    Expect(stats.replacements == expectedReplacements, "RewritePieces replacements");
    if (crlf) {
        // Copying untouched lines from the text as read (every LF after a CR) changes nothing.
        std::string asRead;
        for (const char c : text)
            asRead.append(c == '\n' ? "\r\n" : std::string_view(&c, 1));
        std::string copied = before;
        RewritePieces(text, find, replace, crlf, copied, nullptr, asRead);
        Expect(copied == expected, "RewritePieces copying from the text as read");
    }
    // The log records are made by a second pass once the file is safe: the same pieces.
    std::vector<std::string> again;
    ForEachChangedPiece(text, find, replace,
                        [&](std::string_view piece) { again.emplace_back(piece); });
    Expect(again == expectedLogged, "ForEachChangedPiece");

    Expect(PiecesContain(text, find) == AnyPieceHolds(pieces, 0, find), "PiecesContain");
    // A search may also begin at any later piece boundary, as the streaming search does.
    if (!pieces.empty()) {
        const std::size_t first = (flags >> 2) % pieces.size();
        std::size_t offset = 0;
        for (std::size_t i = 0; i < first; ++i)
            offset += pieces[i].size();
        Expect(PiecesContain(std::string_view(text).substr(offset), find) ==
                   AnyPieceHolds(pieces, first, find),
               "PiecesContain from a piece boundary");
    }
    return 0;
}
