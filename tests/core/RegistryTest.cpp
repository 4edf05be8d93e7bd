// Plug-in scan, class registry, instance creation and the counted lifetime, observed through
// the debug log with small fake plug-in libraries.
#include "StderrCapture.h"
#include "TNCore.h"
#include "TNDebug.h"
#include "fake/FakePlugin.h"

#include <dlfcn.h>
#include <elf.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <type_traits>

namespace fs = std::filesystem;

namespace {

const std::string kFull = FAKE_FULL_PATH;        // offers A and B
const std::string kDup = FAKE_DUP_PATH;          // offers A again
const std::string kNoEntry = FAKE_NOENTRY_PATH;  // lacks TNCanUnloadNow

bool CoreIsOpen() {
    void* out = nullptr;
    return TNCoreCreateInstance(&CLSID_FakeNone, &IID_ITNObject, &out) != TN_E_NOTINITIALIZED;
}

TNRESULT InitWith(const std::string& dir) {
    const std::wstring wide(dir.begin(), dir.end());  // the temporary paths are ASCII
    _TNStr* s = CTNStrCreateFromUnicode(wide.c_str(), -1);
    const TNRESULT r = TNCoreInitialize(s);
    CTNStrRelease(s);
    return r;
}

std::string Info(const std::string& message) { return LinePrefix("Info") + message; }
std::string Loaded(const std::string& path) { return Info("Class library loaded: '" + path + "'"); }
std::string Released(const std::string& tag, const std::string& cls) {
    return Info("FakePlugin " + tag + ": class object " + cls + " released");
}
std::string Unloaded(const std::string& tag) { return Info("FakePlugin " + tag + ": unloaded"); }
const std::string kInitializing = "TNCore: initializing core library";
const std::string kClosing = "TNCoreClose: closing core library";
const std::string kActive = "Class library not unloaded, has active objects.";
const std::string kScanError = "TNCore: an error occured during plug-in scan";

std::string CreateTag(const TNUUID& clsid) {
    IFakeTag* tag = nullptr;
    const TNRESULT r = TNCoreCreateInstance(&clsid, &IID_IFakeTag, reinterpret_cast<void**>(&tag));
    if (TN_FAILED(r) || !tag) return "<none>";
    const std::wstring w = tag->Tag();
    tag->Release();
    return std::string(w.begin(), w.end());
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(CoreIsOpen()) << "an earlier test left the core open";
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tncore-" +
                              std::string(6, 'X');  // mkdtemp's template
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        char real[PATH_MAX];
        ASSERT_NE(::realpath(pattern.c_str(), real), nullptr);
        dir_ = real;
    }
    void TearDown() override {
        for (int i = 0; i < 8 && CoreIsOpen(); ++i) TNCoreClose();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    // Copies a built library (or the probe) to dir_/where/name; returns the new path.
    std::string Place(const std::string& from, const std::string& where, const std::string& name) {
        const fs::path to = fs::path(dir_) / where / name;
        fs::create_directories(to.parent_path());
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
        return to.string();
    }
    void Touch(const std::string& relative) {
        const fs::path p = fs::path(dir_) / relative;
        fs::create_directories(p.parent_path());
        std::ofstream(p) << "not a library\n";
    }
    std::string Path(const std::string& relative) const { return dir_ + "/" + relative; }

    std::string dir_;
};

}  // namespace

TEST_F(Registry, NullArgumentsBeforeAnythingElse) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(TNCoreCreateInstance(nullptr, &IID_ITNObject, &out), TN_E_POINTER);
    EXPECT_EQ(TNCoreCreateInstance(&CLSID_FakeA, nullptr, &out), TN_E_POINTER);
    EXPECT_EQ(TNCoreCreateInstance(&CLSID_FakeA, &IID_ITNObject, nullptr), TN_E_POINTER);
    EXPECT_EQ(TNCoreCreateInstance(&CLSID_FakeA, &IID_ITNObject, &out), TN_E_NOTINITIALIZED);
    EXPECT_EQ(out, nullptr);

    Place(kFull, "", "full.dll");
    ASSERT_EQ(InitWith(dir_), TN_OK);
    EXPECT_EQ(TNCoreCreateInstance(&CLSID_FakeA, &IID_IFakeTag, nullptr), TN_E_POINTER);
    EXPECT_EQ(TNCoreCreateInstance(&CLSID_FakeNone, &IID_ITNObject, &out), TN_E_CLASSNOTAVAILABLE);
    TNCoreClose();
}

