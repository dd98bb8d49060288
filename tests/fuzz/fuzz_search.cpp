// The literal search against the standard library's: every way the processor can run it, from a
// starting point the input picks, on the text as given.
// Input: a flags byte (the starting point, as a fraction of the text), the find text, then the
// text searched.

#include "FuzzInput.h"
#include "Models.h"
#include "TextSearch.h"

using namespace veldran;
using namespace veldran::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::uint8_t flags = input.Byte();
    const std::string_view needle = input.Text();
    // A copy of its own, so that a read past the text's end is the sanitizer's to see.
    const std::string text(input.Rest());
    if (needle.empty())
        return 0;
    const std::size_t from = text.size() * flags / 255;
    const std::size_t at = std::string_view(text).find(needle, from);
    const std::size_t expected = at == std::string_view::npos ? kNotFound : at;
    Expect(FindLiteral(text, from, needle) == expected, "FindLiteral");
    if (needle.size() < 2 || text.size() - from < needle.size())
        return 0;
    for (const detail::SearchKind kind :
         {detail::SearchKind::Avx2, detail::SearchKind::Sse2, detail::SearchKind::Library}) {
        if (!detail::Runs(kind))
            continue;
        const char* hit = detail::SearchWith(kind, text.data() + from, text.size() - from, needle);
        Expect((hit ? static_cast<std::size_t>(hit - text.data()) : kNotFound) == expected,
               "SearchWith");
    }
    return 0;
}
