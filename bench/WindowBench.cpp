// Times the window's Replace, run offscreen through the dialog's own command, against
// veldran-cli replace on the same files with the same texts and options (the defaults of
// both: the change log on). Each round restores both copies from the corpus first, and the two
// take turns, so a change in the machine's load falls on both alike. Writes the medians in
// hyperfine's CSV layout, so bench/run.sh tabulates them like every other figure.
//
//   veldran_window_bench --corpus DIR --files N --work DIR --cli PATH --find T --replace T
//                        --runs N --csv FILE

#include "MainDlg.h"
#include "Shell.h"
#include "WinApp.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Answers the file dialog with the benchmark's files; any message box is a failure, since a
// Replace that runs as intended shows none.
class BenchShell : public Shell {
public:
    std::vector<CString> files;
    int messages = 0;

    int MessageBox(CWnd*, const CString& text, const CString&, UINT) override {
        std::fprintf(stderr, "veldran_window_bench: the window says: %s\n", text.c_str());
        ++messages;
        return IDOK;
    }
    bool GetOpenFileNames(CWnd*, const OpenFileRequest&, std::vector<CString>& paths,
                          CString&) override {
        paths = files;
        return true;
    }
    int RunModalLoop(CDialog&) override { return IDOK; }
    UINT TrackPopupMenu(CMenu&, UINT, CPoint, CWnd*) override { return 0; }
    void StartProcess(const CString&, const std::vector<CString>&) override {}
    void OpenUrl(const CString&) override {}
};

struct Options {
    fs::path corpus;
    fs::path work;
    std::string cli;
    std::string find;
    std::string replace;
    std::string csv;
    std::size_t files = 10000;
    int runs = 5;
};

[[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "veldran_window_bench: %s\n", why.c_str());
    std::exit(1);
}

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const std::string value = argv[i + 1];
        if (key == "--corpus")
            o.corpus = value;
        else if (key == "--work")
            o.work = value;
        else if (key == "--cli")
            o.cli = value;
        else if (key == "--find")
            o.find = value;
        else if (key == "--replace")
            o.replace = value;
        else if (key == "--csv")
            o.csv = value;
        else if (key == "--files")
            o.files = std::stoul(value);
        else if (key == "--runs")
            o.runs = std::stoi(value);
        else
            Fail("unknown option " + key);
    }
    if (o.corpus.empty() || o.work.empty() || o.cli.empty() || o.find.empty() || o.csv.empty())
        Fail("usage: --corpus DIR --files N --work DIR --cli PATH --find T --replace T "
             "--runs N --csv FILE");
    return o;
}

// The first `count` scheme files of the corpus, by name.
std::vector<fs::path> CorpusFiles(const Options& o) {
    std::vector<fs::path> names;
    for (const fs::directory_entry& e : fs::directory_iterator(o.corpus))
        if (e.path().extension() == ".sch")
            names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    if (names.size() < o.files)
        Fail("the corpus holds fewer files than asked for");
    names.resize(o.files);
    return names;
}

// A fresh copy of the files in `dir`, on disk before the clock starts; returns their paths.
std::vector<CString> Restore(const Options& o, const std::vector<fs::path>& names,
                             const fs::path& dir) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::vector<CString> paths;
    paths.reserve(names.size());
    for (const fs::path& name : names) {
        fs::copy_file(o.corpus / name, dir / name);
        paths.push_back((dir / name).string());
    }
    ::sync();
    return paths;
}

using Clock = std::chrono::steady_clock;

struct Sample {
    double seconds = 0;
    double user = 0;
    double system = 0;
};

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

Sample RunWindow(CMainDlg& dlg, BenchShell& shell, std::vector<CString> paths, const Options& o) {
    shell.files = std::move(paths);
    dlg.SendMessage(WM_COMMAND, IDC_ADD_FILES);
    if (dlg.m_listFiles.GetItemCount() != static_cast<int>(o.files))
        Fail("the window's list did not take the files");
    dlg.m_listFiles.SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED);
    dlg.SetDlgItemText(IDC_FIND_TEXT, o.find);
    dlg.SetDlgItemText(IDC_REPLACE_TEXT, o.replace);
    dlg.UpdateWindow(); // the list as Add left it is painted before the clock starts

    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    const Clock::time_point start = Clock::now();
    dlg.SendMessage(WM_COMMAND, IDC_REPLACE);
    const Clock::time_point end = Clock::now();
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    if (shell.messages != 0)
        Fail("the window's Replace reported a problem");
    for (int i = 0; i < dlg.m_listFiles.GetItemCount(); ++i)
        if (dlg.m_listFiles.GetItemText(i, 1) != "READY")
            Fail("the window did not finish " + dlg.m_listFiles.GetItemText(i, 0));
    return {std::chrono::duration<double>(end - start).count(),
            Seconds(after.ru_utime) - Seconds(before.ru_utime),
            Seconds(after.ru_stime) - Seconds(before.ru_stime)};
}