TEST_F(Registry, CountedInitialiseAndClose) {
    const std::string full = Place(kFull, "", "full.dll");
    StderrCapture cap;
    EXPECT_EQ(InitWith(dir_), TN_OK);
    auto lines = SplitLines(cap.Take());
    EXPECT_EQ(CountLines(lines, Info(kInitializing)), 1);
    EXPECT_EQ(CountLines(lines, Loaded(full)), 1);
    EXPECT_EQ(lines.size(), 2u);

    EXPECT_EQ(InitWith("/nonexistent"), TN_OK);  // counted only: no second scan
    EXPECT_EQ(cap.Take(), "");
    EXPECT_EQ(TNCoreClose(), TN_OK);
    EXPECT_EQ(cap.Take(), "");  // one close after two initialisations does nothing visible
    EXPECT_EQ(CreateTag(CLSID_FakeA), "full");
    EXPECT_EQ(CreateTag(CLSID_FakeB), "full");

    EXPECT_EQ(TNCoreClose(), TN_OK);
    lines = SplitLines(cap.Take());
    EXPECT_EQ(lines.size(), 4u);
    EXPECT_EQ(CountLines(lines, Info(kClosing)), 1);
    EXPECT_EQ(CountLines(lines, Released("full", "A")), 1);
    EXPECT_EQ(CountLines(lines, Released("full", "B")), 1);
    EXPECT_EQ(CountLines(lines, Unloaded("full")), 1);
    // Both class objects of the library are gone before it is asked whether it can unload, so
    // its own class objects do not count as active objects.
    EXPECT_EQ(CountContaining(lines, kActive), 0);
    EXPECT_EQ(CountContaining(lines, "TNCanUnloadNow"), 0);

    void* out = nullptr;
    EXPECT_EQ(TNCoreCreateInstance(&CLSID_FakeA, &IID_IFakeTag, &out), TN_E_NOTINITIALIZED);
    EXPECT_EQ(TNCoreClose(), TN_OK);  // nothing open: ignored
    EXPECT_EQ(cap.Take(), "");
}

TEST_F(Registry, CloseWithoutInitialiseIsIgnored) {
    StderrCapture cap;
    EXPECT_EQ(TNCoreClose(), TN_OK);
    EXPECT_EQ(TNCoreClose(), TN_OK);
    EXPECT_EQ(cap.Take(), "");
    // The count is intact: one initialise and one close still open and shut the core.
    Place(kFull, "", "full.dll");
    ASSERT_EQ(InitWith(dir_), TN_OK);
    EXPECT_EQ(CreateTag(CLSID_FakeA), "full");
    TNCoreClose();
    EXPECT_FALSE(CoreIsOpen());
    EXPECT_EQ(CountLines(SplitLines(cap.Take()), Info(kClosing)), 1);
}

TEST_F(Registry, PluginsDirectoryIsPreferred) {
    const std::string inPlugins = Place(kFull, "plugins", "full.dll");
    const std::string inBase = Place(kDup, "", "dup.dll");
    StderrCapture cap;
    ASSERT_EQ(InitWith(dir_), TN_OK);
    const auto lines = SplitLines(cap.Take());
    EXPECT_EQ(CountLines(lines, Loaded(inPlugins)), 1);
    EXPECT_EQ(CountContaining(lines, inBase), 0);
    EXPECT_EQ(CreateTag(CLSID_FakeA), "full");
}

TEST_F(Registry, PluginsFileIsIgnored) {
    Touch("plugins");
    const std::string full = Place(kFull, "", "full.dll");
    StderrCapture cap;
    ASSERT_EQ(InitWith(dir_ + "/"), TN_OK);  // a trailing separator changes nothing
    EXPECT_EQ(CountLines(SplitLines(cap.Take()), Loaded(full)), 1);
    EXPECT_EQ(CreateTag(CLSID_FakeB), "full");
}

