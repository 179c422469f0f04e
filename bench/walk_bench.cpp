// Times the folder walk behind "Add All File(s) In Folder" against `find`.
//
// A tree of 100,000 files in about 2,000 folders is generated once and kept
// between runs. The walk then fills the real window's list, shown on the
// offscreen platform, with its event pump calling processEvents() exactly as
// a click does; `find DIR -type f | wc -l` through /bin/sh is the peer. A
// zero-interval timer measures how long the event loop goes unserved while
// the walk runs, which is what a user sees as a frozen window.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeView>

#include "core/add_folder.h"
#include "core/automation.h"
#include "core/file_system.h"
#include "gui/qt/dialogs.h"
#include "gui/qt/main_window.h"

namespace velloran {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// ---------------------------------------------------------------------------
// The generated tree

// 40 top folders of 48 subfolders each; the first two subfolders of every
// top folder hold one more level. Every folder below the top level holds 50
// files, so 2,000 folders hold 100,000 visible files. Two hidden folders add
// 50 files each that the walk must not enter.
struct TreeShape {
    int top = 40;
    int sub = 48;
    int deepPerTop = 2;
    int filesPerFolder = 50;

    int fileFolders() const { return top * (sub + deepPerTop); }
    int hiddenFolderFiles() const { return 2 * filesPerFolder; }
    long totalFiles() const {
        return static_cast<long>(fileFolders()) * filesPerFolder + hiddenFolderFiles();
    }
    std::string stamp() const {
        return "velloran walk tree v1 top=" + std::to_string(top) + " sub=" + std::to_string(sub) +
               " deep=" + std::to_string(deepPerTop) + " files=" + std::to_string(filesPerFolder) +
               "\n";
    }
};

void touch(const std::string &path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
    ::close(fd);
}

void makeFolder(const std::string &path) {
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        throw std::runtime_error("cannot create folder " + path + ": " + std::strerror(errno));
}

// Fills one folder the way a real presentations folder looks: mostly .pptx
// and .ppt, some .txt, now and then a PowerPoint lock file ("~$...") and a
// hidden file. `serial` numbers the folder across the whole tree.
void fillFolder(const std::string &folder, int serial, int files) {
    static const char *const kExt[] = {".pptx", ".pptx", ".ppt", ".PPT", ".txt"};
    char name[96];
    for (int i = 0; i < files; ++i) {
        if (i == files - 1 && serial % 4 == 0)
            std::snprintf(name, sizeof name, "~$Deck %04d-%02d.pptx", serial, i);
        else if (i == files - 2 && serial % 50 == 0)
            std::snprintf(name, sizeof name, ".notes %04d.txt", serial);
        else
            std::snprintf(name, sizeof name, "Deck %04d-%02d%s", serial, i, kExt[i % 5]);
        touch(folder + '/' + name);
    }
}

void generateTree(const std::string &root, const TreeShape &shape) {
    makeFolder(root);
    int serial = 0;
    char name[64];
    for (int t = 0; t < shape.top; ++t) {
        std::snprintf(name, sizeof name, "/Project %02d", t);
        const std::string top = root + name;
        makeFolder(top);
        for (int s = 0; s < shape.sub; ++s) {
            std::snprintf(name, sizeof name, "/Talk %02d", s);
            const std::string sub = top + name;
            makeFolder(sub);
            fillFolder(sub, serial++, shape.filesPerFolder);
            if (s < shape.deepPerTop) {
                const std::string deep = sub + "/Drafts";
                makeFolder(deep);
                fillFolder(deep, serial++, shape.filesPerFolder);
            }
        }
    }
    // Hidden folders: one at the root, one deeper with a folder inside it.
    const std::string hiddenTop = root + "/.cache";
    makeFolder(hiddenTop);
    fillFolder(hiddenTop, 1, shape.filesPerFolder);
    const std::string hiddenDeep = root + "/Project 00/.trash";
    makeFolder(hiddenDeep);
    makeFolder(hiddenDeep + "/old");
    fillFolder(hiddenDeep + "/old", 3, shape.filesPerFolder);
}

// Makes sure `dir`/tree holds a tree of the given shape, generating it when
// `dir`/shape.txt does not describe it. Only a folder that holds nothing
// but what this bench puts there is ever cleared.
std::string prepareTree(const std::string &dir, const TreeShape &shape, bool forceRegenerate) {
    const std::string root = dir + "/tree";
    const std::string stampFile = dir + "/shape.txt";
    std::string stamp;
    if (std::ifstream in(stampFile); in) {
        std::getline(in, stamp, '\0');
    }
    if (!forceRegenerate && stamp == shape.stamp() && fs::is_directory(root)) {
        std::printf("tree: %s (reused)\n", root.c_str());
        return root;
    }
    if (fs::exists(dir)) {
        for (const auto &e : fs::directory_iterator(dir)) {
            const auto n = e.path().filename().string();
            if (n != "tree" && n != "shape.txt")
                throw std::runtime_error(dir + " holds " + n +
                                         ", which this bench did not make; pass another --tree");
        }
        fs::remove(stampFile);
        fs::remove_all(root);
    }
    fs::create_directories(dir);
    const auto start = Clock::now();
    generateTree(root, shape);
    // Written last, so that an interrupted generation is redone next time.
    std::ofstream(stampFile) << shape.stamp();
    std::printf("tree: %s (generated in %.1f s)\n", root.c_str(), msSince(start) / 1000.0);
    return root;
}

// ---------------------------------------------------------------------------
// The peer

std::string shellQuote(const std::string &s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

// Runs a command through /bin/sh and returns the number it prints.
long runCount(const std::string &command) {
    FILE *pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("cannot run " + command);
    long n = -1;
    if (std::fscanf(pipe, "%ld", &n) != 1)
        n = -1;
    const int status = ::pclose(pipe);
    if (n < 0 || status != 0)
        throw std::runtime_error("no count from " + command);
    return n;
}

// ---------------------------------------------------------------------------
// Stand-ins for the window's services: the walk uses none of them.

class SilentDialogs final : public Dialogs {
public:
    int messageBox(const std::string &text, int, const std::string &) override {
        std::fprintf(stderr, "unexpected message box: %s\n", text.c_str());
        return 1;
    }
    std::string inputBox(const std::string &, const std::string &, const std::string &) override {
        return {};
    }
    std::vector<std::string> openFiles(const OpenFileRequest &) override { return {}; }
    std::string browseForFolder(const std::string &, const std::string &) override { return {}; }
    void openInShell(const std::string &) override {}
};

class MemorySettings final : public SettingsStore {
public:
    std::optional<std::string> get(const std::string &key) override {
        const auto it = m_values.find(key);
        return it == m_values.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    void save(const std::string &key, const std::string &value) override { m_values[key] = value; }

private:
    std::map<std::string, std::string> m_values;
};

class NoAutomation final : public AutomationRegistry {
public:
    AutoRef create(const std::string &name) override { throw AutomationError("no " + name); }
    AutoRef attach(const std::string &name) override { throw AutomationError("no " + name); }
};

// ---------------------------------------------------------------------------
// Our walk

struct WalkResult {
    double totalMs = 0;  // the walk plus the one event-loop turn after it
    double eventsMs = 0; // inside processEvents() called by the pump
    double appendMs = 0; // inside the window's appendRows()
    double longestStallMs = 0;
    std::size_t rows = 0;
};

WalkResult runWalk(MainWindow &window, FileSystem &fileSystem, const std::string &root,
                   const std::string &pattern) {
    window.clearRows();
    QCoreApplication::processEvents();

    WalkResult r;
    // Every turn of the event loop fires the zero timer; the longest gap
    // between firings (and from the start and to the end) is the longest
    // time the window could not repaint or take input.
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longest = 0;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - lastTick);
        lastTick = now;
    });

