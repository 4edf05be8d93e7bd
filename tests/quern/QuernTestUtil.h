// Helpers shared by the plug-in tests: temporary directories, files of random bytes, raw video
// media types, owned strings and capture of standard error.
#pragma once

#include "TNInterfaces.h"
#include "TNPtr.h"
#include "TNStr.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quern_test {

// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
void CopyFile(const std::string& from, const std::string& to);

// A string handle owned by the test.
class Str {
public:
    explicit Str(const char* text) : s_(CTNStrCreateFromCString(text)) {}
    explicit Str(const std::string& text) : Str(text.c_str()) {}
    explicit Str(const wchar_t* text) : s_(CTNStrCreateFromUnicode(text, -1)) {}
    ~Str() { CTNStrRelease(s_); }
    Str(const Str&) = delete;
    Str& operator=(const Str&) = delete;
    _TNStr* get() const { return s_; }

private:
    _TNStr* s_;
};

// The UTF-8 text of a handle ("" for null).
std::string Utf8(const _TNStr* s);

// A 150-byte raw video format block holding width, height and line bytes at their offsets
// (8, 12, 28); layout code at offset 4.
std::vector<uint8_t> FormatBlock(int32_t width, int32_t height, int32_t lineBytes,
                                 uint32_t code = 0x32595559u);

// A raw video media type that owns a heap copy of `block` (freed on destruction).
class MediaType {
public:
    explicit MediaType(const std::vector<uint8_t>& block, uint32_t code = 0x32595559u);
    MediaType();  // empty
    ~MediaType();
    MediaType(const MediaType&) = delete;
    MediaType& operator=(const MediaType&) = delete;
    TNMediaType* get() { return &mt_; }
    TNMediaType& operator*() { return mt_; }
    TNMediaType* operator->() { return &mt_; }

private:
    TNMediaType mt_;
};

// Where the frames lie in a file.
struct Layout {
    int32_t height;
    int32_t lineBytes;
    uint32_t filePrefix;
    uint32_t framePrefix;
    uint32_t framePostfix;
    uint64_t Payload() const {
        return static_cast<uint64_t>(lineBytes < 0 ? -int64_t{lineBytes} : lineBytes) *
               static_cast<uint64_t>(height);
    }
    uint64_t Stride() const { return Payload() + framePrefix + framePostfix; }
    uint64_t PixelsAt(uint64_t frame) const { return frame * Stride() + framePrefix + filePrefix; }
};

// Sets the timing values, the layout and a media type on a source, in the viewer's order.
TNRESULT Configure(ITNRawVideoMediaContainer* c, const Layout& l, uint32_t frameDuration = 1,
                   uint32_t timeScale = 25);

// Captures everything written to file descriptor 2 between construction and Text().
class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;
    // Stops capturing (once) and returns what was written.
    std::string Text();

private:
    int saved_ = -1;
    std::string file_;
    std::string text_;
    bool done_ = false;
};

}  // namespace quern_test
