// Text at the boundary with the system. Inside the program every path and
// message is UTF-8; Windows takes paths and the command line as UTF-16, and
// std::filesystem::path built from a plain std::string would read it in the
// ANSI code page there. Every conversion goes through these functions.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zantrel {

// For the file system functions. On Windows an absolute path too long for
// the system's plain form comes back in the extended form (see
// SystemPathFromUtf8), which libstdc++'s path arithmetic gets wrong; others,
// relative ones included, are as given.
std::filesystem::path PathFromUtf8(std::string_view utf8);
// The path as given, never in the extended form: for path arithmetic
// (absolute(), relative(), lexically_normal()).
std::filesystem::path PlainPathFromUtf8(std::string_view utf8);
// Drops the extended form's prefix: paths shown to people never carry it.
std::string Utf8FromPath(const std::filesystem::path& path);

// The command line as UTF-8 strings, program name first. Windows hands main()
// the arguments in the ANSI code page, so they are taken again as wide
// characters there; elsewhere argv is copied.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Text from files as a terminal or a message box may show it: control
// characters (C0, DEL, C1) and bytes that are not UTF-8 become "\x1b" and
// the like, so that a name cannot move the cursor or recolour the terminal;
// the rest is kept. PrintableLines keeps the line ends of a message.
std::string Printable(std::string_view text);
std::string PrintableLines(std::string_view text);

// Console output is UTF-8 bytes with "\n" line ends on every platform.
void UseUtf8Console();

#ifdef _WIN32
std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);
// A path as the system's file functions take it past 260 characters: the
// extended form "\\?\C:\..." or "\\?\UNC\server\share\...". That form is
// passed on unprocessed, so the path is made absolute first, with "\" for "/"
// and its "." and ".." resolved. A device name ("\\.\...", "NUL") stays as it is.
std::wstring SystemPathFromUtf8(std::string_view utf8);
#endif

} // namespace zantrel
