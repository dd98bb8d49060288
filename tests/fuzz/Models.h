#pragma once
// Small, slow, obviously right models of the text rules, written from the rules alone: one
// character at a time, no search routines, no shared code with the library. The fuzz targets
// compare the library against them.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace veldran::fuzz {

// Stops the run with a readable message; libFuzzer saves the input that led here.
[[noreturn]] inline void Mismatch(const char* what) {
    std::fprintf(stderr, "model mismatch: %s\n", what);
    std::abort();
}

inline void Expect(bool holds, const char* what) {
    if (!holds)
        Mismatch(what);
}

// Whether `find` stands in `text` at `pos`, compared character by character.
inline bool StandsAt(std::string_view text, std::size_t pos, std::string_view find) {
    if (pos + find.size() > text.size())
        return false;
    for (std::size_t i = 0; i < find.size(); ++i)
        if (text[pos + i] != find[i])
            return false;
    return true;
}

// Literal replacement: scan from the left; where the find text stands, emit the replacement and
// jump past the occurrence, so occurrences never overlap and inserted text is never searched.
inline int ModelReplaceAll(std::string& line, std::string_view find, std::string_view replace) {
    if (find.empty())
        return 0;
    std::string out;
    int count = 0;
    std::size_t pos = 0;
    while (pos < line.size()) {
        if (StandsAt(line, pos, find)) {
            out += replace;
            pos += find.size();
            ++count;
        } else {
            out += line[pos++];
        }
    }
    line = out;
    return count;
}

// The wrap rule: longer than 72 (newline included) is broken once, right after the last comma
// among the first 70 characters, or before the first character when they hold no comma.
inline void ModelWrap(std::string& line) {
    if (line.size() <= 72)
        return;
    std::size_t breakAt = 0;
    for (std::size_t i = 0; i < 70; ++i)
        if (line[i] == ',')
            breakAt = i + 1;
    line.insert(breakAt, "\n     ");
}

// What a 256-byte fgets delivers, read after read: up to and including a newline, at most 255
// characters, or what is left at the end.
inline std::vector<std::string> ModelPieces(std::string_view text) {
    std::vector<std::string> pieces;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::string piece;
        while (pos < text.size() && piece.size() < 255) {
            const char c = text[pos++];
            piece += c;
            if (c == '\n')
                break;
        }
        pieces.push_back(piece);
    }
    return pieces;
}

// A text-mode read drops a CR that stands directly before a LF, and nothing else.
inline std::string ModelDropCrBeforeLf(std::string_view text, bool& sawCrLf) {
    std::string out;
    sawCrLf = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            sawCrLf = true;
            continue;
        }
        out += text[i];
    }
    return out;
}

} // namespace veldran::fuzz
