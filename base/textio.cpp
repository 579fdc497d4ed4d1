#include "base/textio.h"

namespace zantrel {

TextReader::TextReader(BinaryFile file) : file_(std::move(file)), buf_(4096) {}

int TextReader::Peek() {
    if (pos_ == len_) {
        len_ = file_.Read(buf_);
        pos_ = 0;
        if (len_ == 0)
            return -1;
    }
    return buf_[pos_];
}

int TextReader::Get() {
    int c = Peek();
    if (c >= 0)
        ++pos_;
    return c;
}

bool TextReader::AtEnd() { return Peek() < 0; }

void TextReader::SkipLine() {
    for (;;) {
        int c = Get();
        if (c < 0 || c == '\n')
            return;
        if (c == '\r') {
            if (Peek() == '\n')
                Get();
            return;
        }
    }
}

std::optional<std::int64_t> ParseIntegerToken(std::string_view token) {
    std::size_t i = 0;
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
        negative = token[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < token.size() && token[i] == '$') {
        base = 16;
        ++i;
    } else if (i < token.size() && (token[i] == 'x' || token[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < token.size() && token[i] == '0' &&
               (token[i + 1] == 'x' || token[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == token.size())
        return std::nullopt;
    std::uint64_t value = 0;
    for (; i < token.size(); ++i) {
        char c = token[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        // A 32-bit reader would refuse larger values; keep the same bound.
        if (value > (base == 16 ? 0xFFFFFFFFull : 0x80000000ull))
            return std::nullopt;
    }
    if (base == 10 && !negative && value > 0x7FFFFFFFull)
        return std::nullopt;
    std::int64_t v = static_cast<std::int64_t>(value);
    if (base == 16 && value > 0x7FFFFFFFull)
        v = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    return negative ? -v : v;
}

std::int64_t TextReader::ReadInteger() {
    int c = Peek();
    while (c >= 0 && c <= ' ') {
        Get();
        c = Peek();
    }
    if (c < 0)
        return 0;
    std::string token;
    while (c > ' ' && token.size() < 32) {
        token.push_back(static_cast<char>(Get()));
        c = Peek();
    }
    // A token longer than 32 characters leaves its tail unread; it is no number.
    bool overlong = c > ' ';
    SkipLine();
    auto value = overlong ? std::nullopt : ParseIntegerToken(token);
    if (!value)
        throw IoError(IoInvalidNumber, file_.Path());
    return *value;
}

std::optional<std::string> TextReader::ReadLine() {
    std::string line;
    bool overlong = false;
    for (;;) {
        int c = Get();
        if (c < 0 || c == '\n')
            break;
        if (c == '\r') {
            if (Peek() == '\n')
                Get();
            break;
        }
        // The rest is read on to the line end, but not kept.
        if (line.size() < MaxTextLineLength)
            line.push_back(static_cast<char>(c));
        else
            overlong = true;
    }
    if (overlong)
        return std::nullopt;
    return line;
}

void TextWriter::WriteLine(std::string_view text) {
    file_.Write(text);
    file_.Write("\r\n");
}

} // namespace zantrel
