#include "FindOnly.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sys/stat.h>

using namespace veldran;

namespace {

FindResult Find(const std::string& path, std::string_view find) {
    std::string error;
    return FileContains(path, find, error);
}

// Whether a piece of the normalised text holds the find text, by the plain rules: cut the text
// the way the line reader does and search each piece.
bool ModelContains(const std::string& raw, const std::string& find) {
    std::string text;
    for (std::size_t i = 0; i < raw.size(); ++i)
        if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n'))
            text.push_back(raw[i]);
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = pos;
        while (end < text.size() && end - pos < 255 && text[end] != '\n')
            ++end;
        if (end < text.size() && text[end] == '\n' && end - pos < 255)
            ++end;
        if (text.substr(pos, end - pos).find(find) != std::string::npos)
            return true;
        pos = end;
    }
    return false;
}

} // namespace

TEST(FindOnly, FoundNotFoundAndErrors) {
    test::TempDir dir;
    test::WriteBytes(dir.File("a.sch"), "PLATE,AH36\nSTIFF,EH36\n");
    test::WriteBytes(dir.File("empty.sch"), "");
    EXPECT_EQ(Find(dir.File("a.sch"), "EH36"), FindResult::Found);
    EXPECT_EQ(Find(dir.File("a.sch"), "eh36"), FindResult::NotFound);
    EXPECT_EQ(Find(dir.File("a.sch"), ""), FindResult::Found);
    EXPECT_EQ(Find(dir.File("empty.sch"), ""), FindResult::NotFound);

    std::string error;
    EXPECT_EQ(FileContains(dir.File("missing.sch"), "x", error), FindResult::Error);
    EXPECT_NE(error.find("cannot open"), std::string::npos);
    std::filesystem::create_directory(dir.File("dir.sch"));
    EXPECT_EQ(FileContains(dir.File("dir.sch"), "x", error), FindResult::Error);
}

TEST(FindOnly, NeverChangesTheFile) {
    test::TempDir dir;
    const std::string path = dir.File("keep.sch");
    test::WriteBytes(path, "A,B\r\n" + std::string(300, 'l') + "\n");
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    EXPECT_EQ(Find(path, "A"), FindResult::Found);
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
#ifdef _WIN32
    EXPECT_EQ(before.st_mtime, after.st_mtime); // whole seconds only there
#else
    EXPECT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
    EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
#endif
    EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST(FindOnly, PieceBoundariesHoldAcrossTheReadBuffer) {
    test::TempDir dir;
    const std::string path = dir.File("big.sch");
    // Files larger than the read buffer, with the find text placed around a piece boundary at
    // many offsets, so that block ends fall inside pieces, lines and CR LF pairs.
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> lineLength(0, 600);
    std::string body;
    while (body.size() < 700 * 1024) {
        body.append(static_cast<std::size_t>(lineLength(rng)), 'x');
        body += (rng() % 2) ? "\r\n" : "\n";
    }
    for (int round = 0; round < 40; ++round) {
        std::string text = body;
        const std::size_t at = std::uniform_int_distribution<std::size_t>(0, text.size() - 4)(rng);
        text.replace(at, 3, "Q\r\n");
        const std::string find = round % 2 ? "Q\n" : "xQ";
        test::WriteBytes(path, text);
        ASSERT_EQ(Find(path, find) == FindResult::Found, ModelContains(text, find))
            << "round " << round << " at " << at;
    }
    // A single line of several blocks: found only inside a piece.
    std::string line(1024 * 1024, 'y');
    line.replace(255 * 2000 - 1, 2, "AB");
    test::WriteBytes(path, line);
    EXPECT_EQ(Find(path, "AB"), FindResult::NotFound);
    EXPECT_EQ(Find(path, "yA"), FindResult::Found);
}

// A find text without CR or LF is searched in the bytes as read: around the CR LF ends of lines
// near and across the piece length, beside lone CRs and CR CR LF, it must be found exactly where
// the pieces of the normalised text hold it, also across the growing read blocks.
TEST(FindOnly, TextWithoutLineEndsAroundCrLf) {
    test::TempDir dir;
    const std::string path = dir.File("crlf.sch");
    std::mt19937 rng(13);
    const int lengths[] = {0, 1, 70, 253, 254, 255, 256, 509, 510, 511};
    const char* const ends[] = {"\r\n", "\n", "\r\r\n", "\r"};
    std::uniform_int_distribution<int> pickLength(0, 9);
    std::uniform_int_distribution<int> pickEnd(0, 3);
    for (int round = 0; round < 60; ++round) {
        std::string text;
        const std::size_t target = round % 3 == 0 ? 200 * 1024 : 3000;
        while (text.size() < target) {
            text.append(static_cast<std::size_t>(lengths[pickLength(rng)]), 'x');
            text += ends[pickEnd(rng) % (round % 2 ? 4 : 1)];
        }
        // The find text ends at, or runs up to, the end of some line.
        std::size_t lineEnd =
            text.find('\r', std::uniform_int_distribution<std::size_t>(0, text.size() - 1)(rng));
        if (lineEnd == std::string::npos || lineEnd < 2)
            lineEnd = text.find('\r');
        text.replace(lineEnd - 2, 2, "QZ");
        test::WriteBytes(path, text);
        for (const std::string find : {"QZ", "xQZ", "Z"})
            ASSERT_EQ(Find(path, find) == FindResult::Found, ModelContains(text, find))
                << "round " << round << " find " << find << " at " << lineEnd;
    }
}
