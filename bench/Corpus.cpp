// Writes a benchmark corpus of scheme files: comma-separated engineering records of 20 to 70
// characters a line, so that no line is wrapped and the output stays comparable with sed. About
// one line in twenty names the material that the benchmark replaces. The same seed always gives
// the same bytes, on every platform: the generator uses its own random numbers, not <random>'s
// distributions, whose results differ between standard libraries.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace {

// The text that the benchmark replaces, and a text that shares its shape but never occurs.
constexpr std::string_view kToken = "S235JR";
constexpr std::string_view kAbsent = "S275JR";
constexpr unsigned kTokenPerMille = 50;
constexpr std::size_t kMinLine = 20;
constexpr std::size_t kMaxLine = 70;

// SplitMix64: small, fast, and fully specified, so the corpus is the same everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, n); the bias of the modulo is irrelevant at these sizes.
    unsigned Below(unsigned n) { return static_cast<unsigned>(Next() % n); }

private:
    std::uint64_t m_state;
};

constexpr std::string_view kKinds[] = {"PLATE", "BEAM", "STIFF",  "BRKT",  "PIPE",
                                       "FLNG",  "WEB",  "COLLAR", "CHOCK", "LUG"};
// None of them contains the token or the absent text.
constexpr std::string_view kOtherGrades[] = {"S355J2", "S355K2", "S460M", "AH36",
                                             "DH36",   "EH36",   "316L",  "304L"};
constexpr std::string_view kFinishes[] = {"PAINT", "GALV", "BLAST", "NONE", "PRIMER"};

void AppendNumber(std::string& out, unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*u", digits, value);
    out += text;
}

void AppendDecimal(std::string& out, Random& random, unsigned whole) {
    AppendNumber(out, random.Below(whole), 1);
    out += '.';
    AppendNumber(out, random.Below(10), 1);
}

// One record of exactly the chosen length, without its line end. A record that carries the
// token has it as its second field, inside the first 20 characters, so it is never cut off.
void AppendRecord(std::string& out, Random& random, bool withToken) {
    const std::size_t length = kMinLine + random.Below(kMaxLine - kMinLine + 1);
    std::string line;
    line += kKinds[random.Below(std::size(kKinds))];
    line += ',';
    line += withToken ? kToken : kOtherGrades[random.Below(std::size(kOtherGrades))];
    while (line.size() < length) {
        line += ',';
        switch (random.Below(5)) {
        case 0:
            line += 'B';
            AppendNumber(line, random.Below(1000), 3);
            line += "-P";
            AppendNumber(line, random.Below(10000), 4);
            break;
        case 1:
            AppendDecimal(line, random, 12000);
            break;
        case 2:
            AppendNumber(line, 4 + random.Below(60), 1);
            break;
        case 3:
            line += kFinishes[random.Below(std::size(kFinishes))];
            break;
        default:
            line += "FR";
            AppendNumber(line, random.Below(300), 3);
            break;
        }
    }
    line.resize(length);
    out += line;
}

struct Totals {
    std::uint64_t lines = 0;
    std::uint64_t tokenLines = 0;
    std::uint64_t bytes = 0;
};

// One file's records, written in blocks so that a file of hundreds of megabytes needs little
// memory. Each file has its own random sequence, so a file does not depend on the others.
bool WriteCorpusFile(const std::string& path, std::uint64_t seed, std::uint64_t lines, bool crlf,
                     Totals& totals) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    Random random(seed);
    std::string block;
    bool written = true;
    for (std::uint64_t i = 0; i < lines && written; ++i) {
        const bool withToken = random.Below(1000) < kTokenPerMille;
        AppendRecord(block, random, withToken);
        block += crlf ? "\r\n" : "\n";
        totals.tokenLines += withToken;
        if (block.size() >= (1u << 20) || i + 1 == lines) {
            written = std::fwrite(block.data(), 1, block.size(), file) == block.size();
            totals.bytes += block.size();
            block.clear();
        }
    }
    totals.lines += lines;
    return std::fclose(file) == 0 && written;
}

int Usage() {
    std::fputs("usage: veldran_corpus DIR FILES LINES [--crlf] [--seed N]\n"
               "  writes FILES scheme files of LINES records each into DIR (created if missing)\n"
               "  veldran_corpus --token | --absent   prints the replaced or the absent text\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--token") == 0) {
        std::printf("%.*s\n", static_cast<int>(kToken.size()), kToken.data());
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--absent") == 0) {
        std::printf("%.*s\n", static_cast<int>(kAbsent.size()), kAbsent.data());
        return 0;
    }
    if (argc < 4)
        return Usage();
    const std::string dir = argv[1];
    char* end = nullptr;
    const unsigned long files = std::strtoul(argv[2], &end, 10);
    if (*end != '\0' || files == 0)
        return Usage();
    const unsigned long long lines = std::strtoull(argv[3], &end, 10);
    if (*end != '\0')
        return Usage();
    bool crlf = false;
    std::uint64_t seed = 6;
    for (int i = 4; i < argc; ++i) {
        if (std::strcmp(argv[i], "--crlf") == 0) {
            crlf = true;
        } else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
            seed = std::strtoull(argv[++i], &end, 10);
            if (*end != '\0')
                return Usage();
        } else {
            return Usage();
        }
    }
    if (::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "veldran_corpus: %s: %s\n", dir.c_str(), std::strerror(errno));
        return 1;
    }

    Totals totals;
    for (unsigned long i = 0; i < files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/f%05lu.sch", i);
        const std::string path = dir + name;
        // The file index goes into the seed, so the LF and CR LF corpora hold the same records.
        if (!WriteCorpusFile(path, seed * 1000003u + i, lines, crlf, totals)) {
            std::fprintf(stderr, "veldran_corpus: %s: cannot write\n", path.c_str());
            return 1;
        }
    }
    std::printf("%lu files, %llu lines, %llu with %.*s, %llu bytes\n", files,
                static_cast<unsigned long long>(totals.lines),
                static_cast<unsigned long long>(totals.tokenLines), static_cast<int>(kToken.size()),
                kToken.data(), static_cast<unsigned long long>(totals.bytes));
    return 0;
}
