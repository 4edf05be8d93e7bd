// Memory allocator and samples: properties, commit and decommit, lending and taking back
// buffers, and the sample's media type hand-over.
#include "QuernFixture.h"

#include "quern/MemAllocator.h"

namespace quern_test {
namespace {

class Allocator : public QuernTest {
protected:
    void SetUp() override {
        QuernTest::SetUp();
        impl_ = new CTNMemAllocator();
        allocator_ = TNPtr<ITNMemAllocator>::Share(impl_);
    }
    void TearDown() override {
        allocator_.reset();
        QuernTest::TearDown();
    }
    TNRESULT Set(int32_t count, int32_t size, int32_t align, int32_t minAlign,
                 TNAllocatorProperties* actual = nullptr) {
        TNAllocatorProperties req{count, size, align, minAlign}, act{-1, -1, -1, -1};
        const TNRESULT r = allocator_->SetProperties(&req, &act);
        if (actual) *actual = act;
        return r;
    }

    CTNMemAllocator* impl_ = nullptr;
    TNPtr<ITNMemAllocator> allocator_;
};

TEST_F(Allocator, SizesAreRoundedToTheLargerAlignment) {
    struct Case {
        int32_t size, align, minAlign, expected;
    };
    const Case cases[] = {{100, 16, 1, 112}, {691200, 16, 1, 691200}, {1, 1, 16, 16},
                          {17, 4, 8, 24},    {0, 16, 1, 0},           {5, 1, 1, 5},
                          {100, 0, 32, 128}};
    for (const Case& c : cases) {
        TNAllocatorProperties act{};
        ASSERT_EQ(Set(1, c.size, c.align, c.minAlign, &act), TN_OK) << c.size;
        EXPECT_EQ(act.bufferSize, c.expected) << c.size << "/" << c.align << "/" << c.minAlign;
        EXPECT_EQ(act.bufferCount, 1);
        EXPECT_EQ(act.alignment, c.align);
        EXPECT_EQ(act.minimumAlignment, c.minAlign);
        TNAllocatorProperties got{};
        ASSERT_EQ(allocator_->GetProperties(&got), TN_OK);
        EXPECT_EQ(got.bufferSize, c.expected);
    }
    EXPECT_EQ(allocator_->GetProperties(nullptr), TN_E_POINTER);
}

TEST_F(Allocator, RefusedProperties) {
    ASSERT_EQ(Set(2, 64, 16, 1), TN_OK);
    struct Case {
        const char* what;
        int32_t count, size, align, minAlign;
        TNRESULT expected;
    };
    const Case cases[] = {
        {"alignment 3", 1, 10, 3, 1, static_cast<TNRESULT>(0x80CF0004)},
        {"alignment 6", 1, 10, 6, 1, TN_E_BADALIGN},
        {"alignment 12", 1, 10, 12, 1, TN_E_BADALIGN},
        {"minimum alignment 12", 1, 10, 16, 12, TN_E_BADALIGN},
        {"negative alignment", 1, 10, -16, 1, TN_E_BADALIGN},
        {"negative count", -1, 10, 16, 1, TN_E_INVALIDARG},
        {"negative size", 1, -10, 16, 1, TN_E_INVALIDARG},
        {"no alignment", 1, 10, 0, 0, TN_E_INVALIDARG},
        {"rounding overflows", 1, 0x7FFFFFFF, 16, 1, TN_E_INVALIDARG},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Set(c.count, c.size, c.align, c.minAlign), c.expected) << c.what;
        TNAllocatorProperties got{};
        allocator_->GetProperties(&got);
        EXPECT_EQ(got.bufferSize, 64) << c.what << ": properties unchanged";
        EXPECT_EQ(got.bufferCount, 2) << c.what;
    }
    for (int32_t a : {1, 2, 4, 16}) EXPECT_EQ(Set(1, 10, a, 1), TN_OK) << a;
    TNAllocatorProperties req{1, 1, 1, 1};
    EXPECT_EQ(allocator_->SetProperties(nullptr, &req), TN_E_POINTER);
    EXPECT_EQ(allocator_->SetProperties(&req, nullptr), TN_E_POINTER);
}

TEST_F(Allocator, CommitDecommitCycle) {
    TNPtr<ITNSample> s;
    EXPECT_EQ(allocator_->GetBuffer(s.Out()), static_cast<TNRESULT>(0x80CF0002));
    EXPECT_EQ(allocator_->GetBuffer(nullptr), TN_E_POINTER);
    ASSERT_EQ(Set(1, 100, 16, 1), TN_OK);
    ASSERT_EQ(allocator_->Commit(), TN_OK);
    EXPECT_EQ(allocator_->Commit(), static_cast<TNRESULT>(0x80CF0005));
    EXPECT_EQ(Set(1, 200, 16, 1), static_cast<TNRESULT>(0x80CF0005));
    ASSERT_EQ(allocator_->GetBuffer(s.Out()), TN_OK);
    EXPECT_EQ(s->GetSize(), 112u);
    EXPECT_EQ(s->GetDataLength(), 0u);
    EXPECT_EQ(allocator_->Commit(), TN_E_BUFFERSOUTSTANDING) << "a lent buffer still exists";
    // While a buffer is lent the size cannot change: the buffer returns to the pool later and
    // would then be handed out with a size it does not have.
    EXPECT_EQ(allocator_->Decommit(), TN_OK);
    EXPECT_EQ(Set(1, 4096, 16, 1), TN_E_BUFFERSOUTSTANDING);
    s.reset();
    EXPECT_EQ(impl_->FreeCount(), 1);
    EXPECT_EQ(allocator_->Decommit(), TN_OK);
    EXPECT_EQ(impl_->FreeCount(), 0);
    ASSERT_EQ(Set(3, 4096, 16, 1), TN_OK);
    ASSERT_EQ(allocator_->Commit(), TN_OK);
    EXPECT_EQ(impl_->FreeCount(), 3);
    // Count 0 commits with no buffer.
    ASSERT_EQ(allocator_->Decommit(), TN_OK);
    ASSERT_EQ(Set(0, 16, 16, 1), TN_OK);
    EXPECT_EQ(allocator_->Commit(), TN_OK);
    EXPECT_EQ(allocator_->GetBuffer(s.Out()), TN_E_NOTINITIALIZED);
}

TEST_F(Allocator, LendsTheLastFreedBufferFirst) {
    ASSERT_EQ(Set(2, 64, 64, 1), TN_OK);
    ASSERT_EQ(allocator_->Commit(), TN_OK);
    TNPtr<ITNSample> a, b, c;
    ASSERT_EQ(allocator_->GetBuffer(a.Out()), TN_OK);
    ASSERT_EQ(allocator_->GetBuffer(b.Out()), TN_OK);
    EXPECT_EQ(allocator_->GetBuffer(c.Out()), TN_E_NOTINITIALIZED);
    uint8_t *pa = nullptr, *pb = nullptr, *pc = nullptr;
    a->GetPointer(&pa);
    b->GetPointer(&pb);
    EXPECT_NE(pa, pb);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(pa) % 64, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(pb) % 64, 0u);
    EXPECT_EQ(impl_->InUseCount(), 2);
    a.reset();
    ASSERT_EQ(allocator_->GetBuffer(c.Out()), TN_OK);
    c->GetPointer(&pc);
    EXPECT_EQ(pc, pa);
    c.reset();
    b.reset();
    ASSERT_EQ(allocator_->GetBuffer(c.Out()), TN_OK);
    c->GetPointer(&pc);
    EXPECT_EQ(pc, pb) << "the last buffer given back is lent first";
}

