#pragma once
// The undo journal of the last Replace: for each file it rewrote, the original (a second name
// for the very file that was swapped out, or a copy on another file system) and the identity of
// the new file, so that undo can tell whether the file was changed since.

#include "SafeFile.h"

#include <functional>
#include <string>
#include <vector>

namespace veldran {

struct JournalEntry {
    std::string path;      // as the Replace was given it
    std::string absolute;  // the same from the Replace's working directory
    std::string original;  // where the original is kept
    FileIdentity replaced; // the new file as the Replace left it
};

class UndoJournal {
public:
    // The journal's folder in the log directory (which ends in its separator, or is empty).
    static std::string FolderIn(const std::string& logDir);

    // Starts a new journal: the last one goes.
    bool Start(const std::string& logDir, std::string& error);
    // Where the next file's original is to be kept.
    std::string NextOriginal() const;
    // Records a rewritten file whose original now lies at NextOriginal().
    bool Add(const std::string& path, const FileIdentity& replaced, std::string& error);
    // Drops a file that went back after all.
    void Discard(const std::string& original);
    // Whether originals are still kept; a journal that failed once keeps no more.
    bool Working() const { return !m_folder.empty() && !m_stopped; }
    void Stop() { m_stopped = true; }

    // The entries of the last journal in `logDir`; false with the reason when there is none.
    static bool Load(const std::string& logDir, std::vector<JournalEntry>& entries,
                     std::string& error);
    // Removes the journal.
    static void Clear(const std::string& logDir);

private:
    std::string m_folder;
    std::size_t m_count = 0;
    bool m_stopped = false;
};

// Restores every file of the last Replace with the rewrite protocol. A file whose identity is
// not the journal's (changed since) is left as it is. `report` gets each path with the empty text
// (restored) or the reason it was not. Returns false with the reason when there is nothing to
// undo.
using UndoReport = std::function<void(const std::string& path, const std::string& error)>;
bool UndoLastReplace(const std::string& logDir, const UndoReport& report, std::string& error);

} // namespace veldran
