// The smoke test of veldran.exe: the program itself, started on a demo environment and driven
// from this process by window messages as a user's clicks and keys would drive it. Add fills the
// list through the real file dialog: every file of a large folder selected in the dialog's list,
// then the same names typed (each far more than the old 15,360-byte buffer held), then the demo
// files. Find Only and Replace run, the About box opens over a disabled main window, and a
// screenshot of the window is written as a BMP. Exit code 0 when all went right.
//
//   veldran_smoke VELDRAN.EXE WORK_DIR DEMO_SCHEMES_DIR SCREENSHOT.BMP
//   veldran_smoke --installed VELDRAN.EXE WORK_DIR DEMO_SCHEMES_DIR SCREENSHOT.BMP
// The second form checks a copy that the installer put in place: it starts, lists the demo files
// and is shot, and ends on Exit.
#include <windows.h>

#include <commctrl.h>

#include "Resource.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kFileNameBox = 0x47C; // the file dialog's file-name box
// Long names, so that a few hundred of them make a large choice: about 80 KB of names, beyond
// what the dialog's name buffer starts with.
constexpr int kManyFiles = 600;

PROCESS_INFORMATION g_veldran{};

[[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "veldran_smoke: %s\n", why.c_str());
    if (g_veldran.hProcess)
        TerminateProcess(g_veldran.hProcess, 99);
    std::exit(1);
}

void Check(bool ok, const std::string& what) {
    if (!ok)
        Fail(what);
}

// Waits up to `seconds` for `done`.
bool WaitFor(const std::function<bool()>& done, int seconds = 20) {
    for (int i = 0; i < seconds * 20; ++i) {
        if (done())
            return true;
        Sleep(50);
    }
    return done();
}

std::string Windows(std::string path) {
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// A window of the program with this class and caption (any caption for an empty one), owned by
// `owner` when one is given.
HWND FindProgramWindow(const char* caption, HWND owner = nullptr, int withChild = 0) {
    struct Search {
        const char* caption;
        HWND owner;
        int child;
        HWND found;
    } search{caption, owner, withChild, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(lParam);
            DWORD pid = 0;
            GetWindowThreadProcessId(hwnd, &pid);
            char cls[64] = {};
            char text[256] = {};
            GetClassNameA(hwnd, cls, sizeof(cls));
            GetWindowTextA(hwnd, text, sizeof(text));
            if (pid != g_veldran.dwProcessId || std::string(cls) != "#32770" ||
                !IsWindowVisible(hwnd) || (s.owner && GetWindow(hwnd, GW_OWNER) != s.owner) ||
                (*s.caption && std::string(text) != s.caption) ||
                (s.child && !GetDlgItem(hwnd, s.child)))
                return TRUE;
            s.found = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string TextOf(HWND control) {
    char text[512] = {};
    DWORD_PTR result = 0;
    SendMessageTimeoutA(control, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                        SMTO_NORMAL, 10000, &result);
    return text;
}

void SetText(HWND control, const std::string& text) {
    DWORD_PTR result = 0;
    Check(SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                              SMTO_NORMAL, 10000, &result) != 0,
          "no answer to WM_SETTEXT");
}

// A command of the main window, carried out before this returns.
void Command(HWND main, int id) {
    DWORD_PTR result = 0;
    Check(SendMessageTimeoutA(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0, SMTO_NORMAL, 60000,
                              &result) != 0,
          "command " + std::to_string(id) + " did not end");
}

// Memory in veldran's process, for the list-view messages that carry pointers.
class Remote {
public:
    explicit Remote(std::size_t size) : m_size(size) {
        m_at = VirtualAllocEx(g_veldran.hProcess, nullptr, size, MEM_COMMIT | MEM_RESERVE,
                              PAGE_READWRITE);
        Check(m_at != nullptr, "cannot allocate memory in veldran.exe");
    }
    ~Remote() { VirtualFreeEx(g_veldran.hProcess, m_at, 0, MEM_RELEASE); }
    Remote(const Remote&) = delete;
    Remote& operator=(const Remote&) = delete;
    char* At(std::size_t offset = 0) const { return static_cast<char*>(m_at) + offset; }
    void Write(const void* data, std::size_t size, std::size_t offset = 0) {
        Check(WriteProcessMemory(g_veldran.hProcess, At(offset), data, size, nullptr) != 0,
              "cannot write into veldran.exe");
    }
    void Read(void* data, std::size_t size, std::size_t offset = 0) const {
        Check(ReadProcessMemory(g_veldran.hProcess, At(offset), data, size, nullptr) != 0,
              "cannot read from veldran.exe");
    }

private:
    void* m_at = nullptr;
    std::size_t m_size;
};

std::string ItemText(HWND list, int item, int column) {
    Remote remote(sizeof(LVITEMA) + 1024);
    LVITEMA lvi{};
    lvi.iSubItem = column;
    lvi.pszText = remote.At(sizeof(LVITEMA));
    lvi.cchTextMax = 1024;
    remote.Write(&lvi, sizeof(lvi));
    const auto length = static_cast<std::size_t>(SendMessageA(
        list, LVM_GETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(remote.At())));
    std::string text(length, '\0');
    remote.Read(text.data(), length, sizeof(LVITEMA));
    return text;
}

std::vector<std::string> Column(HWND list, int column) {
    std::vector<std::string> texts;
    const auto count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        texts.push_back(ItemText(list, i, column));
    return texts;
}

std::string Joined(const std::vector<std::string>& texts) {
    std::string joined;
    for (const std::string& t : texts)
        joined += "[" + t + "]";
    return joined;
}

// A left click on a row of the list, Ctrl held or not, through veldran's message queue.
void ClickRow(HWND list, int row, bool withControl) {
    Remote remote(sizeof(RECT));
    RECT rect{};
    rect.left = LVIR_LABEL;
    remote.Write(&rect, sizeof(rect));
    SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(remote.At()));
    remote.Read(&rect, sizeof(rect));
    const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    const WPARAM keys = withControl ? MK_CONTROL : 0;
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON | keys, at);
    PostMessageA(list, WM_LBUTTONUP, keys, at);
}