Sample RunCli(const std::vector<CString>& paths, const Options& o) {
    std::vector<std::string> args = {o.cli, "replace", "--find", o.find, "--replace", o.replace};
    args.insert(args.end(), paths.begin(), paths.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const Clock::time_point start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The list of changed files is of no interest here.
        if (std::freopen("/dev/null", "w", stdout) == nullptr)
            std::_Exit(127);
        ::execv(argv[0], argv.data());
        std::_Exit(127);
    }
    if (pid < 0)
        Fail("cannot start veldran-cli");
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const Clock::time_point end = Clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Fail("veldran-cli replace failed");
    return {std::chrono::duration<double>(end - start).count(), Seconds(usage.ru_utime),
            Seconds(usage.ru_stime)};
}

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Mean(const std::vector<double>& v) {
    double sum = 0;
    for (const double x : v)
        sum += x;
    return sum / static_cast<double>(v.size());
}

double StdDev(const std::vector<double>& v) {
    if (v.size() < 2)
        return 0;
    const double mean = Mean(v);
    double sum = 0;
    for (const double x : v)
        sum += (x - mean) * (x - mean);
    return std::sqrt(sum / static_cast<double>(v.size() - 1));
}

} // namespace

int main(int argc, char** argv) {
    // Offscreen unless told otherwise: the figure is the commands', not a screen's.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    WindowSystem windows(argc, argv);
    const Options o = Parse(argc, argv);
    const std::vector<fs::path> names = CorpusFiles(o);
    const fs::path windowDir = o.work / "window";
    const fs::path cliDir = o.work / "cli";

    BenchShell shell;
    AfxSetShell(&shell);
    CMainDlg dlg;
    dlg.Create();

    std::map<std::string, std::vector<Sample>> samples;
    for (int round = 0; round < o.runs; ++round) {
        // The one who goes first alternates.
        for (int turn = 0; turn < 2; ++turn) {
            if ((round + turn) % 2 == 0) {
                std::vector<CString> paths = Restore(o, names, windowDir);
                samples["window Replace"].push_back(RunWindow(dlg, shell, std::move(paths), o));
            } else {
                const std::vector<CString> paths = Restore(o, names, cliDir);
                samples["veldran-cli replace"].push_back(RunCli(paths, o));
            }
        }
        std::fprintf(stderr, "round %d: window %.2f s, veldran-cli %.2f s\n", round + 1,
                     samples["window Replace"].back().seconds,
                     samples["veldran-cli replace"].back().seconds);
    }
    AfxSetShell(nullptr);

    // Both leave the same bytes.
    for (const fs::path& name : names)
        if (Bytes(windowDir / name) != Bytes(cliDir / name))
            Fail("the window and veldran-cli leave different bytes in " + name.string());
    std::size_t changed = 0;
    for (const fs::path& name : names)
        changed += Bytes(windowDir / name) != Bytes(o.corpus / name);
    if (changed == 0)
        Fail("the find text occurs in none of the files");
    std::fprintf(stderr,
                 "veldran_window_bench: both leave the same bytes; %zu of %zu files changed\n",
                 changed, names.size());

    std::FILE* csv = std::fopen(o.csv.c_str(), "w");
    if (csv == nullptr)
        Fail("cannot write " + o.csv);
    std::fprintf(csv, "command,mean,stddev,median,user,system,min,max\n");
    for (const char* name : {"veldran-cli replace", "window Replace"}) {
        std::vector<double> t, u, s;
        for (const Sample& x : samples[name]) {
            t.push_back(x.seconds);
            u.push_back(x.user);
            s.push_back(x.system);
        }
        std::fprintf(csv, "%s,%f,%f,%f,%f,%f,%f,%f\n", name, Mean(t), StdDev(t), Median(t), Mean(u),
                     Mean(s), *std::min_element(t.begin(), t.end()),
                     *std::max_element(t.begin(), t.end()));
    }
    std::fclose(csv);
    fs::remove_all(windowDir);
    fs::remove_all(cliDir);
    return 0;
}
