// A program that starts the core with no directory, so that the core scans beside the
// executable. The registry tests copy it, with the core library, into a temporary directory.
#include "TNCore.h"
#include "fake/FakePlugin.h"

#include <cstdio>

int main() {
    const TNRESULT init = TNCoreInitialize(nullptr);
    std::printf("init %08X\n", static_cast<unsigned>(init));
    IFakeTag* tag = nullptr;  // owns one reference when creation succeeds
    const TNRESULT created =
        TNCoreCreateInstance(&CLSID_FakeA, &IID_IFakeTag, reinterpret_cast<void**>(&tag));
    std::printf("create %08X %ls\n", static_cast<unsigned>(created), tag ? tag->Tag() : L"-");
    if (tag) tag->Release();
    TNCoreClose();
    return 0;
}
