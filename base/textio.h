// The text-file rules of the settings and session files: integers as tokens,
// strings as whole lines, CR LF line ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/binaryfile.h"

namespace zantrel {

// Longer than any path a system takes.
inline constexpr std::size_t MaxTextLineLength = 32 * 1024;

// Reads a text file by the Conventions: integers as whitespace-delimited
// tokens (then the rest of the line is skipped), strings as whole lines.
// Lines end in CR LF; a lone CR or LF is taken as a line end too.
class TextReader {
public:
    explicit TextReader(BinaryFile file);
    // Skips characters at or below space, takes up to 32 characters as a
    // signed number (decimal, or hex after "$", "x" or "0x") and skips the
    // rest of the line. End of file before a token gives 0; a bad token
    // throws IoError 106 (the rest of its line is skipped first).
    std::int64_t ReadInteger();
    // Everything up to the line end, which is consumed; nullopt for a line
    // longer than MaxTextLineLength, which only a damaged file holds.
    std::optional<std::string> ReadLine();
    bool AtEnd();
    void Close() { file_.Close(); }

private:
    int Peek();
    int Get();
    void SkipLine();
    BinaryFile file_;
    std::vector<std::uint8_t> buf_;
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
};

// Parses a number token as the text reader does; nullopt when it is not one.
std::optional<std::int64_t> ParseIntegerToken(std::string_view token);

class TextWriter {
public:
    explicit TextWriter(BinaryFile file) : file_(std::move(file)) {}
    void Write(std::string_view text) { file_.Write(text); }
    void WriteInteger(std::int64_t value) { file_.Write(std::to_string(value)); }
    void WriteLine(std::string_view text);
    void EndLine() { file_.Write("\r\n"); }
    void Close() { file_.Close(); }

private:
    BinaryFile file_;
};

} // namespace zantrel
