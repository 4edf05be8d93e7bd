// The plug-in as the viewer meets it: loaded by the core's scan from a plugins directory,
// created by class identifier, reading frames of generated clips.
#include "QuernTestUtil.h"
#include "TNCore.h"
#include "TNDebug.h"

#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <vector>

namespace quern_test {
namespace {

// The number of live objects of the copy of quern loaded from `path`, or -1 when that copy is
// not loaded.
int32_t LiveObjectsOf(const std::string& path) {
    void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!h) return -1;
    using Fn = int32_t (*)();
    auto fn = reinterpret_cast<Fn>(::dlsym(h, "quernLiveObjectCount"));
    const int32_t n = fn ? fn() : -2;
    ::dlclose(h);
    return n;
}

bool Loaded(const std::string& path) { return LiveObjectsOf(path) != -1; }

// A base directory whose plugins/ holds a copy of quern.dll, a text file named like a library
// and a library without the entry points.
class PluginDir {
public:
    PluginDir() {
        ::mkdir(plugins().c_str(), 0755);
        CopyFile(QUERN_PLUGIN_PATH, Quern());
        CopyFile(NOENTRY_MODULE_PATH, plugins() + "/helper.dll");
        WriteFile(plugins() + "/readme.dll", {'n', 'o', 't', ' ', 'E', 'L', 'F', '\n'});
        ::mkdir((plugins() + "/folder.dll").c_str(), 0755);
    }
    std::string plugins() const { return dir_.File("plugins"); }
    std::string Quern() const { return plugins() + "/quern.dll"; }
    const TempDir& dir() const { return dir_; }

private:
    TempDir dir_;
};

// One initialisation of the core for the length of a test.
class CoreSession {
public:
    explicit CoreSession(const std::string& base) {
        Str dir(base);
        StderrCapture cap;
        result_ = TNCoreInitialize(dir.get());
        log_ = cap.Text();
    }
    ~CoreSession() { Close(); }
    std::string Close() {
        if (closed_) return {};
        closed_ = true;
        StderrCapture cap;
        TNCoreClose();
        return cap.Text();
    }
    TNRESULT result() const { return result_; }
    const std::string& log() const { return log_; }

private:
    TNRESULT result_;
    std::string log_;
    bool closed_ = false;
};

TNPtr<ITNRawVideoMediaContainer> CreateSource() {
    TNPtr<ITNRawVideoMediaContainer> c;
    TNPtr<ITNBasePlugin> plugin;
    EXPECT_EQ(TNCoreCreateInstance(&CLSID_TNRawVideoSource, &IID_ITNBasePlugin, plugin.OutVoid()),
              TN_OK);
    if (plugin) {
        EXPECT_EQ(Query(plugin, c), TN_OK);
    }
    return c;
}

TEST(PluginScan, LoadsQuernBesideLibrariesThatAreNoPlugins) {
    PluginDir pd;
    CoreSession core(pd.dir().path());
    ASSERT_EQ(core.result(), TN_OK) << core.log();
    EXPECT_NE(core.log().find("Class library loaded: '" + pd.Quern() + "'"), std::string::npos)
        << core.log();
    EXPECT_NE(core.log().find("helper.dll'"), std::string::npos) << "loaded, then dropped";
    EXPECT_TRUE(Loaded(pd.Quern()));
    EXPECT_FALSE(Loaded(pd.plugins() + "/helper.dll"));
    EXPECT_EQ(LiveObjectsOf(pd.Quern()), 1) << "the class object the core keeps";
    {
        TNPtr<ITNBasePlugin> plugin;
        ASSERT_EQ(
            TNCoreCreateInstance(&CLSID_TNRawVideoSource, &IID_ITNBasePlugin, plugin.OutVoid()),
            TN_OK);
        EXPECT_EQ(Utf8(plugin->GetName()), "RawVideoSource Plug-In");
        EXPECT_EQ(plugin->GetVersion(), 0x00010000u);
        EXPECT_EQ(LiveObjectsOf(pd.Quern()), 2);
        void* none = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(TNCoreCreateInstance(&CLSID_TNRawVideoSource, &IID_ITNSample, &none),
                  TN_E_NOINTERFACE);
        EXPECT_EQ(none, nullptr);
        EXPECT_EQ(LiveObjectsOf(pd.Quern()), 2);
    }
    EXPECT_EQ(LiveObjectsOf(pd.Quern()), 1);
    const std::string closing = core.Close();
    EXPECT_EQ(closing.find("Class library not unloaded"), std::string::npos) << closing;
    EXPECT_FALSE(Loaded(pd.Quern())) << "unloaded by the last close";
}

// A copy of quern cut short (head -c 4000 quern.dll > plugins/partial.dll) is passed over with
// a debug line instead of ending the process in dlopen; the whole copy beside it still serves.
TEST(PluginScan, ATruncatedCopyIsSkipped) {
    PluginDir pd;
    const std::string partial = pd.plugins() + "/partial.dll";
    {
        std::ifstream in(QUERN_PLUGIN_PATH, std::ios::binary);
        std::vector<char> head(4000);
        in.read(head.data(), std::streamsize(head.size()));
        ASSERT_EQ(in.gcount(), 4000);
        std::ofstream(partial, std::ios::binary).write(head.data(), 4000);
    }
    const int level = TNDebugGetLevelValue();
    TNDebugSetLevelValue(TN_LOG_DEBUG);
    CoreSession core(pd.dir().path());
    TNDebugSetLevelValue(level);
    ASSERT_EQ(core.result(), TN_OK) << core.log();
    EXPECT_NE(core.log().find("Class library not loaded: '" + partial + "'"), std::string::npos)
        << core.log();
    EXPECT_EQ(core.log().find("Class library loaded: '" + partial + "'"), std::string::npos)
        << core.log();
    EXPECT_FALSE(Loaded(partial));
    EXPECT_TRUE(CreateSource());
}

TEST(PluginScan, ObjectsStillAliveAtCloseAreReported) {
    PluginDir pd;
    CoreSession core(pd.dir().path());
    ASSERT_EQ(core.result(), TN_OK);
    TNPtr<ITNBasePlugin> plugin;
    ASSERT_EQ(TNCoreCreateInstance(&CLSID_TNRawVideoSource, &IID_ITNBasePlugin, plugin.OutVoid()),
              TN_OK);
    // Keep the library mapped past the close, so that the object can still be released.
    void* keep = ::dlopen(pd.Quern().c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(keep, nullptr);
    const std::string closing = core.Close();
    EXPECT_NE(
        closing.find("Warning: TNCanUnloadNow: Cannot unload, locked: '0', active objects: 1!"),
        std::string::npos)
        << closing;
    EXPECT_NE(closing.find("Class library not unloaded, has active objects."), std::string::npos)
        << closing;
    plugin.reset();
    EXPECT_EQ(LiveObjectsOf(pd.Quern()), 0);
    ::dlclose(keep);
}

TEST(PluginScan, RepeatedClassIdentifier) {
    PluginDir pd;
    const std::string twin = pd.plugins() + "/quern-copy.dll";
    CopyFile(QUERN_PLUGIN_PATH, twin);
    CoreSession core(pd.dir().path());
    ASSERT_EQ(core.result(), TN_OK);
    // One copy registered the class and stays; the other was unloaded with nothing alive.
    EXPECT_NE(Loaded(pd.Quern()), Loaded(twin));
    const std::string kept = Loaded(pd.Quern()) ? pd.Quern() : twin;
    EXPECT_EQ(LiveObjectsOf(kept), 1);
    auto source = CreateSource();
    ASSERT_TRUE(source);
    EXPECT_EQ(LiveObjectsOf(kept), 2);
    source.reset();
    EXPECT_EQ(LiveObjectsOf(kept), 1);
}

TEST(PluginScan, NullDirectoryFindsThePluginBesideTheExecutable) {
    StderrCapture cap;
    ASSERT_EQ(TNCoreInitialize(nullptr), TN_OK);
    auto source = CreateSource();
    EXPECT_TRUE(source);
    source.reset();
    TNCoreClose();
    EXPECT_NE(cap.Text().find("plugins/quern.dll'"), std::string::npos) << cap.Text();
}

// ---- reading generated clips through the core --------------------------------------------------

// A string handle holding `ascii` followed by the UTF-16 units of `rest` as they are.
_TNStr* Units(const std::string& ascii, const std::u16string& rest) {
    std::u16string text(ascii.begin(), ascii.end());
    text += rest;
    return CTNStrCreateFromBuffer(text.data(), static_cast<int>(text.size()));
}

// Names that are not UTF-8 reach the file system as the bytes they were: a base folder and a clip
// named in ISO 8859-1 are passed as text with each undecodable byte b escaped as U+DC00 + b, and
// the clip is told apart from one whose UTF-8 name reads the same.
TEST(PluginScan, NamesThatAreNotUtf8OpenTheirOwnFiles) {
    TempDir dir;
    const std::string base = dir.File("k\xE4se");  // "käse" in ISO 8859-1
    ASSERT_EQ(::mkdir(base.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((base + "/plugins").c_str(), 0755), 0);
    CopyFile(QUERN_PLUGIN_PATH, base + "/plugins/quern.dll");
    const Layout l{2, 8, 0, 0, 0};
    const auto latin1 = RandomBytes(3 * l.Stride(), 1);
    const auto utf8 = RandomBytes(5 * l.Stride(), 2);
    WriteFile(base + "/caf\xE9.raw", latin1);
    WriteFile(base + "/caf\xC3\xA9.raw", utf8);

    _TNStr* baseName = Units(dir.path(), u"/k\xDCE4se");
    StderrCapture cap;
    const TNRESULT init = TNCoreInitialize(baseName);
    const std::string log = cap.Text();
    CTNStrRelease(baseName);
    ASSERT_EQ(init, TN_OK) << log;
    const struct {
        const char* what;
        std::u16string name;
        const std::vector<uint8_t>& bytes;
    } cases[] = {{"ISO 8859-1", u"/k\xDCE4se/caf\xDCE9.raw", latin1},
                 {"UTF-8", u"/k\xDCE4se/caf\u00E9.raw", utf8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto source = CreateSource();
        ASSERT_TRUE(source);
        ASSERT_EQ(Configure(source.get(), l), TN_OK);
        TNPtr<ITNFileSource> file;
        ASSERT_EQ(Query(source, file), TN_OK);
        _TNStr* path = Units(dir.path(), c.name);
        EXPECT_EQ(file->Open(path), TN_OK);
        CTNStrRelease(path);
        ASSERT_EQ(static_cast<uint64_t>(source->GetFrameCount()) * l.Stride(), c.bytes.size());
        TNPtr<ITNMediaTrack> track;
        ASSERT_EQ(source->GetTrack(0, track.Out()), TN_OK);
        TNPtr<ITNSeeking> seeking;
        ASSERT_EQ(Query(track, seeking), TN_OK);
        ASSERT_EQ(seeking->SetPosition(1), TN_OK);
        TNPtr<ITNSample> sample;
        ASSERT_EQ(seeking->GetCurrentSample(sample.Out()), TN_OK);
        uint8_t* p = nullptr;
        ASSERT_EQ(sample->GetPointer(&p), TN_OK);
        EXPECT_EQ(0, std::memcmp(p, c.bytes.data() + l.Stride(), l.Payload()));
    }
    TNCoreClose();
}

struct ClipCase {
    const char* name;
    Layout layout;
    uint32_t frames;
    uint32_t tail;  // bytes after the last whole frame
};

class Clips : public ::testing::TestWithParam<ClipCase> {};

TEST_P(Clips, EverySampleHoldsTheFileBytesOfItsFrame) {
    const ClipCase& c = GetParam();
    const Layout& l = c.layout;
    PluginDir pd;
    CoreSession core(pd.dir().path());
    ASSERT_EQ(core.result(), TN_OK);
    const std::string clip = pd.dir().File("clip.yuv");
    const auto bytes = RandomBytes(l.filePrefix + c.frames * l.Stride() + c.tail, c.frames * 7 + 1);
    WriteFile(clip, bytes);
    {
        auto source = CreateSource();
        ASSERT_TRUE(source);
        ASSERT_EQ(Configure(source.get(), l), TN_OK);
        TNPtr<ITNFileSource> file;
        ASSERT_EQ(Query(source, file), TN_OK);
        Str path(clip);
        ASSERT_EQ(file->Open(path.get()), TN_OK);
        ASSERT_EQ(source->GetFrameCount(), c.frames);
        TNPtr<ITNMediaTrack> track;
        ASSERT_EQ(source->GetTrack(0, track.Out()), TN_OK);
        track.reset();
        ASSERT_EQ(source->GetTrack(0, track.Out()), TN_OK);
        TNPtr<ITNSeeking> seeking;
        ASSERT_EQ(Query(track, seeking), TN_OK);
        track.reset();  // the view keeps only the source and the seeking interface

        // Forward, backward and random positions.
        std::vector<int64_t> order;
        for (int64_t i = 0; i < c.frames; ++i) order.push_back(i);
        for (int64_t i = c.frames - 1; i >= 0; --i) order.push_back(i);
        std::mt19937 gen(c.frames);
        for (int i = 0; i < 8; ++i) order.push_back(static_cast<int64_t>(gen() % c.frames));
        for (const int64_t n : order) {
            ASSERT_EQ(seeking->SetPosition(n), TN_OK);
            TNPtr<ITNSample> sample;
            ASSERT_EQ(seeking->GetCurrentSample(sample.Out()), TN_OK) << "frame " << n;
            EXPECT_EQ(sample->GetStart(), n);
            ASSERT_EQ(sample->GetDataLength(), l.Payload());
            uint8_t* p = nullptr;
            ASSERT_EQ(sample->GetPointer(&p), TN_OK);
            const uint64_t at =
                l.filePrefix + static_cast<uint64_t>(n) * l.Stride() + l.framePrefix;
            ASSERT_EQ(0, std::memcmp(p, bytes.data() + at, l.Payload())) << "frame " << n;
            MediaType mt;
            EXPECT_EQ(sample->GetMediaType(mt.get()), TN_OK);
        }
        EXPECT_EQ(LiveObjectsOf(pd.Quern()), 5)
            << "class object, source, track, its segment and allocator";
    }
    EXPECT_EQ(LiveObjectsOf(pd.Quern()), 1);
    const std::string closing = core.Close();
    EXPECT_EQ(closing.find("not unloaded"), std::string::npos) << closing;
}

INSTANTIATE_TEST_SUITE_P(Layouts, Clips,
                         ::testing::Values(ClipCase{"plain", {6, 16, 0, 0, 0}, 5, 0},
                                           ClipCase{"file prefix", {6, 16, 37, 0, 0}, 5, 3},
                                           ClipCase{"frame prefix", {6, 16, 0, 5, 0}, 4, 0},
                                           ClipCase{"frame postfix", {6, 16, 0, 0, 9}, 4, 11},
                                           ClipCase{"all three", {5, 24, 1000, 12, 4}, 6, 99},
                                           ClipCase{"bottom-up rows", {4, -18, 2, 1, 3}, 5, 1},
                                           ClipCase{"odd sizes", {7, 13, 1, 3, 7}, 9, 2},
                                           ClipCase{
                                               "large frame", {576, 1440, 4096, 64, 64}, 3, 0}),
                         [](const ::testing::TestParamInfo<ClipCase>& param) {
                             std::string n = param.param.name;
                             for (char& ch : n)
                                 if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return n;
                         });

}  // namespace
}  // namespace quern_test
