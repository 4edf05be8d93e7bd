#include "StderrCapture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

StderrCapture::StderrCapture() {
    std::fflush(stderr);
    std::string name = "/tmp/tncore-stderr-" + std::string(6, 'X');  // mkstemp's template
    file_ = ::mkstemp(name.data());
    if (file_ < 0) throw std::runtime_error("mkstemp failed");
    ::unlink(name.c_str());
    saved_ = ::dup(STDERR_FILENO);
    ::dup2(file_, STDERR_FILENO);
}

StderrCapture::~StderrCapture() {
    if (saved_ >= 0) Stop();
}

std::string StderrCapture::Take() {
    std::string out;
    if (file_ < 0) return out;
    std::fflush(stderr);
    char buf[4096];
    for (;;) {
        const ssize_t n = ::pread(file_, buf, sizeof buf, offset_);
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
        offset_ += n;
    }
    return out;
}

std::string StderrCapture::Stop() {
    std::string out = Take();
    if (saved_ >= 0) {
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        saved_ = -1;
    }
    if (file_ >= 0) {
        ::close(file_);
        file_ = -1;
    }
    return out;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t nl = text.find('\n', start);
        if (nl == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

int CountLines(const std::vector<std::string>& lines, const std::string& line) {
    int n = 0;
    for (const auto& l : lines) n += l == line ? 1 : 0;
    return n;
}

int CountContaining(const std::vector<std::string>& lines, const std::string& text) {
    int n = 0;
    for (const auto& l : lines) n += l.find(text) != std::string::npos ? 1 : 0;
    return n;
}

std::string ProgramFileName() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return std::string();
    const std::string p(path, static_cast<size_t>(n));
    return p.substr(p.rfind('/') + 1);
}

std::string LinePrefix(const std::string& levelName) {
    return "'" + ProgramFileName() + "': [" + std::to_string(::getpid()) + "] " + levelName + ": ";
}