// Add *.sch File: the file dialog opens, `choose` chooses in it, OK closes it. Returns the
// Listed counter once it shows `count` (or what it shows after a while).
std::string AddFiles(HWND main, std::size_t count, const std::function<void(HWND)>& choose) {
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_ADD_FILES, BN_CLICKED), 0);
    HWND dialog = nullptr;
    Check(WaitFor([&] { return (dialog = FindProgramWindow("", main, kFileNameBox)) != nullptr; }),
          "the file dialog did not open");
    choose(dialog);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    Check(WaitFor([&] { return !IsWindow(dialog); }), "the file dialog did not close");
    const std::string expected = "Listed : " + std::to_string(count);
    WaitFor([&] { return TextOf(GetDlgItem(main, IDC_LISTED)) == expected; });
    return TextOf(GetDlgItem(main, IDC_LISTED));
}

// Names typed into the file-name box.
std::string AddTyped(HWND main, const std::vector<std::string>& names) {
    return AddFiles(main, names.size(), [&names](HWND dialog) {
        std::string typed;
        for (const std::string& name : names)
            typed += "\"" + name + "\" ";
        SetText(GetDlgItem(dialog, kFileNameBox), typed);
    });
}

// Every file the dialog's list shows, selected there.
std::string AddAllShown(HWND main, std::size_t count) {
    return AddFiles(main, count, [count](HWND dialog) {
        HWND view = FindWindowExA(dialog, nullptr, "SHELLDLL_DefView", nullptr);
        HWND list = view ? FindWindowExA(view, nullptr, WC_LISTVIEWA, nullptr) : nullptr;
        Check(list != nullptr, "the file dialog shows no list");
        Check(WaitFor([&] {
                  return static_cast<std::size_t>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)) ==
                         count;
              }),
              "the file dialog does not list the folder");
        Remote item(sizeof(LVITEMA));
        LVITEMA all{};
        all.state = LVIS_SELECTED;
        all.stateMask = LVIS_SELECTED;
        item.Write(&all, sizeof(all));
        SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(item.At()));
        Check(WaitFor([&] { return !TextOf(GetDlgItem(dialog, kFileNameBox)).empty(); }),
              "the selection did not reach the file-name box");
    });
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The window as the screen shows it, frame and all, as a 24-bit BMP.
void Screenshot(HWND window, const fs::path& file) {
    RECT rect{};
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const int stride = (width * 3 + 3) & ~3;
    std::vector<char> pixels(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42; // "BM"
    header.bfOffBits = sizeof(header) + sizeof(info);
    header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size());
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&header), sizeof(header));
    out.write(reinterpret_cast<const char*>(&info), sizeof(info));
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    Check(out.good(), "cannot write " + file.string());
}