    EventPump pump([&] {
        const auto t = Clock::now();
        window.processEvents(); // QCoreApplication::processEvents(), as a click's walk does
        r.eventsMs += msSince(t);
    });

    ticker.start();
    clock.start();
    const auto start = Clock::now();
    // The walk collects the rows; the list gets them in one append at its end.
    const auto rows = treeFiles(root, pattern, true, fileSystem, pump);
    const auto appendStart = Clock::now();
    window.appendRows(rows);
    r.appendMs = msSince(appendStart);
    // Back in the event loop after the click: the list lays out and paints.
    QCoreApplication::processEvents();
    r.totalMs = msSince(start);
    longest = std::max(longest, clock.nsecsElapsed() - lastTick);
    ticker.stop();

    r.longestStallMs = static_cast<double>(longest) / 1e6;
    r.rows = window.rowCount();
    return r;
}

// The machine is shared: a busy one shows here rather than as a slow walk.
std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five;
    if (!(in >> one >> five))
        return "unknown";
    return one + " (1 min), " + five + " (5 min)";
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double minimum(const std::vector<double> &v) {
    return *std::min_element(v.begin(), v.end());
}

struct Options {
    std::string treeDir;
    int reps = 5;
    TreeShape shape;
    bool regenerate = false;
    bool skipPeer = false;
};

