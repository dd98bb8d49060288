#include "FindOnly.h"

#include "Pieces.h"
#include "SafeFile.h"
#include "TextSearch.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace veldran {

namespace {

constexpr std::size_t kBlock = std::size_t{256} * 1024;
// The first reads are short: a match near the top of a file ends the search before most of the
// file is read. Later reads grow to the full block.
constexpr std::size_t kFirstBlock = std::size_t{16} * 1024;

} // namespace

FindResult FileContains(const std::string& path, std::string_view find, std::string& error) {
    InputFile file;
    if (!file.Open(path, error))
        return FindResult::Error;
    // The buffer always begins at a piece boundary: what is left of an unfinished piece (less
    // than one piece) moves to its front before the next block is read behind it.
    // Not zero-filled: clearing it would cost more than searching a small file.
    const std::unique_ptr<char[]> buffer =
        std::make_unique_for_overwrite<char[]>(kMaxPiece + 1 + kBlock);
    // A find text without CR or LF lies in the same pieces whether or not the CR of each CR LF
    // is dropped: that CR only ever ends a line, behind every character a match can use. Such a
    // text is searched in the bytes as read.
    const bool dropCr = find.find_first_of("\r\n") != std::string_view::npos;
    std::size_t kept = 0;
    bool heldCr = false; // a CR at a block's end waits to see whether a LF follows
    for (std::size_t block = kFirstBlock;; block = std::min(block * 4, kBlock)) {
        std::size_t start = kept;
        if (heldCr)
            buffer[start++] = '\r';
        const long long n = file.Read(buffer.get() + start, block, error);
        if (n < 0)
            return FindResult::Error;
        const bool atEnd = n == 0;
        std::size_t size = start + static_cast<std::size_t>(n);
        if (dropCr) {
            heldCr = !atEnd && size > kept && buffer[size - 1] == '\r';
            if (heldCr)
                --size;
            size = kept + DropCrBeforeLf(buffer.get() + kept, size - kept);
        }
        if (atEnd)
            return PiecesContain({buffer.get(), size}, find) ? FindResult::Found
                                                             : FindResult::NotFound;
        // Complete pieces end at the last newline, then run in whole pieces through a long line.
        const std::size_t nl = FindLastByte(buffer.get(), size, '\n');
        const std::size_t lineStart = nl == kNotFound ? 0 : nl + 1;
        const std::size_t done = lineStart + (size - lineStart) / kMaxPiece * kMaxPiece;
        if (PiecesContain({buffer.get(), done}, find))
            return FindResult::Found;
        kept = size - done;
        std::memmove(buffer.get(), buffer.get() + done, kept);
    }
}

} // namespace veldran