TEST_F(Registry, RelativeDirectoryIsMadeAbsolute) {
    const std::string full = Place(kFull, "sub/plugins", "full.dll");
    char cwd[PATH_MAX];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(::chdir(dir_.c_str()), 0);
    StderrCapture cap;
    const TNRESULT r = InitWith("sub");
    ASSERT_EQ(::chdir(cwd), 0);
    ASSERT_EQ(r, TN_OK);
    EXPECT_EQ(CountLines(SplitLines(cap.Take()), Loaded(full)), 1);
}

TEST_F(Registry, NoLibraryFailsTheScan) {
    struct Case {
        const char* name;
        const char* file;
        const char* scanDir;
    };
    const Case cases[] = {
        {"empty", nullptr, ""},
        {"other files only", "notes.txt", ""},
        {"only a suffix alike", "x.dllx", ""},
        {"directory does not exist", nullptr, "/missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string scanDir = dir_ + "/" + c.name + c.scanDir;
        fs::create_directories(dir_ + "/" + c.name);
        if (c.file) Touch(std::string(c.name) + "/" + c.file);
        StderrCapture cap;
        EXPECT_EQ(InitWith(scanDir), static_cast<TNRESULT>(0x80000008));
        const auto lines = SplitLines(cap.Take());
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], Info(kInitializing));
        EXPECT_EQ(lines[1], LinePrefix("Error") + kScanError);
        // The core counts as initialised, with an empty registry.
        void* out = nullptr;
        EXPECT_EQ(TNCoreCreateInstance(&CLSID_FakeA, &IID_IFakeTag, &out),
                  static_cast<TNRESULT>(0x80040111));
        EXPECT_EQ(InitWith(scanDir), TN_OK);  // no second scan
        EXPECT_EQ(cap.Take(), "");
        TNCoreClose();
        EXPECT_EQ(cap.Take(), "");
        TNCoreClose();
        EXPECT_EQ(SplitLines(cap.Take()), std::vector<std::string>{Info(kClosing)});
        EXPECT_FALSE(CoreIsOpen());
    }
}

TEST_F(Registry, DirectoryNamedDllIsSkippedButCountsAsEntry) {
    fs::create_directories(Path("x.dll"));
    StderrCapture cap;
    EXPECT_EQ(InitWith(dir_), TN_OK);
    const auto lines = SplitLines(cap.Take());
    EXPECT_EQ(lines, std::vector<std::string>{Info(kInitializing)});
    EXPECT_EQ(CreateTag(CLSID_FakeA), "<none>");
}