void usage() {
    std::printf(
        "usage: velloran_walk_bench [--tree DIR] [--reps N] [--top N] [--regenerate] [--no-peer]\n"
        "  --tree DIR     where the tree is kept (default $TMPDIR/velloran-bench-tree)\n"
        "  --reps N       timed repetitions of each side (default 5)\n"
        "  --top N        top folders, 2,500 files each (default 40: 100,000 files);\n"
        "                 a small tree for profiling under valgrind\n"
        "  --regenerate   build the tree again even if it is there\n"
        "  --no-peer      time only our walk (for profilers)\n");
}

Options parseOptions(int argc, char **argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw std::runtime_error(a + " needs a value");
            return argv[++i];
        };
        if (a == "--tree")
            o.treeDir = value();
        else if (a == "--reps")
            o.reps = std::max(1, std::stoi(value()));
        else if (a == "--top")
            o.shape.top = std::max(1, std::stoi(value()));
        else if (a == "--regenerate")
            o.regenerate = true;
        else if (a == "--no-peer")
            o.skipPeer = true;
        else if (a == "-h" || a == "--help") {
            usage();
            std::exit(0);
        } else
            throw std::runtime_error("unknown option " + a);
    }
    if (o.treeDir.empty()) {
        const char *tmp = std::getenv("TMPDIR");
        o.treeDir = std::string(tmp && *tmp ? tmp : "/tmp") + "/velloran-bench-tree";
        if (o.shape.top != TreeShape{}.top)
            o.treeDir += "-" + std::to_string(o.shape.top);
    }
    o.treeDir = fs::absolute(o.treeDir).lexically_normal().string();
    while (o.treeDir.size() > 1 && o.treeDir.back() == '/')
        o.treeDir.pop_back();
    return o;
}

