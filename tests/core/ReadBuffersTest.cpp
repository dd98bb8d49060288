// Buffers are kept and reused from file to file, and reads fill them a step at a time: whatever
// came before, each file must come out byte for byte.
#include "FileRewrite.h"
#include "SafeFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace veldran;

namespace {

constexpr std::size_t kStep = std::size_t{256} * 1024; // a read's step

// Lines of a deck, `size` bytes in all, the last one cut short; every fifth names the material.
std::string Deck(std::size_t size, const std::string& lineEnd) {
    std::string text;
    for (std::size_t i = 0; text.size() < size; ++i)
        text += (i % 5 == 0 ? "PLATE,S235JR," : "BEAM,S355J2,") + std::to_string(i) + lineEnd;
    text.resize(size);
    return text;
}

std::string ReplacedEverywhere(std::string text, const std::string& find,
                               const std::string& replace) {
    for (std::size_t at = text.find(find); at != std::string::npos;
         at = text.find(find, at + replace.size()))
        text.replace(at, find.size(), replace);
    return text;
}

class NoBoxes : public OptionBoxes {
public:
    bool CreateLogTicked() override { return false; }
    bool CreateBatchDataTicked() override { return false; }
};

// Across the read's step, and past the size from which buffers ask for large pages.
const std::vector<std::size_t> kSizes = {
    kStep * 3 + 17,
    0,
    1,
    kStep - 1,
    kStep,
    kStep + 1,
    (std::size_t{7} << 20) + 3,
    100,
    kStep * 2,
    37,
    (std::size_t{7} << 20) + 9,
    kStep * 3 + 18,
};

} // namespace

// One string read into again and again, shrinking and growing across the read's step.
TEST(ReadBuffers, EveryFileIsReadWholeWhateverTheBufferHeldBefore) {
    test::TempDir dir;
    std::string data = "left over from before";
    for (const std::size_t size : kSizes) {
        const std::string path = dir.File("f" + std::to_string(size) + ".sch");
        const std::string bytes = Deck(size, "\n");
        test::WriteBytes(path, bytes);
        std::string error;
        ASSERT_TRUE(ReadWholeFile(path, data, error)) << size << ": " << error;
        ASSERT_EQ(data.size(), bytes.size()) << size;
        ASSERT_TRUE(data == bytes) << size;
    }
}

// Files one after the other on one thread, as a worker takes them: its new text goes into the
// memory of the last one's, larger or smaller, with or without CR LF.
TEST(ReadBuffers, EachRewrittenFileHoldsItsOwnTextWhileBuffersAreReused) {
    test::TempDir dir;
    NoBoxes boxes;
    const struct {
        const char* lineEnd;
        const char* replace;
    } kinds[] = {{"\n", "S355JR"}, {"\n", "S"}, {"\r\n", "S355JR-LONGER"}};
    int n = 0;
    for (const auto& kind : kinds) {
        for (const std::size_t size : kSizes) {
            // Each file is flushed to disk: the largest are left to the read alone.
            if (size > 8 * kStep)
                continue;
            const std::string path = dir.File("g" + std::to_string(n++) + ".sch");
            const std::string bytes = Deck(size, kind.lineEnd);
            test::WriteBytes(path, bytes);
            RewriteJob job;
            job.path = path;
            job.find = "S235JR";
            job.replace = kind.replace;
            const RewriteOutcome outcome = ProcessFile(job, boxes);
            ASSERT_TRUE(outcome.ok) << size << ": " << outcome.error;
            // A file with LF line ends gets the platform's.
            const std::string replaced = ReplacedEverywhere(bytes, "S235JR", kind.replace);
            const bool crlf = kind.lineEnd[0] == '\r';
            ASSERT_TRUE(test::ReadBytes(path) == (crlf ? replaced : test::Native(replaced)))
                << size << " bytes, line end " << (crlf ? "CR LF" : "LF") << ", replaced by "
                << kind.replace;
        }
    }
}
