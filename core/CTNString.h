// The core's own wide string: a handle to a shared, reference-counted body that is copied on
// write. Used for paths during the plug-in scan and for log lines; never leaves the library.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cwchar>
#include <string>

class CTNString {
public:
    static constexpr size_t npos = static_cast<size_t>(-1);

    CTNString();
    CTNString(const wchar_t* text);  // NOLINT: implicit from a literal on purpose
    CTNString(const wchar_t* text, size_t count);
    CTNString(const CTNString& other);
    CTNString(CTNString&& other) noexcept;
    CTNString& operator=(const CTNString& other);
    CTNString& operator=(CTNString&& other) noexcept;
    ~CTNString();

    // Text decoded from UTF-8; malformed sequences become U+FFFD.
    static CTNString FromUtf8(const char* text, size_t bytes);
    static CTNString FromUtf8(const std::string& text) {
        return FromUtf8(text.data(), text.size());
    }
    // The text encoded as UTF-8; code points that cannot be encoded become U+FFFD.
    std::string ToUtf8() const;

    CTNString& Assign(const wchar_t* text);
    CTNString& Assign(const wchar_t* text, size_t count);
    CTNString& Append(const wchar_t* text);
    CTNString& Append(const wchar_t* text, size_t count);
    CTNString& Append(const CTNString& other);
    CTNString& Append(wchar_t c);
    // Puts text in front of the current content.
    CTNString& InsertPrefix(const wchar_t* text);

    // printf-style formatting that replaces the content. When no buffer can be obtained for
    // the formatted text, the string is left empty and the out-of-memory notice is written to
    // the debug log. Returns false when the text could not be formatted.
    bool Printf(const wchar_t* format, ...);
    bool VPrintf(const wchar_t* format, va_list args);

    // Index of the last occurrence of c, or npos.
    size_t ReverseFind(wchar_t c) const;
    // Up to count units from index start (clamped to the text).
    CTNString Mid(size_t start, size_t count = npos) const;

    const wchar_t* c_str() const;
    size_t Length() const;
    bool IsEmpty() const { return Length() == 0; }
    bool operator==(const CTNString& other) const;

    // Number of handles sharing this handle's body (1 for an empty string without a body);
    // for tests of the sharing.
    int ShareCount() const;

private:
    struct Body {
        std::atomic<int> refs{1};
        std::wstring text;
    };
    // Makes the body private to this handle before a change, creating one if there is none.
    std::wstring& Mutable();
    void Drop();

    Body* body_ = nullptr;
};