int run(int argc, char **argv) {
    Options opt = parseOptions(argc, argv);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::string root = prepareTree(opt.treeDir, opt.shape, opt.regenerate);
    const std::string q = shellQuote(root);
    const std::string findAll = "find " + q + " -type f | wc -l";

    // Warm the page cache (and check the kept tree) with one untimed run.
    long findTotal = runCount(findAll);
    if (findTotal != opt.shape.totalFiles()) {
        std::printf("tree: %ld files instead of %ld; generating it again\n", findTotal,
                    opt.shape.totalFiles());
        root = prepareTree(opt.treeDir, opt.shape, true);
        findTotal = runCount(findAll);
    }
    // What the walk must list: no "~" names, nothing inside hidden folders
    // (hidden files in visible folders are listed).
    const std::string prune = "find " + q + " -type d -name '.*' -prune -o -type f";
    const long visible = runCount(prune + " -print | wc -l");
    const long expectedRows = runCount(prune + " ! -name '~*' -print | wc -l");
    const long expectedPpt = runCount(prune + " ! -name '~*' -iname '*.ppt*' -print | wc -l");

    auto fileSystem = makeNativeFileSystem();
    SilentDialogs dialogs;
    MemorySettings settings;
    NoAutomation automation;
    MainWindow window(WindowServices{dialogs, settings, *fileSystem, automation,
                                     QCoreApplication::applicationDirPath(), [] { return 0.5; },
                                     QString()});
    window.createListColumn();
    window.show();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();

    std::printf("tree: %d top folders, %d folders with files, %ld files (find)\n", opt.shape.top,
                opt.shape.fileFolders(), findTotal);
    std::printf("platform: %s, window %dx%d, list %dx%d\n",
                qPrintable(QGuiApplication::platformName()), window.width(), window.height(),
                window.listView()->width(), window.listView()->height());
    std::printf("reps: %d of each, interleaved, after one untimed run of each\n", opt.reps);
    std::printf("load average before: %s\n\n", loadAverage().c_str());
    std::fflush(stdout);

    runWalk(window, *fileSystem, root, "*.*"); // warm-up
    std::vector<double> findMs, oursMs, eventsMs, appendMs, walkMs, stallMs;
    std::size_t rows = 0;
    for (int i = 0; i < opt.reps; ++i) {
        if (!opt.skipPeer) {
            const auto t = Clock::now();
            const long n = runCount(findAll);
            findMs.push_back(msSince(t));
            if (n != findTotal)
                throw std::runtime_error("find counted differently between runs");
        }
        const WalkResult w = runWalk(window, *fileSystem, root, "*.*");
        oursMs.push_back(w.totalMs);
        eventsMs.push_back(w.eventsMs);
        appendMs.push_back(w.appendMs);
        walkMs.push_back(w.totalMs - w.eventsMs - w.appendMs);
        stallMs.push_back(w.longestStallMs);
        rows = w.rows;
    }

    std::vector<double> pptMs, pptStallMs;
    std::size_t pptRows = 0;
    for (int i = 0; i < std::max(1, opt.reps / 2); ++i) {
        const WalkResult w = runWalk(window, *fileSystem, root, "*.ppt");
        pptMs.push_back(w.totalMs);
        pptStallMs.push_back(w.longestStallMs);
        pptRows = w.rows;
    }
    window.clearRows();
    const std::string loadAfter = loadAverage();

    std::printf("%-34s %10s %10s\n", "", "median ms", "min ms");
    if (!opt.skipPeer)
        std::printf("%-34s %10.1f %10.1f\n", "peer: find DIR -type f | wc -l", median(findMs),
                    minimum(findMs));
    std::printf("%-34s %10.1f %10.1f\n", "ours: treeFiles \"*.*\" -> list", median(oursMs),
                minimum(oursMs));
    std::printf("%-34s %10.1f %10.1f\n", "  of which processEvents()", median(eventsMs),
                minimum(eventsMs));
    std::printf("%-34s %10.1f %10.1f\n", "  of which appendRows()", median(appendMs),
                minimum(appendMs));
    std::printf("%-34s %10.1f %10.1f\n", "  the rest: listing, sorting, paths", median(walkMs),
                minimum(walkMs));
    std::printf("%-34s %10.1f %10.1f\n", "ours: treeFiles \"*.ppt\" (info)", median(pptMs),
                minimum(pptMs));

    std::printf("load average after: %s\n", loadAfter.c_str());

    int status = 0;
    if (!opt.skipPeer) {
        const double ratio = median(oursMs) / median(findMs);
        std::printf("\nratio ours/find: %.2f (median), %.2f (min)  goal <= 2.0: %s\n", ratio,
                    minimum(oursMs) / minimum(findMs), ratio <= 2.0 ? "met" : "NOT met");
    }
    const double worstStall = *std::max_element(stallMs.begin(), stallMs.end());
    const double worstPptStall = *std::max_element(pptStallMs.begin(), pptStallMs.end());
    std::printf("longest event-loop stall: %.1f ms worst, %.1f ms median of runs (\"*.ppt\": "
                "%.1f ms worst)  goal < 100 ms: %s\n",
                worstStall, median(stallMs), worstPptStall,
                std::max(worstStall, worstPptStall) < 100 ? "met" : "NOT met");

    std::printf("\nrows \"*.*\": %zu; find: %ld files, of which %ld inside hidden folders and "
                "%ld \"~\" names elsewhere -> %ld expected\n",
                rows, findTotal, findTotal - visible, visible - expectedRows, expectedRows);
    if (static_cast<long>(rows) == expectedRows) {
        std::printf("  counts agree once the hidden folders and \"~\" names are left out\n");
    } else {
        std::printf("  COUNTS DIFFER by %ld\n", static_cast<long>(rows) - expectedRows);
        status = 1;
    }
    std::printf("rows \"*.ppt\": %zu; find -iname '*.ppt*' without \"~\" and hidden folders: %ld "
                "(%s)\n",
                pptRows, expectedPpt,
                static_cast<long>(pptRows) == expectedPpt ? "agree" : "DIFFER");
    if (static_cast<long>(pptRows) != expectedPpt)
        status = 1;
    return status;
}

} // namespace
} // namespace velloran

int main(int argc, char **argv) {
    try {
        return velloran::run(argc, argv);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "velloran_walk_bench: %s\n", e.what());
        return 2;
    }
}
