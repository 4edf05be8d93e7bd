// Component object model: reference counts, identity, interface answers, identifiers, slot
// order, the class object and the entry points of the library.
#include "QuernFixture.h"

#include "quern/MemAllocator.h"
#include "quern/RawVideoSource.h"
#include "TNDebug.h"

#include <array>
#include <string>

namespace quern_test {
namespace {

using ObjectModel = QuernTest;

// ---- identifiers ------------------------------------------------------------------------------

struct NamedId {
    const char* name;
    const TNUUID* id;
    const char* text;
};

std::string Printed(const TNUUID& id) {
    wchar_t buf[40] = {};
    EXPECT_TRUE(TNPrintTNUUID(buf, 40, &id));
    return std::string(buf, buf + wcslen(buf));
}

TEST(Identifiers, PrintAsDocumented) {
    const NamedId ids[] = {
        {"IID_ITNObject", &IID_ITNObject, "00000000-0000-0000-544E-00000000424C"},
        {"IID_ITNClassFactory", &IID_ITNClassFactory, "00000001-0000-0000-544E-00000000424C"},
        {"IID_ITNBasePlugin", &IID_ITNBasePlugin, "BF0AA5E1-B7D5-473C-AE50-6A02BD38BA70"},
        {"IID_ITNSample", &IID_ITNSample, "A85901D7-4B7E-7597-9F72-49A03ABD34B7"},
        {"IID_ITNMemAllocator", &IID_ITNMemAllocator, "38C5AA9B-8B2C-4EE6-8A5C-2CF63B1AB950"},
        {"IID_ITNSeeking", &IID_ITNSeeking, "2BA3E32C-47E1-9628-A8E2-15A2DD57B8F2"},
        {"IID_ITNMediaTrackSegment", &IID_ITNMediaTrackSegment,
         "782E07A9-4992-EE2D-705C-40AB9D3F43A4"},
        {"IID_ITNMediaTrack", &IID_ITNMediaTrack, "BAC3B428-40B2-7BAF-1360-588086BA8165"},
        {"IID_ITNFileSource", &IID_ITNFileSource, "4DA9243C-45C3-48AA-27D4-59B5DFDD0AF0"},
        {"IID_ITNMediaContainer", &IID_ITNMediaContainer, "6A36AD5E-4EC1-62D7-2171-719A6C8DE386"},
        {"IID_ITNRawVideoMediaContainer", &IID_ITNRawVideoMediaContainer,
         "5FFCED9E-9081-44F7-97F9-2E95332D261A"},
        {"CLSID_TNRawVideoSource", &CLSID_TNRawVideoSource, "ED3F5A8C-4704-401C-B138-90611C46B0C5"},
        {"TNPLUGINTYPE_RawVideoSource", &TNPLUGINTYPE_RawVideoSource,
         "242618BB-48F5-CDB8-1D91-19BDCBAFB1D7"},
        {"TNMAJORTYPE_Video", &TNMAJORTYPE_Video, "6C77B6BE-49C4-AAA7-54FC-CB86CF386424"},
        {"TNFORMAT_RawVideo", &TNFORMAT_RawVideo, "A7CA1F3C-4DA8-1FAE-B87D-29B527B1BE3E"},
        {"TNSUBTYPE_RawVideo", &TNSUBTYPE_RawVideo, "00000000-458D-59B6-6B1F-FB8A885B11E2"},
        {"TNUUID_NULL", &TNUUID_NULL, "00000000-0000-0000-0000-000000000000"},
    };
    for (const NamedId& n : ids) EXPECT_EQ(Printed(*n.id), n.text) << n.name;
}

TEST(Identifiers, StoredBytes) {
    const std::array<uint8_t, 16> object = {0,    0,    0, 0, 0, 0, 0,    0,
                                            0x54, 0x4E, 0, 0, 0, 0, 0x42, 0x4C};
    EXPECT_EQ(0, std::memcmp(&IID_ITNObject, object.data(), 16));
    std::array<uint8_t, 16> factory = object;
    factory[0] = 0x01;
    EXPECT_EQ(0, std::memcmp(&IID_ITNClassFactory, factory.data(), 16));

    const TNUUID sub = TNMakeRawVideoSubtype(0x32595559u);  // "YUY2"
    const uint8_t expected[16] = {0x59, 0x55, 0x59, 0x32, 0x8D, 0x45, 0xB6, 0x59,
                                  0x6B, 0x1F, 0xFB, 0x8A, 0x88, 0x5B, 0x11, 0xE2};
    EXPECT_EQ(0, std::memcmp(&sub, expected, 16));
    EXPECT_TRUE(TNIsRawVideoSubtype(sub));
    EXPECT_EQ(TNRawVideoSubtypeCode(sub), 0x32595559u);
    TNUUID other = sub;
    reinterpret_cast<uint8_t*>(&other)[15] ^= 1;
    EXPECT_FALSE(TNIsRawVideoSubtype(other));
}

// ---- media type helpers -----------------------------------------------------------------------

TEST(MediaTypeHelpers, EmptyIsSetAndDeepCopy) {
    TNMediaType empty;
    std::memset(&empty, 0xAB, sizeof(empty));
    TNMediaTypeInit(&empty);
    EXPECT_EQ(empty.size, 72u);
    EXPECT_EQ(empty.fixedSizeSamples, 1);
    EXPECT_EQ(empty.format, nullptr);
    EXPECT_EQ(empty.formatSize, 0);
    EXPECT_FALSE(TNMediaTypeIsSet(&empty));

    MediaType src(FormatBlock(720, 480, 1440));
    EXPECT_TRUE(TNMediaTypeIsSet(src.get()));
    MediaType dst(FormatBlock(2, 2, 4));  // its own block must be freed by the copy
    ASSERT_EQ(TNMediaTypeCopy(dst.get(), src.get()), TN_OK);
    EXPECT_NE(dst->format, src->format);
    EXPECT_EQ(dst->formatSize, 150);
    EXPECT_EQ(0, std::memcmp(dst->format, src->format, 150));
    EXPECT_TRUE(TNIsEqual(dst->subType, src->subType));
    EXPECT_EQ(TNMediaTypeCopy(nullptr, src.get()), TN_E_POINTER);
    EXPECT_EQ(TNMediaTypeCopy(dst.get(), nullptr), TN_E_POINTER);
    EXPECT_EQ(TNMediaTypeCopy(dst.get(), dst.get()), TN_OK);  // onto itself: unchanged
    EXPECT_EQ(dst->formatSize, 150);
}

// ---- counts and identity ----------------------------------------------------------------------

TEST_F(ObjectModel, CountSequenceAndLiveObjects) {
    const int32_t before = QuernLiveObjects();
    ITNObject* object = CTNRawVideoSource::CreateObject(nullptr);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(QuernLiveObjects(), before + 1);
    EXPECT_EQ(object->AddRef(), 1u);
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_EQ(QuernLiveObjects(), before + 1);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(QuernLiveObjects(), before);
}

TEST_F(ObjectModel, OneCountAcrossInterfaces) {
    auto source = NewSource();
    ASSERT_TRUE(source);
    TNPtr<ITNFileSource> file;
    ASSERT_EQ(Query(source, file), TN_OK);
    // source (1) + file (1): every interface shares one count.
    EXPECT_EQ(file->AddRef(), 3u);
    EXPECT_EQ(source->Release(), 2u);
}

TEST_F(ObjectModel, IdentityThroughEveryInterface) {
    auto source = NewSource();
    TNPtr<ITNFileSource> file;
    TNPtr<ITNBasePlugin> plugin;
    TNPtr<ITNMediaContainer> container;
    ASSERT_EQ(Query(source, file), TN_OK);
    ASSERT_EQ(Query(source, plugin), TN_OK);
    ASSERT_EQ(Query(source, container), TN_OK);
    TNPtr<ITNObject> a, b, c;
    ASSERT_EQ(Query(file, a), TN_OK);
    ASSERT_EQ(Query(container, b), TN_OK);
    ASSERT_EQ(Query(plugin, c), TN_OK);
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(a.get(), c.get());
    // Both container identifiers answer with the same interface pointer.
    EXPECT_EQ(static_cast<void*>(container.get()), static_cast<void*>(source.get()));
}

TEST_F(ObjectModel, RefusedQueriesStoreNullAndKeepTheCount) {
    auto source = NewSource();
    ASSERT_EQ(Configure(source.get(), Layout{2, 4, 0, 0, 0}), TN_OK);
    TNPtr<ITNMediaTrack> track;
    ASSERT_EQ(source->GetTrack(0, track.Out()), TN_OK);
    TNPtr<ITNMediaTrackSegment> segment;
    ASSERT_EQ(track->GetSegment(0, segment.Out()), TN_OK);

    struct Case {
        const char* what;
        ITNObject* object;
        const TNUUID* iid;
    };
    const Case cases[] = {
        {"segment/seeking", segment.get(), &IID_ITNSeeking},
        {"segment/track", segment.get(), &IID_ITNMediaTrack},
        {"track/sample", track.get(), &IID_ITNSample},
        {"track/container", track.get(), &IID_ITNMediaContainer},
        {"source/track", source.get(), &IID_ITNMediaTrack},
        {"source/class factory", source.get(), &IID_ITNClassFactory},
        {"source/null id", source.get(), &TNUUID_NULL},
    };
    for (const Case& c : cases) {
        const uint32_t refs = c.object->AddRef() - 1;
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(c.object->QueryInterface(c.iid, &out), TN_E_NOINTERFACE) << c.what;
        EXPECT_EQ(out, nullptr) << c.what;
        EXPECT_EQ(c.object->Release(), refs) << c.what;
        EXPECT_EQ(c.object->QueryInterface(c.iid, nullptr), TN_E_POINTER) << c.what;
    }
}

// Every class answers exactly its identifiers, each with the right interface pointer, and
// IID_ITNObject with its identity.
TEST_F(ObjectModel, AnswersOfEveryClass) {
    auto source = NewSource();
    ASSERT_EQ(Configure(source.get(), Layout{2, 4, 0, 0, 0}), TN_OK);
    auto* src = static_cast<CTNRawVideoSource*>(source.get());
    TNPtr<ITNMediaTrack> track;
    ASSERT_EQ(source->GetTrack(0, track.Out()), TN_OK);
    TNPtr<ITNMediaTrackSegment> segment;
    ASSERT_EQ(track->GetSegment(0, segment.Out()), TN_OK);
    auto allocator = TNPtr<CTNMemAllocator>::Share(new CTNMemAllocator());
    TNAllocatorProperties req{1, 16, 16, 1}, act{};
    ASSERT_EQ(allocator->SetProperties(&req, &act), TN_OK);
    ASSERT_EQ(allocator->Commit(), TN_OK);
    TNPtr<ITNSample> sample;
    ASSERT_EQ(allocator->GetBuffer(sample.Out()), TN_OK);
    TNPtr<ITNClassFactory> factory;
    ASSERT_EQ(TNGetClassObject(&CLSID_TNRawVideoSource, &IID_ITNObject, factory.Out()), TN_OK);

    const TNUUID* all[] = {&IID_ITNObject,
                           &IID_ITNClassFactory,
                           &IID_ITNBasePlugin,
                           &IID_ITNSample,
                           &IID_ITNMemAllocator,
                           &IID_ITNSeeking,
                           &IID_ITNMediaTrackSegment,
                           &IID_ITNMediaTrack,
                           &IID_ITNFileSource,
                           &IID_ITNMediaContainer,
                           &IID_ITNRawVideoMediaContainer};
    struct Answer {
        const TNUUID* iid;
        const void* expected;
    };
    struct ClassCase {
        const char* name;
        ITNObject* object;
        std::vector<Answer> answers;
    };
    auto* trk = dynamic_cast<ITNSeeking*>(track.get());
    ASSERT_NE(trk, nullptr);
    const ClassCase classes[] = {
        {"RawVideoSource",
         static_cast<ITNBasePlugin*>(src),
         {{&IID_ITNBasePlugin, static_cast<ITNBasePlugin*>(src)},
          {&IID_ITNFileSource, static_cast<ITNFileSource*>(src)},
          {&IID_ITNMediaContainer, static_cast<ITNRawVideoMediaContainer*>(src)},
          {&IID_ITNRawVideoMediaContainer, static_cast<ITNRawVideoMediaContainer*>(src)},
          {&IID_ITNObject, static_cast<CTNObject*>(src)->Identity()}}},
        {"RawVideoMediaTrack",
         track.get(),
         {{&IID_ITNMediaTrack, track.get()},
          {&IID_ITNSeeking, trk},
          {&IID_ITNObject, dynamic_cast<CTNObject*>(track.get())->Identity()}}},
        {"RawVideoMediaTrackSegment",
         segment.get(),
         {{&IID_ITNMediaTrackSegment, segment.get()},
          {&IID_ITNObject, dynamic_cast<CTNObject*>(segment.get())->Identity()}}},
        {"Sample",
         sample.get(),
         {{&IID_ITNSample, sample.get()},
          {&IID_ITNObject, dynamic_cast<CTNObject*>(sample.get())->Identity()}}},
        {"MemAllocator",
         static_cast<ITNMemAllocator*>(allocator.get()),
         {{&IID_ITNMemAllocator, static_cast<ITNMemAllocator*>(allocator.get())},
          {&IID_ITNObject, static_cast<CTNObject*>(allocator.get())->Identity()}}},
        {"ClassFactory",
         factory.get(),
         {{&IID_ITNObject, dynamic_cast<CTNObject*>(factory.get())->Identity()},
          {&IID_ITNClassFactory, factory.get()}}},
    };
    for (const ClassCase& c : classes) {
        for (const TNUUID* iid : all) {
            const void* expected = nullptr;
            for (const Answer& a : c.answers)
                if (a.iid == iid) expected = a.expected;
            void* out = reinterpret_cast<void*>(0x1);
            const TNRESULT r = c.object->QueryInterface(iid, &out);
            EXPECT_EQ(r, expected ? TN_OK : TN_E_NOINTERFACE) << c.name << " " << Printed(*iid);
            EXPECT_EQ(out, expected) << c.name << " " << Printed(*iid);
            if (out) static_cast<ITNObject*>(out)->Release();
        }
    }
}

// ---- slot order -------------------------------------------------------------------------------

TEST_F(ObjectModel, SlotsOfTheSourceInterfaces) {
    auto source = NewSource();
    TNPtr<ITNBasePlugin> plugin;
    TNPtr<ITNFileSource> file;
    ASSERT_EQ(Query(source, plugin), TN_OK);
    ASSERT_EQ(Query(source, file), TN_OK);
    const void* p = plugin.get();
    EXPECT_EQ(CallSlot<uint32_t>(p, 0), 4u);  // AddRef: source, plugin, file + this one
    EXPECT_EQ(CallSlot<uint32_t>(p, 1), 3u);  // Release
    EXPECT_TRUE(TNIsEqual(*CallSlot<const TNUUID*>(p, 3), TNPLUGINTYPE_RawVideoSource));
    EXPECT_EQ(Utf8(CallSlot<_TNStr*>(p, 4)), "RawVideoSource Plug-In");
    EXPECT_EQ(Utf8(CallSlot<_TNStr*>(p, 5)), "Brellin GmbH");
    EXPECT_NE(Utf8(CallSlot<_TNStr*>(p, 6)).find("Brellin GmbH"), std::string::npos);
    EXPECT_EQ(Utf8(CallSlot<_TNStr*>(p, 7)), "(Release)");
    EXPECT_EQ(CallSlot<uint32_t>(p, 8), 0x00010000u);

    const void* f = file.get();
    EXPECT_EQ(CallSlot<_TNStr*>(f, 4), nullptr);
    Str missing("/nonexistent-quern/none.raw");
    EXPECT_EQ(CallSlot<TNRESULT>(f, 3, missing.get()), TN_E_FILENOTFOUND);
    EXPECT_EQ(CallSlot<_TNStr*>(f, 4), missing.get());

    const void* c = source.get();
    Str label("label");
    EXPECT_EQ(CallSlot<TNRESULT>(c, 12, int32_t{0}, uint32_t{7}), TN_OK);  // SetFrameDuration
    EXPECT_EQ(CallSlot<TNRESULT>(c, 13, int32_t{0}, uint32_t{9}), TN_OK);  // SetTimeScale
    EXPECT_EQ(CallSlot<uint32_t>(c, 7), 7u);
    EXPECT_EQ(CallSlot<uint32_t>(c, 8), 9u);
    EXPECT_EQ(CallSlot<TNRESULT>(c, 14, int32_t{1}, 0u, 0u, 0u), TN_E_FAIL);  // SetFileLayout
    EXPECT_EQ(CallSlot<TNRESULT>(c, 10, label.get()), TN_OK);                 // SetLabel
    EXPECT_EQ(CallSlot<_TNStr*>(c, 3), label.get());                          // GetLabel
    EXPECT_FALSE(CallSlot<bool>(c, 4));                                       // IsOpen
    EXPECT_EQ(CallSlot<TNRESULT>(c, 11, uint32_t{5}), TN_OK);                 // SetOption
    EXPECT_EQ(CallSlot<TNRESULT>(c, 9, int32_t{0}, static_cast<const TNMediaType*>(nullptr)),
              TN_E_POINTER);  // SetMediaType
    ITNMediaTrack* none = reinterpret_cast<ITNMediaTrack*>(0x1);
    EXPECT_EQ(CallSlot<TNRESULT>(c, 5, int32_t{0}, &none), TN_E_FAIL);  // GetTrack
    EXPECT_EQ(CallSlot<int64_t>(c, 6), 0);                              // GetFrameCount
}

TEST_F(ObjectModel, SlotsOfTrackSeekingAndSegment) {
    TempDir dir;
    WriteFile(dir.File("f.raw"), RandomBytes(3 * 8, 1));
    auto source = NewSource();
    ASSERT_EQ(Configure(source.get(), Layout{2, 4, 0, 0, 0}, 3, 50), TN_OK);
    TNPtr<ITNFileSource> file;
    ASSERT_EQ(Query(source, file), TN_OK);
    Str path(dir.File("f.raw"));
    ASSERT_EQ(file->Open(path.get()), TN_OK);
    TNPtr<ITNMediaTrack> track;
    ASSERT_EQ(source->GetTrack(0, track.Out()), TN_OK);
    const void* t = track.get();
    EXPECT_EQ(CallSlot<int32_t>(t, 4), 1);     // GetSegmentCount
    EXPECT_EQ(CallSlot<int64_t>(t, 6), 3);     // GetFrameCount
    EXPECT_EQ(CallSlot<uint32_t>(t, 7), 3u);   // GetFrameDuration
    EXPECT_EQ(CallSlot<uint32_t>(t, 8), 50u);  // GetTimeScale
    MediaType out;
    EXPECT_EQ(CallSlot<TNRESULT>(t, 3, out.get()), TN_OK);  // GetMediaType
    EXPECT_EQ(out->formatSize, 150);
    ITNMediaTrackSegment* seg = nullptr;
    EXPECT_EQ(CallSlot<TNRESULT>(t, 5, int32_t{0}, &seg), TN_OK);  // GetSegment
    auto segment = TNPtr<ITNMediaTrackSegment>::Adopt(seg);
    EXPECT_EQ(CallSlot<TNRESULT>(t, 9, static_cast<ITNMemAllocator*>(nullptr)), TN_E_POINTER);

    const void* s = seg;
    EXPECT_EQ(CallSlot<int64_t>(s, 4), 3);
    EXPECT_EQ(CallSlot<uint32_t>(s, 5), 3u);
    EXPECT_EQ(CallSlot<uint32_t>(s, 6), 50u);
    TNMediaType shallow;
    TNMediaTypeInit(&shallow);
    EXPECT_EQ(CallSlot<TNRESULT>(s, 3, &shallow), TN_OK);
    EXPECT_EQ(shallow.formatSize, 150);

    TNPtr<ITNSeeking> seeking;
    ASSERT_EQ(Query(track, seeking), TN_OK);
    const void* k = seeking.get();
    int64_t pos = 99;
    EXPECT_EQ(CallSlot<TNRESULT>(k, 8, int64_t{2}), TN_OK);  // SetPosition
    EXPECT_EQ(CallSlot<TNRESULT>(k, 7, &pos), TN_OK);        // GetPosition
    EXPECT_EQ(pos, 2);
    EXPECT_EQ(CallSlot<TNRESULT>(k, 3), TN_OK);  // Reset
    EXPECT_EQ(CallSlot<TNRESULT>(k, 7, &pos), TN_OK);
    EXPECT_EQ(pos, -1);
    struct SlotCase {
        int slot;
        int64_t start;
    };
    for (const SlotCase sc : {SlotCase{6, 0}, SlotCase{6, 1}, SlotCase{5, 0}, SlotCase{4, 0}}) {
        ITNSample* raw = nullptr;
        ASSERT_EQ(CallSlot<TNRESULT>(k, sc.slot, &raw), TN_OK) << sc.slot;
        auto sample = TNPtr<ITNSample>::Adopt(raw);
        EXPECT_EQ(sample->GetStart(), sc.start) << "slot " << sc.slot;
    }
}

TEST_F(ObjectModel, SlotsOfSampleAllocatorAndClassObject) {
    auto allocator = TNPtr<ITNMemAllocator>::Share(new CTNMemAllocator());
    const void* a = allocator.get();
    TNAllocatorProperties req{1, 100, 16, 1}, act{}, got{};
    EXPECT_EQ(CallSlot<TNRESULT>(a, 6, &req, &act), TN_OK);  // SetProperties
    EXPECT_EQ(act.bufferSize, 112);
    EXPECT_EQ(CallSlot<TNRESULT>(a, 7, &got), TN_OK);  // GetProperties
    EXPECT_EQ(got.bufferSize, 112);
    ITNSample* raw = nullptr;
    EXPECT_EQ(CallSlot<TNRESULT>(a, 5, &raw), TN_E_NOTINITIALIZED);  // GetBuffer before Commit
    EXPECT_EQ(CallSlot<TNRESULT>(a, 3), TN_OK);                      // Commit
    ASSERT_EQ(CallSlot<TNRESULT>(a, 5, &raw), TN_OK);
    auto sample = TNPtr<ITNSample>::Adopt(raw);

    const void* s = raw;
    EXPECT_EQ(CallSlot<uint32_t>(s, 3), 112u);  // GetSize
    uint8_t* buffer = nullptr;
    EXPECT_EQ(CallSlot<TNRESULT>(s, 4, &buffer), TN_OK);  // GetPointer
    EXPECT_NE(buffer, nullptr);
    MediaType mt;
    EXPECT_EQ(CallSlot<TNRESULT>(s, 5, mt.get()), TN_FALSE);  // GetMediaType, none yet
    MediaType set(FormatBlock(2, 2, 4));
    EXPECT_EQ(CallSlot<TNRESULT>(s, 6, static_cast<const TNMediaType*>(set.get())), TN_OK);
    EXPECT_EQ(CallSlot<TNRESULT>(s, 8, int64_t{41}), TN_OK);
    EXPECT_EQ(CallSlot<int64_t>(s, 7), 41);
    EXPECT_EQ(CallSlot<TNRESULT>(s, 10, int64_t{42}), TN_OK);
    EXPECT_EQ(CallSlot<int64_t>(s, 9), 42);
    EXPECT_EQ(CallSlot<TNRESULT>(s, 12, uint32_t{43}), TN_OK);
    EXPECT_EQ(CallSlot<uint32_t>(s, 11), 43u);
    EXPECT_EQ(CallSlot<TNRESULT>(s, 14, uint32_t{44}), TN_OK);
    EXPECT_EQ(CallSlot<uint32_t>(s, 13), 44u);
    EXPECT_EQ(CallSlot<TNRESULT>(s, 16, uint32_t{45}), TN_OK);
    EXPECT_EQ(CallSlot<uint32_t>(s, 15), 45u);
    EXPECT_EQ(CallSlot<TNRESULT>(s, 5, mt.get()), TN_OK);  // handed over once
    EXPECT_EQ(mt->formatSize, 150);

    EXPECT_EQ(CallSlot<TNRESULT>(a, 8, raw), TN_OK);  // ReleaseBuffer: back in the free list
    EXPECT_EQ(CallSlot<TNRESULT>(a, 4), TN_OK);       // Decommit frees it
    EXPECT_EQ(static_cast<CTNMemAllocator*>(allocator.get())->FreeCount(), 0);
    sample.reset();

    TNPtr<ITNClassFactory> factory;
    ASSERT_EQ(TNGetClassObject(&CLSID_TNRawVideoSource, &IID_ITNClassFactory, factory.Out()),
              TN_OK);
    const void* f = factory.get();
    const int32_t locks = QuernLockCount();
    EXPECT_EQ(CallSlot<TNRESULT>(f, 4, true), TN_OK);  // LockServer
    EXPECT_EQ(QuernLockCount(), locks + 1);
    EXPECT_EQ(CallSlot<TNRESULT>(f, 4, false), TN_OK);
    void* created = nullptr;
    EXPECT_EQ(CallSlot<TNRESULT>(f, 3, &IID_ITNBasePlugin, &created), TN_OK);  // CreateInstance
    ASSERT_NE(created, nullptr);
    static_cast<ITNBasePlugin*>(created)->Release();
}

// ---- class object and entry points ------------------------------------------------------------

TEST_F(ObjectModel, ClassIdList) {
    int32_t count = -1;
    EXPECT_EQ(TNGetClassIDList(nullptr, &count), TN_OK);
    EXPECT_EQ(count, 1);
    TNUUID ids[2] = {TNUUID_NULL, TNUUID_NULL};
    count = 77;
    EXPECT_EQ(TNGetClassIDList(ids, &count), TN_OK);
    EXPECT_EQ(count, 77);  // untouched when an array is given
    EXPECT_TRUE(TNIsEqual(ids[0], CLSID_TNRawVideoSource));
    EXPECT_EQ(TNGetClassIDList(ids, nullptr), TN_OK);
    EXPECT_EQ(TNGetClassIDList(nullptr, nullptr), static_cast<TNRESULT>(0x80000005));
}

TEST_F(ObjectModel, ClassObjectRequests) {
    struct Case {
        const char* what;
        const TNUUID* clsid;
        const TNUUID* iid;
        bool out;
        TNRESULT expected;
    };
    const TNUUID unknown = IID_ITNSample;
    const Case cases[] = {
        {"factory", &CLSID_TNRawVideoSource, &IID_ITNClassFactory, true, TN_OK},
        {"object", &CLSID_TNRawVideoSource, &IID_ITNObject, true, TN_OK},
        {"other interface", &CLSID_TNRawVideoSource, &IID_ITNBasePlugin, true,
         static_cast<TNRESULT>(0x80000004)},
        {"unknown class", &unknown, &IID_ITNClassFactory, true, static_cast<TNRESULT>(0x80040111)},
        {"null class", nullptr, &IID_ITNClassFactory, true, TN_E_POINTER},
        {"null interface", &CLSID_TNRawVideoSource, nullptr, true, TN_E_POINTER},
        {"null out", &CLSID_TNRawVideoSource, &IID_ITNClassFactory, false, TN_E_POINTER},
    };
    for (const Case& c : cases) {
        const int32_t live = QuernLiveObjects();
        ITNClassFactory* f = reinterpret_cast<ITNClassFactory*>(0x1);
        EXPECT_EQ(TNGetClassObject(c.clsid, c.iid, c.out ? &f : nullptr), c.expected) << c.what;
        if (c.expected == TN_OK) {
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(QuernLiveObjects(), live + 1) << c.what;
            // The class factory pointer for either identifier; one reference for the caller.
            void* cf = nullptr;
            ASSERT_EQ(f->QueryInterface(&IID_ITNClassFactory, &cf), TN_OK);
            EXPECT_EQ(cf, static_cast<void*>(f)) << c.what;
            EXPECT_EQ(f->Release(), 1u);
            EXPECT_EQ(f->Release(), 0u) << c.what;
        } else if (c.out && c.clsid && c.iid) {
            EXPECT_EQ(f, nullptr) << c.what;
        }
        EXPECT_EQ(QuernLiveObjects(), live) << c.what;
    }
}

TEST_F(ObjectModel, CreateInstanceOfAMissingInterfaceDestroysTheObject) {
    TNPtr<ITNClassFactory> factory;
    ASSERT_EQ(TNGetClassObject(&CLSID_TNRawVideoSource, &IID_ITNClassFactory, factory.Out()),
              TN_OK);
    const int32_t live = QuernLiveObjects();
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(factory->CreateInstance(&IID_ITNSample, &out), static_cast<TNRESULT>(0x80000004));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(QuernLiveObjects(), live);
    EXPECT_EQ(factory->CreateInstance(&IID_ITNBasePlugin, nullptr), TN_E_POINTER);
    // A new object arrives with exactly one reference.
    TNPtr<ITNFileSource> file;
    ASSERT_EQ(factory->CreateInstance(&IID_ITNFileSource, file.OutVoid()), TN_OK);
    EXPECT_EQ(QuernLiveObjects(), live + 1);
    EXPECT_EQ(file->AddRef(), 2u);
    EXPECT_EQ(file->Release(), 1u);
}

TEST_F(ObjectModel, CanUnloadNowLogsHeldObjectsAndLocks) {
    ASSERT_EQ(QuernLiveObjects(), 0);
    ASSERT_EQ(TNCanUnloadNow(), TN_OK);
    const std::string refusal = "Warning: TNCanUnloadNow: Cannot unload, locked: '";
    {
        TNPtr<ITNClassFactory> factory;
        ASSERT_EQ(TNGetClassObject(&CLSID_TNRawVideoSource, &IID_ITNClassFactory, factory.Out()),
                  TN_OK);
        StderrCapture cap;
        EXPECT_EQ(TNCanUnloadNow(), static_cast<TNRESULT>(0x80000008));
        const std::string text = cap.Text();
        EXPECT_NE(text.find(refusal + "0', active objects: 1!\n"), std::string::npos) << text;
        EXPECT_EQ(text.find("'"), 0u) << "line starts with the program name: " << text;

        EXPECT_EQ(factory->LockServer(true), TN_OK);
        EXPECT_EQ(factory->LockServer(true), TN_OK);
        EXPECT_EQ(factory->LockServer(false), TN_OK);
    }
    {
        StderrCapture cap;
        EXPECT_EQ(TNCanUnloadNow(), TN_E_FAIL);
        EXPECT_NE(cap.Text().find(refusal + "1', active objects: 0!\n"), std::string::npos)
            << cap.Text();
    }
    // Unlocking below zero counts as unlocked.
    TNPtr<ITNClassFactory> factory;
    ASSERT_EQ(TNGetClassObject(&CLSID_TNRawVideoSource, &IID_ITNClassFactory, factory.Out()),
              TN_OK);
    factory->LockServer(false);
    factory->LockServer(false);
    factory.reset();
    EXPECT_EQ(QuernLockCount(), -1);
    {
        StderrCapture cap;
        EXPECT_EQ(TNCanUnloadNow(), TN_OK);
        EXPECT_EQ(cap.Text(), "");
    }
    TNPtr<ITNClassFactory> again;
    ASSERT_EQ(TNGetClassObject(&CLSID_TNRawVideoSource, &IID_ITNClassFactory, again.Out()), TN_OK);
    again->LockServer(true);  // back to 0 for later tests
}

TEST(ClassTable, LoadHookMadeTheStrings) {
    ASSERT_EQ(QuernClassCount(), 1);
    const TNClassEntry& e = QuernClassTable()[0];
    EXPECT_EQ(Utf8(e.name), "RawVideoSource Plug-In");
    EXPECT_EQ(Utf8(e.vendor), "Brellin GmbH");
    EXPECT_EQ(Utf8(e.buildType), "(Release)");
    EXPECT_EQ(e.version, 0x00010000u);
    EXPECT_TRUE(TNIsEqual(*e.classId, CLSID_TNRawVideoSource));
    EXPECT_TRUE(TNIsEqual(*e.pluginType, TNPLUGINTYPE_RawVideoSource));
    // The notice carries the year of the build.
    const std::string year = std::string(__DATE__).substr(7);
    EXPECT_NE(Utf8(e.legalNotice).find(year), std::string::npos) << Utf8(e.legalNotice);
}

}  // namespace
}  // namespace quern_test
