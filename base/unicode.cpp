#include "base/unicode.h"

#ifdef _WIN32
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#endif
#include <algorithm>
#include <cstdio>

namespace zantrel {

namespace {

// The length of the well-formed UTF-8 sequence at text[at], or 0.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the second byte's range
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90; // overlong
        if (lead == 0xF4)
            high = 0x8F; // past U+10FFFF
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF)
            return 0;
    return length;
}

void AppendEscaped(std::string& out, unsigned char c) {
    static const char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[c >> 4];
    out += digits[c & 0xF];
}

std::string Escaped(std::string_view text, bool keepLineEnds) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        const std::size_t length = Utf8Length(text, at);
        // C1 controls are U+0080 to U+009F: 0xC2 0x80 to 0xC2 0x9F.
        const bool control =
            (c < 0x20 && !(keepLineEnds && c == '\n')) || c == 0x7F ||
            (length == 2 && c == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0);
        if (length == 0 || control) {
            for (std::size_t i = 0; i < std::max<std::size_t>(length, 1); ++i)
                AppendEscaped(out, static_cast<unsigned char>(text[at + i]));
            at += std::max<std::size_t>(length, 1);
        } else {
            out.append(text, at, length);
            at += length;
        }
    }
    return out;
}

} // namespace

std::string Printable(std::string_view text) { return Escaped(text, false); }

std::string PrintableLines(std::string_view text) { return Escaped(text, true); }

std::filesystem::path PlainPathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(
        std::u8string_view(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

#ifdef _WIN32

namespace {

constexpr std::wstring_view ExtendedPrefix = L"\\\\?\\";
constexpr std::wstring_view ExtendedUncPrefix = L"\\\\?\\UNC\\";
constexpr std::wstring_view DevicePrefix = L"\\\\.\\";

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool IsDrivePath(std::wstring_view path) {
    return path.size() >= 3 && path[1] == L':' && path[2] == L'\\';
}

// The path with the extended form's prefix taken off, or path itself.
std::wstring_view WithoutExtendedPrefix(std::wstring_view path, std::wstring& unc) {
    if (StartsWith(path, ExtendedUncPrefix)) {
        unc = L"\\\\";
        unc += path.substr(ExtendedUncPrefix.size());
        return unc;
    }
    if (StartsWith(path, ExtendedPrefix) && IsDrivePath(path.substr(ExtendedPrefix.size())))
        return path.substr(ExtendedPrefix.size());
    return path;
}

} // namespace

std::wstring SystemPathFromUtf8(std::string_view utf8) {
    const std::wstring wide = WideFromUtf8(utf8);
    if (wide.empty() || StartsWith(wide, ExtendedPrefix) || StartsWith(wide, DevicePrefix))
        return wide;
    // GetFullPathNameW does all the extended form leaves undone: the current
    // folder or drive, "/" to "\\", "." and "..", as the system would for a
    // path without the prefix. Its own limit is 32767 characters, not 260.
    std::wstring full(std::max<std::size_t>(wide.size() + 1, MAX_PATH), L'\0');
    for (;;) {
        const DWORD n =
            GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n == 0)
            return wide; // the system's own error comes with the call it is used in
        if (n < full.size()) {
            full.resize(n);
            break;
        }
        full.resize(n);
    }
    if (StartsWith(full, ExtendedPrefix) || StartsWith(full, DevicePrefix))
        return full;
    if (StartsWith(full, L"\\\\"))
        return std::wstring(ExtendedUncPrefix) + full.substr(2);
    if (IsDrivePath(full))
        return std::wstring(ExtendedPrefix) + full;
    return full;
}

std::filesystem::path PathFromUtf8(std::string_view utf8) {
    // libstdc++ 12 takes "\\?\C:\a" for a relative path: is_absolute() is
    // false, absolute() gives "C:\?\C:\a", relative() nothing. So only a path
    // the system would refuse plain gets the extended form; MAX_PATH - 12 is
    // the limit for a folder.
    std::filesystem::path path = PlainPathFromUtf8(utf8);
    if (!path.is_absolute() || path.native().size() < MAX_PATH - 12)
        return path;
    return std::filesystem::path(SystemPathFromUtf8(utf8));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
    std::wstring unc;
    const std::u8string text =
        std::filesystem::path(WithoutExtendedPrefix(path.native(), unc)).u8string();
    return std::string(text.begin(), text.end());
}

#else

std::filesystem::path PathFromUtf8(std::string_view utf8) { return PlainPathFromUtf8(utf8); }

std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

#endif

#ifdef _WIN32

std::wstring WideFromUtf8(std::string_view utf8) {
    if (utf8.empty())
        return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string Utf8FromWide(std::wstring_view wide) {
    if (wide.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n,
                        nullptr, nullptr);
    return utf8;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i)
        args.push_back(Utf8FromWide(wide[i]));
    LocalFree(wide);
    return args;
}

void UseUtf8Console() {
    SetConsoleOutputCP(CP_UTF8);
    // Text mode would write CR LF for every "\n": output redirected to a
    // file would differ from the other platforms'.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

#else

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void UseUtf8Console() {}

#endif

} // namespace zantrel
