#include "UndoJournal.h"

#include "Platform.h"

#include <cstdio>
#include <filesystem>
#include <sstream>

namespace veldran {

namespace {

constexpr const char* kFolder = "veldran-undo";
constexpr const char* kIndex = "journal";

// A path on one line of the index: the characters that would end a field or a line, escaped.
std::string Escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned char>(c));
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

std::string Unescaped(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string Absolute(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(NativePath(path), ec);
    return ec ? path : absolute.string();
}

} // namespace

std::string UndoJournal::FolderIn(const std::string& logDir) {
    return logDir + kFolder;
}

bool UndoJournal::Start(const std::string& logDir, std::string& error) {
    m_folder = FolderIn(logDir);
    m_count = 0;
    std::error_code ec;
    std::filesystem::remove_all(NativePath(m_folder), ec);
    // In the log directory as it is: a missing one is not made here.
    if (!std::filesystem::create_directory(NativePath(m_folder), ec) || ec) {
        error = "cannot start the undo journal: " + ec.message();
        m_folder.clear();
        return false;
    }
    return AppendToFile(m_folder + kDirSeparator + kIndex, "", error);
}

std::string UndoJournal::NextOriginal() const {
    return m_folder + kDirSeparator + std::to_string(m_count + 1);
}

bool UndoJournal::Add(const std::string& path, const FileIdentity& replaced, std::string& error) {
    std::ostringstream line;
    line << m_count + 1 << ' ' << replaced.volume << ' ' << replaced.index << ' ' << replaced.size
         << ' ' << replaced.modified << '\t' << Escaped(path) << '\t' << Escaped(Absolute(path))
         << '\n';
    if (!AppendToFile(m_folder + kDirSeparator + kIndex, line.str(), error))
        return false;
    ++m_count;
    return true;
}

void UndoJournal::Discard(const std::string& original) {
    // The entry stays in the index; without its original it counts for nothing.
    DeleteFileQuietly(original);
}

bool UndoJournal::Load(const std::string& logDir, std::vector<JournalEntry>& entries,
                       std::string& error) {
    const std::string folder = FolderIn(logDir);
    std::string index;
    if (!ReadWholeFile(folder + kDirSeparator + kIndex, index, error)) {
        error = "nothing to undo";
        return false;
    }
    std::istringstream lines(index);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        JournalEntry entry;
        std::size_t number = 0;
        fields >> number >> entry.replaced.volume >> entry.replaced.index >> entry.replaced.size >>
            entry.replaced.modified;
        const std::size_t tab = line.find('\t');
        const std::size_t tab2 = line.find('\t', tab + 1);
        if (!fields || tab == std::string::npos || tab2 == std::string::npos)
            continue;
        entry.original = folder + kDirSeparator + std::to_string(number);
        std::error_code ec;
        if (!std::filesystem::exists(NativePath(entry.original), ec))
            continue; // the file went back during the Replace
        entry.path = Unescaped(std::string_view(line).substr(tab + 1, tab2 - tab - 1));
        entry.absolute = Unescaped(std::string_view(line).substr(tab2 + 1));
        entries.push_back(std::move(entry));
    }
    if (entries.empty()) {
        error = "nothing to undo";
        return false;
    }
    return true;
}

void UndoJournal::Clear(const std::string& logDir) {
    std::error_code ec;
    std::filesystem::remove_all(NativePath(FolderIn(logDir)), ec);
}

bool UndoLastReplace(const std::string& logDir, const UndoReport& report, std::string& error) {
    std::vector<JournalEntry> entries;
    if (!UndoJournal::Load(logDir, entries, error))
        return false;
    bool all = true;
    for (const JournalEntry& entry : entries) {
        RewritableFile file;
        std::string current;
        std::string original;
        std::string why;
        if (!file.Open(entry.absolute, why) || !file.Read(current, why)) {
            // reported below
        } else if (!file.ReadIdentity().SameContent(entry.replaced)) {
            why = "changed since the replace; not restored";
        } else if (ReadWholeFile(entry.original, original, why)) {
            file.Replace(original, why);
        }
        all = all && why.empty();
        report(entry.path, why);
    }
    if (all)
        UndoJournal::Clear(logDir);
    return true;
}

} // namespace veldran
