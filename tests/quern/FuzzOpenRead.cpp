// Fuzz target: a small random file opened under random settings (prefixes, pitch, height),
// read at random frame positions through the components; every sample must hold exactly the
// file's bytes at the frame's offset.
#include "quern/QuernModule.h"
#include "TNPtr.h"
#include "TNStr.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Reader {
    const uint8_t* data;
    size_t size;
    template <class T>
    T Take() {
        T v{};
        const size_t n = size < sizeof(T) ? size : sizeof(T);
        std::memcpy(&v, data, n);
        data += n;
        size -= n;
        return v;
    }
};

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

const std::string& ClipPath() {
    static const std::string path = [] {
        const char* t = std::getenv("TMPDIR");
        return std::string(t && *t ? t : "/tmp") + "/quern-fuzz-" + std::to_string(::getpid()) +
               ".raw";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    const int32_t height = static_cast<int32_t>(in.Take<uint8_t>() % 40) - 2;         // -2..37
    const int32_t lineBytes = static_cast<int32_t>(in.Take<uint16_t>() % 601) - 300;  // +-300
    const uint32_t filePrefix = in.Take<uint16_t>() % 700;
    const uint32_t framePrefix = in.Take<uint8_t>() % 50;
    const uint32_t framePostfix = in.Take<uint8_t>() % 50;
    const uint8_t steps = in.Take<uint8_t>() % 12;
    std::vector<int64_t> positions;
    std::vector<uint8_t> ops;
    for (uint8_t i = 0; i < steps; ++i) {
        positions.push_back(static_cast<int64_t>(in.Take<int16_t>()));
        ops.push_back(in.Take<uint8_t>());
    }
    const std::vector<uint8_t> file(in.data, in.data + in.size);  // the rest is the file

    {
        const int fd = ::open(ClipPath().c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0600);
        Check(fd >= 0, "create clip");
        Check(file.empty() ||
                  ::write(fd, file.data(), file.size()) == static_cast<ssize_t>(file.size()),
              "write clip");
        ::close(fd);
    }

    TNPtr<ITNClassFactory> factory;
    Check(TNGetClassObject(&CLSID_TNRawVideoSource, &IID_ITNClassFactory, factory.Out()) == TN_OK,
          "class object");
    TNPtr<ITNRawVideoMediaContainer> source;
    Check(factory->CreateInstance(&IID_ITNRawVideoMediaContainer, source.OutVoid()) == TN_OK,
          "create");
    source->SetFrameDuration(0, 1);
    source->SetTimeScale(0, 25);
    source->SetFileLayout(0, filePrefix, framePrefix, framePostfix);

    TNMediaType mt;
    TNMediaTypeInit(&mt);
    mt.majorType = TNMAJORTYPE_Video;
    mt.subType = TNMakeRawVideoSubtype(0x30323449u);
    mt.formatType = TNFORMAT_RawVideo;
    mt.formatSize = 150;
    mt.format = static_cast<uint8_t*>(std::calloc(150, 1));
    std::memcpy(mt.format + 12, &height, 4);
    std::memcpy(mt.format + 28, &lineBytes, 4);
    Check(source->SetMediaType(0, &mt) == TN_OK, "media type");
    TNMediaTypeFreeFormat(&mt);

    TNPtr<ITNFileSource> fileSource;
    Check(Query(source, fileSource) == TN_OK, "file source");
    _TNStr* path = CTNStrCreateFromCString(ClipPath().c_str());
    Check(fileSource->Open(path) == TN_OK, "open");
    CTNStrRelease(path);

    const int64_t payload = (lineBytes < 0 ? -int64_t{lineBytes} : lineBytes) * int64_t{height};
    const int64_t stride = payload + framePrefix + framePostfix;
    int64_t expectedCount = 0;
    if (payload > 0 && static_cast<int64_t>(file.size()) >= filePrefix)
        expectedCount = (static_cast<int64_t>(file.size()) - filePrefix) / stride;
    Check(source->GetFrameCount() == expectedCount, "frame count");

    TNPtr<ITNMediaTrack> track;
    Check(source->GetTrack(0, track.Out()) == TN_OK, "track");
    TNPtr<ITNSeeking> seeking;
    const TNRESULT q = Query(track, seeking);
    Check((payload > 0) == (q == TN_OK), "seeking only with a frame to read");
    if (q == TN_OK) {
        for (size_t i = 0; i < positions.size(); ++i) {
            seeking->SetPosition(positions[i]);
            TNPtr<ITNSample> sample;
            TNRESULT r;
            switch (ops[i] % 3) {
            case 0: r = seeking->GetCurrentSample(sample.Out()); break;
            case 1: r = seeking->GetNextSample(sample.Out()); break;
            default: r = seeking->GetPreviousSample(sample.Out()); break;
            }
            int64_t pos = -1;
            seeking->GetPosition(&pos);
            Check(pos >= 0 && pos <= expectedCount, "position clamped");
            const int64_t at = filePrefix + pos * stride + framePrefix;
            const bool fits = at + payload <= static_cast<int64_t>(file.size());
            Check(TN_SUCCEEDED(r) == fits, "read succeeds exactly when the frame is in the file");
            if (TN_FAILED(r)) {
                Check(!sample, "no sample on failure");
                continue;
            }
            uint8_t* p = nullptr;
            Check(sample->GetPointer(&p) == TN_OK, "pointer");
            Check(sample->GetDataLength() == static_cast<uint32_t>(payload), "data length");
            Check(sample->GetSize() >= sample->GetDataLength(), "size");
            Check(sample->GetStart() == pos && sample->GetEnd() == pos + 1, "start/end");
            Check(std::memcmp(p, file.data() + at, static_cast<size_t>(payload)) == 0, "bytes");
            if (ops[i] & 0x80) {  // hold the sample: the next request must be refused
                TNPtr<ITNSample> second;
                Check(seeking->GetCurrentSample(second.Out()) == TN_E_NOTINITIALIZED,
                      "one at a time");
            }
        }
    }
    seeking.reset();
    track.reset();
    fileSource.reset();
    source.reset();
    factory.reset();
    Check(QuernLiveObjects() == 0, "live objects back to 0");
    ::unlink(ClipPath().c_str());
    return 0;
}