TEST_F(Allocator, FirstReleaseGivesTheBufferBack) {
    ASSERT_EQ(Set(1, 32, 16, 1), TN_OK);
    ASSERT_EQ(allocator_->Commit(), TN_OK);
    ITNSample* s = nullptr;
    ASSERT_EQ(allocator_->GetBuffer(&s), TN_OK);
    EXPECT_EQ(s->AddRef(), 2u);
    EXPECT_EQ(s->Release(), 1u);
    EXPECT_EQ(impl_->FreeCount(), 1) << "returned on the first Release already";
    TNPtr<ITNSample> next;
    ASSERT_EQ(allocator_->GetBuffer(next.Out()), TN_OK);
    uint8_t *p1 = nullptr, *p2 = nullptr;
    s->GetPointer(&p1);
    next->GetPointer(&p2);
    EXPECT_EQ(p1, p2);
    // The old sample's last Release finds its buffer lent to another sample and leaves it.
    EXPECT_EQ(s->Release(), 0u);
    EXPECT_EQ(impl_->InUseCount(), 1);
    EXPECT_EQ(impl_->FreeCount(), 0);
    EXPECT_EQ(allocator_->ReleaseBuffer(nullptr), TN_E_POINTER);
}

TEST_F(Allocator, SampleMediaTypeIsHandedOverOnce) {
    ASSERT_EQ(Set(1, 32, 16, 1), TN_OK);
    ASSERT_EQ(allocator_->Commit(), TN_OK);
    TNPtr<ITNSample> s;
    ASSERT_EQ(allocator_->GetBuffer(s.Out()), TN_OK);
    MediaType out;
    EXPECT_EQ(s->GetMediaType(out.get()), TN_FALSE);
    EXPECT_EQ(out->format, nullptr) << "untouched";
    EXPECT_EQ(s->GetMediaType(nullptr), TN_E_POINTER);
    EXPECT_EQ(s->SetMediaType(nullptr), TN_E_POINTER);
    {
        MediaType in(FormatBlock(8, 4, 16));
        ASSERT_EQ(s->SetMediaType(in.get()), TN_OK);
        MediaType replaced(FormatBlock(8, 8, 16));
        ASSERT_EQ(s->SetMediaType(replaced.get()), TN_OK);  // frees the first copy
    }
    EXPECT_EQ(s->GetMediaType(out.get()), TN_OK);
    ASSERT_NE(out->format, nullptr);
    int32_t height = 0;
    std::memcpy(&height, out->format + 12, 4);
    EXPECT_EQ(height, 8);
    MediaType again;
    EXPECT_EQ(s->GetMediaType(again.get()), TN_FALSE);
    EXPECT_EQ(s->GetPointer(nullptr), TN_E_POINTER);
}

}  // namespace
}  // namespace quern_test
