// The rewrite pass alone, on one core: the new text of each file of a corpus, already in
// memory, as veldran writes it (RewriteText). Prints MB/s of input per core.
//   veldran_rewrite_pass FIND REPLACE FILE...
#include "FileRewrite.h"
#include "SafeFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("usage: veldran_rewrite_pass FIND REPLACE FILE...\n", stderr);
        return 2;
    }
    std::vector<std::string> texts;
    std::size_t bytes = 0;
    for (int i = 3; i < argc; ++i) {
        std::string text;
        std::string error;
        if (!veldran::ReadWholeFile(argv[i], text, error)) {
            std::fprintf(stderr, "%s: %s\n", argv[i], error.c_str());
            return 1;
        }
        bytes += text.size();
        texts.push_back(std::move(text));
    }
    std::string normalised;
    std::string newText;
    std::string_view cut;
    std::vector<double> seconds;
    for (int round = 0; round < 7; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (const std::string& text : texts)
            veldran::RewriteText(text, argv[1], argv[2], normalised, cut, newText);
        seconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("%.0f MB/s per core (median of 7 passes over %.1f MB)\n",
                static_cast<double>(bytes) / 1e6 / seconds[3], static_cast<double>(bytes) / 1e6);
    return 0;
}
