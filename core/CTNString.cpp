#include "CTNString.h"

#include "DebugOutput.h"
#include "TextConvert.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <new>
#include <utility>

namespace {

// vswprintf cannot measure its output, so the buffer grows until the text fits. A text this
// long is not a log line; stop there rather than grow without end.
constexpr size_t kMaxFormattedUnits = size_t{1} << 24;
constexpr size_t kFirstFormatUnits = 256;

}  // namespace

CTNString::CTNString() = default;

CTNString::CTNString(const wchar_t* text) { Assign(text); }

CTNString::CTNString(const wchar_t* text, size_t count) { Assign(text, count); }

CTNString::CTNString(const CTNString& other) : body_(other.body_) {
    if (body_) body_->refs.fetch_add(1, std::memory_order_relaxed);
}

CTNString::CTNString(CTNString&& other) noexcept : body_(std::exchange(other.body_, nullptr)) {}

// Assigning a string to itself (or to a copy sharing its body) changes nothing: the bodies are
// compared.
// NOLINTNEXTLINE(bugprone-unhandled-self-assignment)
CTNString& CTNString::operator=(const CTNString& other) {
    if (body_ != other.body_) {
        if (other.body_) other.body_->refs.fetch_add(1, std::memory_order_relaxed);
        Drop();
        body_ = other.body_;
    }
    return *this;
}

CTNString& CTNString::operator=(CTNString&& other) noexcept {
    if (this != &other) {
        Drop();
        body_ = std::exchange(other.body_, nullptr);
    }
    return *this;
}

CTNString::~CTNString() { Drop(); }

void CTNString::Drop() {
    Body* b = std::exchange(body_, nullptr);
    if (b && b->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete b;
}

std::wstring& CTNString::Mutable() {
    if (!body_) {
        body_ = new Body;
    } else if (body_->refs.load(std::memory_order_acquire) != 1) {
        // Shared: give this handle a private copy before the change.
        Body* copy = new Body;
        copy->text = body_->text;
        Drop();
        body_ = copy;
    }
    return body_->text;
}

CTNString CTNString::FromUtf8(const char* text, size_t bytes) {
    CTNString s;
    std::wstring w = Utf8ToWide(text, bytes);
    s.Assign(w.c_str(), w.size());
    return s;
}

std::string CTNString::ToUtf8() const { return WideToUtf8(c_str(), Length()); }

CTNString& CTNString::Assign(const wchar_t* text) {
    return Assign(text, text ? std::wcslen(text) : 0);
}

CTNString& CTNString::Assign(const wchar_t* text, size_t count) {
    if (!text || count == 0) {
        if (body_) Mutable().clear();
        return *this;
    }
    if (body_ && text >= c_str() && text <= c_str() + Length()) {
        // Assigning a part of this string to itself: copy it out first.
        std::wstring part(text, count);
        Mutable() = std::move(part);
        return *this;
    }
    Mutable().assign(text, count);
    return *this;
}

CTNString& CTNString::Append(const wchar_t* text) {
    return Append(text, text ? std::wcslen(text) : 0);
}

CTNString& CTNString::Append(const wchar_t* text, size_t count) {
    if (!text || count == 0) return *this;
    std::wstring part(text, count);  // text may point into this string's own body
    Mutable().append(part);
    return *this;
}

CTNString& CTNString::Append(const CTNString& other) {
    return Append(other.c_str(), other.Length());
}

CTNString& CTNString::Append(wchar_t c) {
    Mutable().push_back(c);
    return *this;
}

CTNString& CTNString::InsertPrefix(const wchar_t* text) {
    if (!text || !*text) return *this;
    std::wstring prefix(text);
    Mutable().insert(0, prefix);
    return *this;
}

bool CTNString::Printf(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const bool ok = VPrintf(format, args);
    va_end(args);
    return ok;
}

bool CTNString::VPrintf(const wchar_t* format, va_list args) {
    if (body_) Mutable().clear();
    if (!format) return false;
    size_t units = kFirstFormatUnits;
    for (;;) {
        auto* buffer = static_cast<wchar_t*>(std::malloc(units * sizeof(wchar_t)));
        if (!buffer) {
            WriteOutOfMemoryNotice();
            return false;
        }
        va_list copy;
        va_copy(copy, args);
        errno = 0;
        const int n = std::vswprintf(buffer, units, format, copy);
        const int formatErrno = errno;
        va_end(copy);
        if (n >= 0 && static_cast<size_t>(n) < units) {
            Assign(buffer, static_cast<size_t>(n));
            std::free(buffer);
            return true;
        }
        std::free(buffer);
        // -1 means either "did not fit" or a conversion that cannot succeed at any size (an
        // argument that is not valid text). Only the first is worth a bigger buffer.
        if (formatErrno == EILSEQ || formatErrno == EINVAL) return false;
        if (units >= kMaxFormattedUnits) return false;
        units *= 2;
    }
}

size_t CTNString::ReverseFind(wchar_t c) const {
    if (!body_) return npos;
    const size_t at = body_->text.rfind(c);
    return at == std::wstring::npos ? npos : at;
}

CTNString CTNString::Mid(size_t start, size_t count) const {
    const size_t len = Length();
    if (start >= len) return CTNString();
    const size_t n = count == npos || count > len - start ? len - start : count;
    if (start == 0 && n == len) return *this;  // whole text: share the body
    return CTNString(c_str() + start, n);
}

const wchar_t* CTNString::c_str() const { return body_ ? body_->text.c_str() : L""; }

size_t CTNString::Length() const { return body_ ? body_->text.size() : 0; }

bool CTNString::operator==(const CTNString& other) const {
    if (body_ == other.body_) return true;
    return Length() == other.Length() && std::wmemcmp(c_str(), other.c_str(), Length()) == 0;
}

int CTNString::ShareCount() const {
    return body_ ? body_->refs.load(std::memory_order_relaxed) : 1;
}
