#pragma once
// Preview Replace: the unified diff that a Replace of the selected files would make, shown in a
// resizable dialog; nothing is written.

#include "CString.h"
#include "Dialog.h"
#include "Resource.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The diff of a Replace over `paths`, made by the rewrite's own call, and a line that sums it
// up. Past `limit` bytes only the diff's first lines are kept, and the line says so.
struct ReplacePreview {
    CString note;
    CString text;
};
ReplacePreview MakeReplacePreview(const std::vector<std::string>& paths, std::string_view find,
                                  std::string_view replace, std::size_t limit);

class CPreviewDlg : public CDialog {
public:
    enum { IDD = IDD_PREVIEW };
    CPreviewDlg(const ReplacePreview& preview, CWnd* pParent);

protected:
    BOOL OnInitDialog() override;
    void OnSize(UINT nType, int cx, int cy) override;

private:
    const ReplacePreview& m_preview;
};
