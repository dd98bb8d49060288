#include "PreviewDlg.h"

#include <FileRewrite.h>
#include <UnifiedDiff.h>

namespace {

// How a text ends its lines: with LF, with CR LF, both, or not at all (one line).
enum class LineEnds { None, Lf, CrLf, Mixed };

LineEnds LineEndsOf(std::string_view text) {
    bool lf = false;
    bool crlf = false;
    for (std::size_t at = text.find('\n'); at != std::string_view::npos;
         at = text.find('\n', at + 1)) {
        (at > 0 && text[at - 1] == '\r' ? crlf : lf) = true;
        if (lf && crlf)
            return LineEnds::Mixed;
    }
    return crlf ? LineEnds::CrLf : lf ? LineEnds::Lf : LineEnds::None;
}

// The diff as an edit control can show it: a zero byte is shown as cat -v shows it, so it does
// not cut the text. A CR that ends a line is the line end, unless the rewrite changes the
// file's line ends: then every CR shows as ^M, so a line that changed only there does not look
// unchanged.
void AppendShown(CString& out, std::string_view diff, bool showLineEndCr) {
    for (std::size_t i = 0; i < diff.size(); ++i) {
        const char c = diff[i];
        if (c == '\r' && !showLineEndCr && i + 1 < diff.size() && diff[i + 1] == '\n')
            continue;
        if (c == '\r')
            out += "^M";
        else if (c == '\0')
            out += "^@";
        else
            out.push_back(c);
    }
}

CString Plural(std::size_t n, const char* noun) {
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

} // namespace

ReplacePreview MakeReplacePreview(const std::vector<std::string>& paths, std::string_view find,
                                  std::string_view replace, std::size_t limit) {
    ReplacePreview preview;
    veldran::ReplacePreviewOfFile file;
    std::string error;
    std::size_t changing = 0;
    std::size_t failed = 0;
    std::uint64_t replacements = 0;
    for (const std::string& path : paths) {
        if (!veldran::PreviewReplace(path, find, replace, file, error)) {
            // Named as its diff would name it: no name can break a line of the text.
            preview.text += "*** " + veldran::DiffName(path) + ": " + error + "\n";
            ++failed;
            continue;
        }
        replacements += file.replacements;
        const std::string& diff = file.diff;
        if (diff.empty())
            continue;
        ++changing;
        const LineEnds before = LineEndsOf(file.original);
        const LineEnds after = LineEndsOf(file.newText);
        const bool showCr =
            before == LineEnds::Mixed || after == LineEnds::Mixed ||
            (before != after && before != LineEnds::None && after != LineEnds::None);
        if (preview.text.size() + diff.size() <= limit) {
            AppendShown(preview.text, diff, showCr);
            continue;
        }
        // Whole lines up to the limit, then no more files: the rest would not be shown.
        const std::size_t room = limit > preview.text.size() ? limit - preview.text.size() : 0;
        const std::size_t cut = diff.rfind('\n', room);
        if (cut != std::string::npos && cut < room)
            AppendShown(preview.text, std::string_view(diff).substr(0, cut + 1), showCr);
        preview.note = "The diff is longer than " + std::to_string(limit >> 20) +
                       " MB: only its first part is shown, up to " + veldran::DiffName(path) + ".";
        return preview;
    }
    if (changing == 0)
        preview.note = "No selected file would change";
    else
        preview.note = Plural(changing, "file") + " of " + std::to_string(paths.size()) +
                       " would change, " + Plural(replacements, "replacement");
    if (failed > 0)
        preview.note += "; " + std::to_string(failed) + " could not be read";
    preview.note += ". Nothing has been written.";
    return preview;
}

CPreviewDlg::CPreviewDlg(const ReplacePreview& preview, CWnd* pParent)
    : CDialog(IDD, pParent), m_preview(preview) {}

BOOL CPreviewDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetDlgItemText(IDC_PREVIEW_NOTE, m_preview.note);
    if (CWnd* text = GetDlgItem(IDC_PREVIEW_TEXT)) {
        text->SetFixedPitchFont();
        text->SetWindowText(m_preview.text);
    }
    // The template's places are in dialog units; from now on the layout is this dialog's.
    CRect client;
    GetClientRect(&client);
    OnSize(0, client.Width(), client.Height());
    return TRUE;
}

void CPreviewDlg::OnSize(UINT /*nType*/, int cx, int cy) {
    // The template's margins, button width and text top, then note and button heights, in
    // this dialog's pixels.
    CRect a(7, 7, 57, 20);
    MapDialogRect(&a);
    CRect b(0, 10, 0, 14);
    MapDialogRect(&b);
    const int buttonTop = cy - a.top - b.bottom;
    if (CWnd* note = GetDlgItem(IDC_PREVIEW_NOTE))
        note->MoveWindow(a.left, a.top, cx - 2 * a.left, b.top);
    if (CWnd* text = GetDlgItem(IDC_PREVIEW_TEXT))
        text->MoveWindow(a.left, a.bottom, cx - 2 * a.left, buttonTop - a.top - a.bottom);
    if (CWnd* close = GetDlgItem(IDCANCEL))
        close->MoveWindow(cx - a.left - a.right, buttonTop, a.right, b.bottom);
}
