// The INI reader. It scans the text again for each query: descriptors are small and read for
// three keys. It writes nothing and knows no escapes, continuation lines or inline comments.
#include "text/IniFile.h"

#include <cstddef>

#include "text/TextScanning.h"

namespace text {

namespace {

using text::trimmed;

constexpr std::size_t maximumValueLength = 259;  // a 260-byte buffer with its terminator

std::string_view withoutQuotes(std::string_view value) {
    if (value.size() >= 2 && value.front() == value.back() &&
        (value.front() == '"' || value.front() == '\'')) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

std::string cutToBuffer(std::string_view value) {
    return std::string(value.substr(0, maximumValueLength));
}

// The name of a section header line ("[ name ]" -> "name"); a header without its closing
// bracket runs to the end of the line.
std::string_view sectionName(std::string_view line) {
    line.remove_prefix(1);
    return trimmed(line.substr(0, line.find(']')));
}

}  // namespace

IniFile::IniFile(std::string_view text) : text(text) {
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    if (this->text.starts_with(byteOrderMark)) {
        this->text.erase(0, byteOrderMark.size());
    }
}

std::string IniFile::getString(std::string_view section, std::string_view key,
                               std::string_view defaultValue) const {
    text::LineReader lines(text);
    std::string_view line;
    bool inSection = false;
    while (lines.next(line)) {
        line = trimmed(line);
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            if (inSection) {
                break;  // only the first matching section counts
            }
            inSection = text::equalIgnoringAsciiCase(sectionName(line), section);
            continue;
        }
        const auto equals = line.find('=');
        if (!inSection || equals == std::string_view::npos) {
            continue;
        }
        if (text::equalIgnoringAsciiCase(trimmed(line.substr(0, equals)), key)) {
            return cutToBuffer(withoutQuotes(trimmed(line.substr(equals + 1))));
        }
    }
    return cutToBuffer(defaultValue);
}

}  // namespace text
