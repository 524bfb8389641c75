// Small text helpers shared by the readers of hand-written text files and by whoever compares
// names: splitting into lines, trimming blanks, ASCII case folding and UTF-8 encoding. Case
// folding is ASCII only, as the Windows calls this system stands in for compare names; no
// locale is consulted. It does not decode or validate UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

// Without the spaces and tabs around it.
inline std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

inline char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string asciiLowerCased(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = asciiLower(c);
    }
    return lower;
}

inline bool equalIgnoringAsciiCase(std::string_view left, std::string_view right) {
    if (left.size() != right.size()) {
        return false;
    }
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (asciiLower(left[i]) != asciiLower(right[i])) {
            return false;
        }
    }
    return true;
}

inline bool containsIgnoringAsciiCase(std::string_view text, std::string_view part) {
    if (part.size() > text.size()) {
        return false;
    }
    for (std::size_t start = 0; start + part.size() <= text.size(); ++start) {
        if (equalIgnoringAsciiCase(text.substr(start, part.size()), part)) {
            return true;
        }
    }
    return false;
}

// Appends the UTF-8 form of `codePoint`, which the caller has made sure is a scalar value.
inline void appendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// The lines of a text, LF or CRLF ended, without their line ends. Views into the text.
class LineReader {
public:
    explicit LineReader(std::string_view text) : rest(text) {}

    bool next(std::string_view& line) {
        if (rest.empty()) {
            return false;
        }
        const auto end = rest.find('\n');
        line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        return true;
    }

private:
    std::string_view rest;
};

}  // namespace text
