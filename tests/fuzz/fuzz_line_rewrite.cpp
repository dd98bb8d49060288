// Literal replacement and the wrap rule against the models of Models.h.
// Input: a flags byte (its value picks how much text stands before the line for WrapTail), the
// find text, the replacement text, then the line.

#include "FuzzInput.h"
#include "LineRewrite.h"
#include "Models.h"

using namespace veldran;
using namespace veldran::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::uint8_t flags = input.Byte();
    const std::string find(input.Text());
    const std::string replace(input.Text());
    const std::string line(input.Rest());

    std::string expected = line;
    const int expectedCount = ModelReplaceAll(expected, find, replace);
    std::string actual = line;
    Expect(ReplaceAll(actual, find, replace) == expectedCount, "ReplaceAll count");
    Expect(actual == expected, "ReplaceAll text");

    ModelWrap(expected);
    WrapLongLine(actual);
    Expect(actual == expected, "WrapLongLine");

    // The wrap in place must look only at the line, never at the text before it; the commas
    // and the length of the text before it would change the break if it did.
    std::string before(flags, ',');
    std::string inPlace = before + line;
    WrapTail(inPlace, before.size());
    std::string lineWrapped = line;
    ModelWrap(lineWrapped);
    Expect(inPlace == before + lineWrapped, "WrapTail");
    return 0;
}
