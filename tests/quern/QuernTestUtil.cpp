#include "QuernTestUtil.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <unistd.h>

namespace quern_test {

namespace {
std::string TempRoot() {
    const char* t = std::getenv("TMPDIR");
    return (t && *t) ? t : "/tmp";
}
}  // namespace

TempDir::TempDir() {
    std::string templ = TempRoot() + "/quern-test-" + std::string(6, 'X');  // mkdtemp's template
    if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> v(count);
    for (auto& b : v) b = static_cast<uint8_t>(gen() >> 24);
    return v;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
}

void CopyFile(const std::string& from, const std::string& to) {
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

std::string Utf8(const _TNStr* s) {
    if (!s) return {};
    const int n = CTNStrGetUtf8Length(s);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    if (!CTNStrToUtf8(s, out.data(), n)) return {};
    out.resize(std::strlen(out.c_str()));
    return out;
}

std::vector<uint8_t> FormatBlock(int32_t width, int32_t height, int32_t lineBytes, uint32_t code) {
    std::vector<uint8_t> b(150, 0);
    const uint32_t size = 150;
    std::memcpy(&b[0], &size, 4);
    std::memcpy(&b[4], &code, 4);
    std::memcpy(&b[8], &width, 4);
    std::memcpy(&b[12], &height, 4);
    std::memcpy(&b[28], &lineBytes, 4);
    return b;
}

MediaType::MediaType() { TNMediaTypeInit(&mt_); }

MediaType::MediaType(const std::vector<uint8_t>& block, uint32_t code) {
    TNMediaTypeInit(&mt_);
    mt_.majorType = TNMAJORTYPE_Video;
    mt_.subType = TNMakeRawVideoSubtype(code);
    mt_.formatType = TNFORMAT_RawVideo;
    mt_.formatSize = static_cast<int32_t>(block.size());
    mt_.format = static_cast<uint8_t*>(std::malloc(block.size()));
    std::memcpy(mt_.format, block.data(), block.size());
}

MediaType::~MediaType() { std::free(mt_.format); }

TNRESULT Configure(ITNRawVideoMediaContainer* c, const Layout& l, uint32_t frameDuration,
                   uint32_t timeScale) {
    TNRESULT r = c->SetFrameDuration(0, frameDuration);
    if (TN_FAILED(r)) return r;
    r = c->SetTimeScale(0, timeScale);
    if (TN_FAILED(r)) return r;
    r = c->SetFileLayout(0, l.filePrefix, l.framePrefix, l.framePostfix);
    if (TN_FAILED(r)) return r;
    const int32_t width = l.lineBytes < 0 ? -l.lineBytes / 2 : l.lineBytes / 2;
    MediaType mt(FormatBlock(width, l.height, l.lineBytes));
    return c->SetMediaType(0, mt.get());
}

StderrCapture::StderrCapture() {
    std::fflush(stderr);
    std::string name = "/tmp/quern-stderr-" + std::string(6, 'X');  // mkstemp's template
    const int fd = ::mkstemp(name.data());
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    file_ = name;
    saved_ = ::dup(2);
    ::dup2(fd, 2);
    ::close(fd);
}

std::string StderrCapture::Text() {
    if (!done_) {
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
        saved_ = -1;
        std::ifstream f(file_, std::ios::binary);
        text_.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
        ::unlink(file_.c_str());
        done_ = true;
    }
    return text_;
}

StderrCapture::~StderrCapture() { Text(); }

}  // namespace quern_test
