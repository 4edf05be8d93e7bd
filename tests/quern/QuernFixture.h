// Fixture of the in-process plug-in tests: the component classes are linked into the test, and
// every test must leave the module's live-object count where it found it.
#pragma once

#include "quern/QuernModule.h"
#include "QuernTestUtil.h"
#include "quern/TNObject.h"

#include <gtest/gtest.h>

namespace quern_test {

class QuernTest : public ::testing::Test {
protected:
    void SetUp() override { liveAtStart_ = QuernLiveObjects(); }
    void TearDown() override {
        EXPECT_EQ(QuernLiveObjects(), liveAtStart_) << "a component was leaked or over-released";
    }

    // A new raw video source through the class object, as the core creates it.
    static TNPtr<ITNRawVideoMediaContainer> NewSource() {
        TNPtr<ITNClassFactory> factory;
        EXPECT_EQ(TNGetClassObject(&CLSID_TNRawVideoSource, &IID_ITNClassFactory, factory.Out()),
                  TN_OK);
        TNPtr<ITNRawVideoMediaContainer> source;
        if (factory) {
            EXPECT_EQ(factory->CreateInstance(&IID_ITNRawVideoMediaContainer, source.OutVoid()),
                      TN_OK);
        }
        return source;
    }

    int32_t liveAtStart_ = 0;
};

// Calls virtual slot `slot` of an interface pointer directly through its table, bypassing the
// declarations of TNInterfaces.h, so that the tests check the header's slot order against the
// numbers the binary contract fixes.
template <class R, class... A>
R CallSlot(const void* iface, int slot, A... args) {
    using Fn = R (*)(const void*, A...);
    Fn const* table = *static_cast<Fn const* const*>(iface);
    return table[slot](iface, args...);
}

}  // namespace quern_test