// Exit, and the program ends well.
void Exit(HWND main) {
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    Check(WaitForSingleObject(g_veldran.hProcess, 20000) == WAIT_OBJECT_0, "Exit did not end it");
    DWORD code = 1;
    GetExitCodeProcess(g_veldran.hProcess, &code);
    Check(code == 0, "veldran.exe ended with " + std::to_string(code));
}

} // namespace

int main(int argc, char** argv) {
    const bool installed = argc == 6 && std::string(argv[1]) == "--installed";
    if (installed) {
        --argc;
        ++argv;
    }
    if (argc != 5)
        Fail("usage: veldran_smoke [--installed] VELDRAN.EXE WORK_DIR DEMO_SCHEMES_DIR "
             "SCREENSHOT.BMP");
    const std::string exe = Windows(argv[1]);
    const fs::path work = Windows(argv[2]);
    const fs::path screenshot = Windows(argv[4]);

    // The version resource says 1.0.0.1.
    std::vector<char> version(GetFileVersionInfoSizeA(exe.c_str(), nullptr));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    Check(!version.empty() &&
              GetFileVersionInfoA(exe.c_str(), 0, static_cast<DWORD>(version.size()),
                                  version.data()) &&
              VerQueryValueA(version.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize) &&
              fixed->dwFileVersionMS == 0x00010000 && fixed->dwFileVersionLS == 0x00000001,
          "veldran.exe has no version resource 1.0.0.1");

    // The demo environment, and more scheme files than the old name buffer could hand over.
    fs::remove_all(work);
    for (const char* dir : {"schemes", "log", "data"})
        fs::create_directories(work / dir);
    std::vector<std::string> demo;
    for (const fs::directory_entry& e : fs::directory_iterator(Windows(argv[3]))) {
        fs::copy_file(e.path(), work / "schemes" / e.path().filename());
        demo.push_back(e.path().filename().string());
    }
    std::sort(demo.begin(), demo.end());
    std::vector<std::string> many;
    for (int i = 0; i < (installed ? 0 : kManyFiles); ++i) {
        char name[160];
        std::snprintf(name, sizeof(name),
                      "zz_frame_section_scheme_%04d_of_the_double_bottom_and_the_wing_tanks_"
                      "between_frames_10_and_30_as_issued_for_approval.sch",
                      i);
        many.push_back(name);
        std::ofstream(work / "schemes" / name) << "PLATE,P" << i << ",MAT=AH36\n";
    }
    const fs::path table = work / "env_table.txt";
    std::ofstream(table) << "SB_PROJECT=Demo Hull 4711\nSB_SHIPSCH=" << (work / "schemes").string()
                         << "\nSB_SHIPDATA=" << (work / "data").string()
                         << "\nSB_TEMP=" << (work / "log").string() << "\n";
    SetEnvironmentVariableA("TB_ENV_TABLE", table.string().c_str());

    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    std::string commandLine = "\"" + exe + "\"";
    Check(CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                         work.string().c_str(), &startup, &g_veldran) != 0,
          "cannot start " + exe);
    WaitForInputIdle(g_veldran.hProcess, 20000);
    HWND main = nullptr;
    Check(WaitFor([&] { return (main = FindProgramWindow("veldran")) != nullptr; }),
          "the main window did not show");
    HWND list = GetDlgItem(main, IDC_FILE_LIST);
    Check(TextOf(GetDlgItem(main, IDC_PROJECT_NAME)) == "Project Name: Demo Hull 4711",
          "the project is not shown: " + TextOf(GetDlgItem(main, IDC_PROJECT_NAME)));

    if (installed) {
        Check(AddTyped(main, demo) == "Listed : 4", "the demo files were not listed");
        WaitForInputIdle(g_veldran.hProcess, 5000);
        RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Sleep(500);
        Screenshot(main, screenshot);
        Exit(main);
        std::printf("the installed veldran.exe started, listed the demo files and ended; "
                    "screenshot in %s\n",
                    screenshot.string().c_str());
        return 0;
    }

    // Far more names than 15,360 bytes hold, chosen either way: all of them arrive.
    const std::size_t shown = many.size() + demo.size();
    const std::string listedAll = AddAllShown(main, shown);
    Check(listedAll == "Listed : " + std::to_string(shown),
          "a large selection lost its files: " + listedAll);
    const std::string listedTyped = AddTyped(main, many);
    Check(listedTyped == "Listed : " + std::to_string(many.size()),
          "many typed names lost their files: " + listedTyped);

    // The demo files, then Find Only and Replace as a user runs them.
    Check(AddTyped(main, demo) == "Listed : 4", "the demo files were not listed");
    SetText(GetDlgItem(main, IDC_FIND_TEXT), "EH36");
    Command(main, IDC_FIND_ONLY);
    Check(Column(list, 1) == std::vector<std::string>{"", "", "", "*"},
          "Find Only marked " + Joined(Column(list, 1)));
    ClickRow(list, 0, false);
    ClickRow(list, 1, true);
    Check(WaitFor([&] { return TextOf(GetDlgItem(main, IDC_SELECTED)) == "Selected : 2"; }),
          "the clicks did not select two files");
    SetText(GetDlgItem(main, IDC_FIND_TEXT), "AH36");
    SetText(GetDlgItem(main, IDC_REPLACE_TEXT), "AH40");
    Command(main, IDC_REPLACE);
    Check(Column(list, 1) == std::vector<std::string>{"READY", "READY", "", "*"},
          "Replace left " + Joined(Column(list, 1)));
    Check(Column(list, 2) == std::vector<std::string>{"CHANGE", "CHANGE", "", ""},
          "Replace noted " + Joined(Column(list, 2)));
    for (int i = 0; i < 2; ++i) {
        const std::string bytes = ReadAll(work / "schemes" / demo[static_cast<std::size_t>(i)]);
        Check(bytes.find("AH40") != std::string::npos && bytes.find("AH36") == std::string::npos &&
                  bytes.find("\r\n") != std::string::npos,
              demo[static_cast<std::size_t>(i)] + " was not rewritten");
    }
    Check(ReadAll(work / "log" / "VELDRAN.log").find(" -> ") != std::string::npos,
          "no change log was written");

    // The About box from the system menu, modal over the main window.
    PostMessageA(main, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    HWND about = nullptr;
    Check(WaitFor([&] { return (about = FindProgramWindow("About veldran", main)) != nullptr; }),
          "the About box did not open");
    Check(!IsWindowEnabled(main), "the main window takes input under the About box");
    PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    Check(WaitFor([&] { return !IsWindow(about) && IsWindowEnabled(main); }),
          "the About box did not close");

    // What the window shows now, painted.
    WaitForInputIdle(g_veldran.hProcess, 5000);
    RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(500);
    Screenshot(main, screenshot);
    Exit(main);
    std::printf("veldran.exe: %zu files selected and %zu typed in the file dialog, Find Only, "
                "Replace and About all worked; screenshot in %s\n",
                shown, many.size(), screenshot.string().c_str());
    return 0;
}
