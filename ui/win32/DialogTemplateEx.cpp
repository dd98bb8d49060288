#include "DialogTemplateEx.h"

#include <string_view>

namespace {

class TemplateWriter {
public:
    void Word(unsigned value) { m_words.push_back(static_cast<WORD>(value)); }
    void Dword(DWORD value) {
        Word(value & 0xFFFF);
        Word(value >> 16);
    }
    // A text of the template, or an empty one; texts here are plain ASCII.
    void Text(const char* text) {
        for (const char* c = text ? text : ""; *c; ++c)
            Word(static_cast<unsigned char>(*c));
        Word(0);
    }
    void Ordinal(unsigned value) {
        Word(0xFFFF);
        Word(value);
    }
    // Each control starts on a DWORD boundary.
    void AlignToDword() {
        if (m_words.size() % 2)
            Word(0);
    }
    std::vector<WORD> Take() { return std::move(m_words); }

private:
    std::vector<WORD> m_words;
};

// The predefined classes by the ordinals the dialog manager knows; any other by name.
void WindowClass(TemplateWriter& out, std::string_view name) {
    if (name == "button")
        out.Ordinal(0x0080);
    else if (name == "edit")
        out.Ordinal(0x0081);
    else if (name == "static")
        out.Ordinal(0x0082);
    else
        out.Text(name.data());
}

} // namespace

std::vector<WORD> BuildDialogTemplateEx(const DialogTemplate& dialog) {
    TemplateWriter out;
    out.Word(1);      // dlgVer
    out.Word(0xFFFF); // signature: the extended template
    out.Dword(0);     // helpID
    out.Dword(dialog.exStyle);
    out.Dword(dialog.style);
    out.Word(static_cast<unsigned>(dialog.items.size()));
    out.Word(0); // x and y: the window is centred once it is created
    out.Word(0);
    out.Word(static_cast<unsigned>(dialog.cx));
    out.Word(static_cast<unsigned>(dialog.cy));
    out.Word(0); // no menu
    out.Word(0); // the dialog class
    out.Text(dialog.caption);
    if (dialog.style & DS_SETFONT) {
        out.Word(static_cast<unsigned>(dialog.pointSize));
        out.Word(0);                    // weight
        out.Word(DEFAULT_CHARSET << 8); // not italic, then the character set
        out.Text(dialog.fontName);
    }
    for (const DialogItemTemplate& item : dialog.items) {
        out.AlignToDword();
        out.Dword(0); // helpID
        out.Dword(0); // exStyle
        out.Dword(item.style);
        out.Word(static_cast<unsigned>(item.x));
        out.Word(static_cast<unsigned>(item.y));
        out.Word(static_cast<unsigned>(item.cx));
        out.Word(static_cast<unsigned>(item.cy));
        out.Dword(static_cast<DWORD>(item.id));
        WindowClass(out, item.windowClass);
        if (item.imageId != 0)
            out.Ordinal(static_cast<unsigned>(item.imageId)); // an icon of the resources
        else
            out.Text(item.text);
        out.Word(0); // no creation data
    }
    return out.Take();
}