// A named pipe called like a library, and a link to it, are passed over: dlopen on a pipe waits
// for a writer for ever. The scan runs in a child process, so that a scan that does hang ends in
// a failure here rather than stalling the test run.
TEST_F(Registry, NamedPipeNamedDllIsSkipped) {
    const std::string full = Place(kFull, "", "full.dll");
    ASSERT_EQ(::mkfifo(Path("pipe.dll").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(Path("pipe.dll").c_str(), Path("pipelink.dll").c_str()), 0);
    ASSERT_EQ(::symlink(full.c_str(), Path("fulllink.dll").c_str()), 0);  // loads as full.dll
    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int code = InitWith(dir_) == TN_OK && CreateTag(CLSID_FakeB) == "full" ? 0 : 1;
        ::_exit(code);
    }
    int status = 0;
    pid_t done = 0;
    for (int waited = 0; waited < 1500 && done == 0; ++waited) {
        done = ::waitpid(child, &status, WNOHANG);
        if (done == 0) ::usleep(10000);
    }
    if (done == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        FAIL() << "the scan still waited on the named pipe after 15 s";
    }
    ASSERT_EQ(done, child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the scan failed or did not load full.dll";
}

TEST_F(Registry, MixedDirectory) {
    const std::string full = Place(kFull, "", "full.dll");
    const std::string dup = Place(kDup, "", "dup.dll");
    const std::string noEntry = Place(kNoEntry, "", "noentry.dll");
    Touch("notes.txt");
    Touch("x.dll/inner.dll");  // a directory named like a library, holding one
    StderrCapture cap;
    ASSERT_EQ(InitWith(dir_), TN_OK);
    const auto lines = SplitLines(cap.Take());

    EXPECT_EQ(CountLines(lines, Loaded(full)), 1);
    EXPECT_EQ(CountLines(lines, Loaded(dup)), 1);
    // Loaded, found not to be a plug-in, unloaded at once; its class object was never made.
    EXPECT_EQ(CountLines(lines, Loaded(noEntry)), 1);
    EXPECT_EQ(CountLines(lines, Unloaded("noentry")), 1);
    EXPECT_EQ(CountContaining(lines, "FakePlugin noentry: class object"), 0);
    EXPECT_EQ(CountContaining(lines, "x.dll"), 0);
    EXPECT_EQ(CountContaining(lines, "notes.txt"), 0);

    // Directory order decides which library keeps class A; the other's class object for A is
    // released during the scan, not kept and not leaked.
    const std::string winner = CreateTag(CLSID_FakeA);
    ASSERT_TRUE(winner == "full" || winner == "dup") << winner;
    const std::string loser = winner == "full" ? "dup" : "full";
    EXPECT_EQ(CountLines(lines, Released(loser, "A")), 1);
    EXPECT_EQ(CountLines(lines, Released(winner, "A")), 0);
    // The dup library had nothing else to offer: unloaded at once when it lost.
    EXPECT_EQ(CountLines(lines, Unloaded("dup")), winner == "full" ? 1 : 0);
    EXPECT_EQ(CountLines(lines, Unloaded("full")), 0);
    EXPECT_EQ(CreateTag(CLSID_FakeB), "full");

    TNCoreClose();
    const auto closing = SplitLines(cap.Take());
    EXPECT_EQ(CountLines(closing, Released(winner, "A")), 1);
    EXPECT_EQ(CountLines(closing, Released("full", "B")), 1);
    EXPECT_EQ(CountLines(closing, Unloaded("full")), 1);
    EXPECT_EQ(CountLines(closing, Unloaded("dup")), winner == "dup" ? 1 : 0);
    EXPECT_EQ(CountContaining(closing, kActive), 0);
}

TEST_F(Registry, ActiveObjectAtCloseIsReported) {
    const std::string full = Place(kFull, "", "full.dll");
    ASSERT_EQ(InitWith(dir_), TN_OK);
    IFakeTag* alive = nullptr;  // one reference, given back after the close
    ASSERT_EQ(TNCoreCreateInstance(&CLSID_FakeA, &IID_IFakeTag, reinterpret_cast<void**>(&alive)),
              TN_OK);
    // Keeps the library mapped past the core's close, so the object can still be released.
    void* keep = ::dlopen(full.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(keep, nullptr);

    StderrCapture cap;
    TNCoreClose();
    auto lines = SplitLines(cap.Take());
    EXPECT_EQ(CountLines(lines, Info(kClosing)), 1);
    EXPECT_EQ(CountLines(lines, Released("full", "A")), 1);
    EXPECT_EQ(CountLines(lines, Released("full", "B")), 1);
    // Once per class entry of the busy library.
    EXPECT_EQ(
        CountLines(lines, LinePrefix("Warning") +
                              "TNCanUnloadNow: Cannot unload, locked: '0', active objects: 1!"),
        2);
    EXPECT_EQ(CountLines(lines, LinePrefix("Warning") + kActive), 2);
    EXPECT_EQ(CountLines(lines, Unloaded("full")), 0);  // still mapped by this test
    EXPECT_FALSE(CoreIsOpen());

    EXPECT_EQ(alive->Release(), 0u);
    ::dlclose(keep);
    lines = SplitLines(cap.Take());
    EXPECT_EQ(lines, std::vector<std::string>{Unloaded("full")});
}

TEST_F(Registry, ClassObjectStillReferencedAtClose) {
    const std::string dup = Place(kDup, "", "dup.dll");
    ASSERT_EQ(InitWith(dir_), TN_OK);
    ITNClassFactory* factory = nullptr;  // the fake hands out its class object itself
    ASSERT_EQ(TNCoreCreateInstance(&CLSID_FakeA, &IID_ITNClassFactory,
                                   reinterpret_cast<void**>(&factory)),
              TN_OK);
    void* keep = ::dlopen(dup.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(keep, nullptr);

    StderrCapture cap;
    TNCoreClose();
    auto lines = SplitLines(cap.Take());
    EXPECT_EQ(CountLines(lines, LinePrefix("Warning") + kActive), 1);
    // The release already reported remaining references: the library is not asked.
    EXPECT_EQ(CountContaining(lines, "TNCanUnloadNow"), 0);
    EXPECT_EQ(CountContaining(lines, "released"), 0);

    EXPECT_EQ(factory->Release(), 0u);
    ::dlclose(keep);
    lines = SplitLines(cap.Take());
    EXPECT_EQ(lines, (std::vector<std::string>{Released("dup", "A"), Unloaded("dup")}));
}

TEST_F(Registry, ReopenScansAfresh) {
    Place(kFull, "one", "full.dll");
    Place(kDup, "two", "dup.dll");
    ASSERT_EQ(InitWith(Path("one")), TN_OK);
    EXPECT_EQ(CreateTag(CLSID_FakeA), "full");
    TNCoreClose();
    ASSERT_EQ(InitWith(Path("two")), TN_OK);
    EXPECT_EQ(CreateTag(CLSID_FakeA), "dup");
    EXPECT_EQ(CreateTag(CLSID_FakeB), "<none>");
    TNCoreClose();
}

TEST_F(Registry, CoreObjectBalancesItsInitialisation) {
    static_assert(!std::is_copy_constructible_v<CTNCore> && !std::is_copy_assignable_v<CTNCore>,
                  "a copy would close the core a second time");
    Place(kFull, "", "full.dll");
    const std::wstring wide(dir_.begin(), dir_.end());
    _TNStr* dir = CTNStrCreateFromUnicode(wide.c_str(), -1);
    {
        CTNCore core(dir);
        EXPECT_TRUE(core.isInitialized());
        EXPECT_EQ(core.Init(dir), TN_OK);  // does not count a second time
        EXPECT_EQ(CreateTag(CLSID_FakeA), "full");
    }
    EXPECT_FALSE(CoreIsOpen());
    {
        CTNCore idle;  // never initialised: closes nothing
        EXPECT_FALSE(idle.isInitialized());
        ASSERT_EQ(TNCoreInitialize(dir), TN_OK);
    }
    EXPECT_TRUE(CoreIsOpen());
    TNCoreClose();
    EXPECT_FALSE(CoreIsOpen());
    {
        CTNCore core;
        EXPECT_EQ(core.Init(dir), TN_OK);
        {
            CTNCore nested(dir);
            EXPECT_TRUE(nested.isInitialized());
        }
        EXPECT_TRUE(CoreIsOpen());
    }
    EXPECT_FALSE(CoreIsOpen());
    CTNStrRelease(dir);
}

TEST_F(Registry, FailedCoreObjectStillGivesBackItsCount) {
    _TNStr* missing = CTNStrCreateFromCString("/nonexistent-kavlo-dir");
    StderrCapture cap;
    {
        CTNCore core;
        EXPECT_EQ(core.Init(missing), TN_E_FAIL);
        EXPECT_FALSE(core.isInitialized());
        EXPECT_TRUE(CoreIsOpen());  // the core counts as initialised with an empty registry
    }
    EXPECT_FALSE(CoreIsOpen());
    const auto lines = SplitLines(cap.Take());
    EXPECT_EQ(CountLines(lines, Info(kClosing)), 1);
    CTNStrRelease(missing);
}

namespace {

struct ProbeRun {
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

ProbeRun RunProbe(const std::string& exe, const std::string& outDir) {
    const std::string cmd =
        "'" + exe + "' >'" + outDir + "/probe.out' 2>'" + outDir + "/probe.err'";
    const int status = std::system(cmd.c_str());
    EXPECT_EQ(status, 0) << cmd;
    return {ReadFile(outDir + "/probe.out"), ReadFile(outDir + "/probe.err")};
}

}  // namespace

TEST_F(Registry, NoDirectoryMeansBesideTheExecutable) {
    struct Case {
        const char* name;
        const char* libraryDir;
    };
    const Case cases[] = {
        {"with plugins directory", "app/plugins"},
        {"without plugins directory", "app"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Path("app"));
        const std::string exe = Place(PROBE_PATH, "app", "tncore_probe");
        Place(TARNCORE_PATH, "app", fs::path(TARNCORE_PATH).filename().string());
        const std::string full = Place(kFull, c.libraryDir, "full.dll");
        fs::permissions(exe, fs::perms::owner_all, fs::perm_options::add);

        const ProbeRun run = RunProbe(exe, dir_);
        EXPECT_EQ(run.out, "init 00000000\ncreate 00000000 full\n");
        const auto lines = SplitLines(run.err);
        ASSERT_FALSE(lines.empty());
        // The program name is the executable's file name, not the core library's.
        EXPECT_EQ(lines[0].rfind("'tncore_probe': [", 0), 0u) << lines[0];
        EXPECT_EQ(CountContaining(lines, "Info: Class library loaded: '" + full + "'"), 1);
        EXPECT_EQ(CountContaining(lines, "Info: " + kClosing), 1);
        EXPECT_EQ(CountContaining(lines, "FakePlugin full: unloaded"), 1);
        EXPECT_EQ(CountContaining(lines, kActive), 0);
    }
}

// A library cut short (a copy still being written) is passed over with a debug line, before the
// loader maps its segments: mapped past the end of the file they would end the process with
// SIGBUS inside dlopen. Cut inside the ELF header, inside the program headers, before the second
// segment, and one byte short of the last segment's file range.
TEST_F(Registry, TruncatedLibraryIsSkipped) {
    std::ifstream in(kFull, std::ios::binary);
    const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Elf64_Ehdr header{};
    ASSERT_GE(image.size(), sizeof header);
    std::memcpy(&header, image.data(), sizeof header);
    uint64_t segmentsEnd = 0;
    for (int i = 0; i < header.e_phnum; ++i) {
        Elf64_Phdr ph{};
        std::memcpy(&ph, image.data() + header.e_phoff + size_t(i) * sizeof ph, sizeof ph);
        if (ph.p_type == PT_LOAD)
            segmentsEnd = std::max<uint64_t>(segmentsEnd, ph.p_offset + ph.p_filesz);
    }
    const uint64_t headersEnd = header.e_phoff + uint64_t(header.e_phnum) * header.e_phentsize;
    ASSERT_GT(segmentsEnd, 4000u);
    const std::pair<const char*, uint64_t> cuts[] = {{"header", 40},
                                                     {"program headers", headersEnd - 1},
                                                     {"4000 bytes", 4000},
                                                     {"last segment", segmentsEnd - 1}};
    const std::string full = Place(kFull, "", "full.dll");
    const int level = TNDebugGetLevelValue();
    TNDebugSetLevelValue(TN_LOG_DEBUG);
    for (const auto& [name, bytes] : cuts) {
        SCOPED_TRACE(name);
        const std::string partial = Path("partial.dll");
        std::ofstream(partial, std::ios::binary | std::ios::trunc)
            .write(image.data(), std::streamsize(bytes));
        StderrCapture cap;
        EXPECT_EQ(InitWith(dir_), TN_OK);
        const auto lines = SplitLines(cap.Take());
        EXPECT_EQ(CountContaining(lines, "Class library not loaded: '" + partial + "'"), 1);
        EXPECT_EQ(CountLines(lines, Loaded(partial)), 0);
        EXPECT_EQ(CountLines(lines, Loaded(full)), 1);
        EXPECT_EQ(CreateTag(CLSID_FakeB), "full");
        TNCoreClose();
        cap.Take();
    }
    TNDebugSetLevelValue(level);
}
