// Parses registry files as the registry editor exports them and as Wine keeps them. Only the
// keys below HKEY_LOCAL_MACHINE are kept. A line that cannot be understood is skipped rather
// than failing the whole file: the host lookup needs one value and should not be defeated by a
// stray line elsewhere. Deletion entries ("[-key]", "name"=-) and value types other than
// strings, expandable strings, binary and dword are ignored. A file is read in chunks and
// decoded line by line, so that a registry of hundreds of megabytes is read in a few: it is
// never held whole, in either encoding.
#include "text/RegistryFile.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <utility>
#include <vector>

#include "text/TextScanning.h"

namespace text {

namespace {

using text::trimmed;

constexpr std::size_t chunkSize = 64 * 1024;
// Far beyond any real line or value; a longer one is skipped rather than collected.
constexpr std::size_t maximumLineLength = 4 * 1024 * 1024;
constexpr std::string_view machineRoot = "hkey_local_machine\\";

enum class Format { unknown, regedit4, regedit5, wine };

Format formatOf(std::string_view headerLine) {
    headerLine = trimmed(headerLine);
    if (headerLine == "Windows Registry Editor Version 5.00") {
        return Format::regedit5;
    }
    if (headerLine == "REGEDIT4") {
        return Format::regedit4;
    }
    if (headerLine == "WINE REGISTRY Version 2") {
        return Format::wine;
    }
    return Format::unknown;
}

// UTF-16LE to UTF-8, appended to `out`; returns how many bytes were decoded. Unless `atEnd`,
// an odd last byte and a last high surrogate wait for the bytes after them. A surrogate without
// its partner becomes U+FFFD; at the end an odd last byte is dropped.
std::size_t appendUtf8FromUtf16(std::string_view bytes, bool atEnd, std::string& out) {
    constexpr char32_t replacement = 0xFFFD;
    const auto unitAt = [&bytes](std::size_t index) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[2 * index]) |
                                     (static_cast<unsigned char>(bytes[2 * index + 1]) << 8));
    };
    const std::size_t units = bytes.size() / 2;
    std::size_t i = 0;
    for (; i < units; ++i) {
        const char32_t unit = unitAt(i);
        const bool isHigh = unit >= 0xD800 && unit <= 0xDBFF;
        if (isHigh && i + 1 == units && !atEnd) {
            break;
        }
        if (isHigh && i + 1 < units) {
            const char32_t low = unitAt(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                text::appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        text::appendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? replacement : unit);
    }
    return atEnd ? bytes.size() : 2 * i;
}

// The lines of a registry's bytes, LF or CRLF ended, in UTF-8 whichever byte-order mark the
// bytes start with. Only a chunk of the bytes and the current line are held at a time; a line
// longer than maximumLineLength is skipped.
class DecodedLines {
public:
    explicit DecodedLines(const RegistryFile::ByteSource& source)
        : source(source), chunk(chunkSize) {}

    // The view lasts until the next call.
    bool next(std::string_view& line) {
        for (;;) {
            const std::size_t end = decoded.find('\n', lineStart);
            if (end != std::string::npos || ended) {
                if (end == std::string::npos && lineStart == decoded.size()) {
                    return false;
                }
                line = std::string_view(decoded).substr(lineStart, end - lineStart);
                lineStart = end == std::string::npos ? decoded.size() : end + 1;
                if (!line.empty() && line.back() == '\r') {
                    line.remove_suffix(1);
                }
                if (!skippingLongLine) {
                    return true;
                }
                skippingLongLine = false;
                continue;
            }
            if (decoded.size() - lineStart > maximumLineLength) {
                skippingLongLine = true;
                decoded.clear();
                lineStart = 0;
            }
            readMore();
        }
    }

private:
    enum class Encoding { unknown, utf8, utf16 };

    void readMore() {
        decoded.erase(0, lineStart);
        lineStart = 0;
        const std::size_t received = source(chunk.data(), chunk.size());
        ended = received == 0;
        undecoded.append(chunk.data(), received);
        if (encoding == Encoding::unknown && (undecoded.size() >= 3 || ended)) {
            encoding = takeByteOrderMark();
        }
        if (encoding == Encoding::utf16) {
            undecoded.erase(0, appendUtf8FromUtf16(undecoded, ended, decoded));
        } else if (encoding == Encoding::utf8) {
            decoded += undecoded;
            undecoded.clear();
        }
    }

    Encoding takeByteOrderMark() {
        if (undecoded.starts_with("\xFF\xFE")) {
            undecoded.erase(0, 2);
            return Encoding::utf16;
        }
        if (undecoded.starts_with("\xEF\xBB\xBF")) {
            undecoded.erase(0, 3);
        }
        return Encoding::utf8;
    }

    const RegistryFile::ByteSource& source;
    std::vector<char> chunk;
    std::string undecoded;  // bytes read but not decoded yet
    std::string decoded;    // text from lineStart on is not returned yet
    std::size_t lineStart = 0;
    Encoding encoding = Encoding::unknown;
    bool ended = false;
    bool skippingLongLine = false;
};

// Reads a quoted string at the start of `rest` ("a\"b\\c" -> a"b\c), consuming it. Any other
// backslash stays as it is. Nullopt when the closing quote is missing.
std::optional<std::string> takeQuoted(std::string_view& rest) {
    if (rest.empty() || rest.front() != '"') {
        return std::nullopt;
    }
    std::string out;
    for (std::size_t i = 1; i < rest.size(); ++i) {
        const char c = rest[i];
        if (c == '"') {
            rest.remove_prefix(i + 1);
            return out;
        }
        if (c == '\\' && i + 1 < rest.size() && (rest[i + 1] == '\\' || rest[i + 1] == '"')) {
            ++i;
        }
        out += rest[i];
    }
    return std::nullopt;
}

// A number of one to `maximumDigits` hex digits, blanks around it allowed.
std::optional<std::uint32_t> hexNumber(std::string_view digits, std::size_t maximumDigits) {
    digits = trimmed(digits);
    std::uint32_t value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (digits.empty() || digits.size() > maximumDigits || error != std::errc{} ||
        end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return value;
}

// "aa,0b, ff" -> its bytes; nullopt when a byte is not one or two hex digits.
std::optional<std::string> hexBytes(std::string_view list) {
    std::string bytes;
    list = trimmed(list);
    while (!list.empty()) {
        const auto comma = list.find(',');
        const auto byte = hexNumber(list.substr(0, comma), 2);
        if (!byte) {
            return std::nullopt;
        }
        bytes += static_cast<char>(*byte);
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    }
    return bytes;
}

std::string littleEndian(std::uint32_t value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) {
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return bytes;
}

std::string utf8FromUtf16(std::string_view bytes) {
    std::string text;
    appendUtf8FromUtf16(bytes, true, text);
    return text;
}

std::string textUpToTerminator(std::string text) {
    text.resize(std::min(text.size(), text.find('\0')));
    return text;
}

// A value written as `hex(type):` bytes; string bytes are UTF-16LE except in REGEDIT4 files.
std::optional<RegistryValue> typedBytes(unsigned type, std::string bytes, Format format) {
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            return RegistryValue{
                static_cast<RegistryType>(type),
                textUpToTerminator(format == Format::regedit4 ? std::move(bytes)
                                                              : utf8FromUtf16(bytes))};
        case REG_BINARY:
        case REG_DWORD:
        case REG_NONE:
            return RegistryValue{static_cast<RegistryType>(type), std::move(bytes)};
        default:
            return std::nullopt;
    }
}

// The number in a type prefix such as "(2):", consuming it; nullopt when malformed.
std::optional<unsigned> takeTypeNumber(std::string_view& rest) {
    unsigned type = 0;
    if (!rest.starts_with('(')) {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(rest.data() + 1, rest.data() + rest.size(), type, 16);
    if (error != std::errc{} ||
        std::string_view(end, rest.data() + rest.size()).substr(0, 2) != "):") {
        return std::nullopt;
    }
    rest.remove_prefix(static_cast<std::size_t>(end - rest.data()) + 2);
    return type;
}

// The data right of "name=" (hex continuation lines already joined).
std::optional<RegistryValue> parseData(std::string_view data, Format format) {
    if (data.starts_with('"')) {
        auto text = takeQuoted(data);
        if (!text) {
            return std::nullopt;
        }
        return RegistryValue{REG_SZ, std::move(*text)};
    }
    if (data.starts_with("dword:")) {
        const auto number = hexNumber(data.substr(6), 8);
        if (!number) {
            return std::nullopt;
        }
        return RegistryValue{REG_DWORD, littleEndian(*number)};
    }
    if (data.starts_with("hex")) {  // "hex:" is binary, "hex(type):" any type
        data.remove_prefix(3);
        const bool binary = data.starts_with(':');
        data.remove_prefix(binary ? 1 : 0);
        const std::optional<unsigned> type = binary ? REG_BINARY : takeTypeNumber(data);
        auto bytes = type ? hexBytes(data) : std::nullopt;
        if (!bytes) {
            return std::nullopt;
        }
        return typedBytes(*type, std::move(*bytes), format);
    }
    if (data.starts_with("str(")) {  // Wine's readable form of string types
        data.remove_prefix(3);
        const auto type = takeTypeNumber(data);
        auto text = type ? takeQuoted(data) : std::nullopt;
        if (!text || (*type != REG_SZ && *type != REG_EXPAND_SZ)) {
            return std::nullopt;
        }
        return RegistryValue{static_cast<RegistryType>(*type), std::move(*text)};
    }
    return std::nullopt;
}

// A value line, `"name"=data` or `@=data` (the default value, named ""), with the hex
// continuation lines it takes from `lines`; nullopt for any other line.
std::optional<std::pair<std::string, RegistryValue>> takeValue(std::string_view line,
                                                               DecodedLines& lines, Format format) {
    std::string name;
    if (line.starts_with('@')) {
        line.remove_prefix(1);
    } else if (auto quoted = takeQuoted(line)) {
        name = std::move(*quoted);
    } else {
        return std::nullopt;
    }
    line = trimmed(line);
    if (!line.starts_with('=')) {
        return std::nullopt;
    }
    std::string_view data = trimmed(line.substr(1));

    std::string joined;  // hex data continued over several lines, each ending in '\'
    if (data.starts_with("hex") && data.ends_with('\\')) {
        joined = data.substr(0, data.size() - 1);
        std::string_view next;
        while (lines.next(next)) {
            next = trimmed(next);
            const bool continues = next.ends_with('\\');
            if (joined.size() <= maximumLineLength) {
                joined += continues ? next.substr(0, next.size() - 1) : next;
            }
            if (!continues) {
                break;
            }
        }
        if (joined.size() > maximumLineLength) {
            return std::nullopt;
        }
        data = joined;
    }
    auto value = parseData(data, format);
    if (!value) {
        return std::nullopt;
    }
    return std::pair{std::move(name), std::move(*value)};
}

// A section's key name, unescaped: Wine doubles the backslashes between key names.
std::string sectionKeyName(std::string_view name, Format format) {
    if (format != Format::wine) {
        return std::string(name);
    }
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 1 < name.size() && name[i + 1] == '\\') {
            ++i;
        }
        out += name[i];
    }
    return out;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

RegistryKey::QueryResult RegistryKey::queryValue(std::string_view name,
                                                 std::size_t bufferSize) const {
    const auto found = values.find(text::asciiLowerCased(name));
    if (found == values.end()) {
        return {};
    }
    const RegistryValue& value = found->second;
    const bool isText = value.type == REG_SZ || value.type == REG_EXPAND_SZ;
    const std::size_t needed = value.data.size() + (isText ? 1 : 0);
    if (needed >= bufferSize) {
        return {QueryStatus::moreData, {value.type, {}}};
    }
    return {QueryStatus::ok, value};
}

RegistryFile RegistryFile::fromEnvironment(std::span<const std::string_view> keysToKeep) {
    std::set<std::string> wanted;
    for (std::string_view keyPath : keysToKeep) {
        wanted.insert(text::asciiLowerCased(keyPath));
    }
    if (const std::string exported = environment("TOCKIT_REGISTRY"); !exported.empty()) {
        return fromFile(exported, {}, std::nullopt, wanted);
    }
    std::string prefix = environment("WINEPREFIX");
    if (prefix.empty()) {
        const std::string home = environment("HOME");
        if (home.empty()) {
            return {};
        }
        prefix = home + "/.wine";
    }
    return fromFile(prefix + "/system.reg", "HKEY_LOCAL_MACHINE", prefix, wanted);
}

RegistryFile RegistryFile::fromText(std::string_view fileText, std::string_view keyRoot,
                                    std::optional<std::string> winePrefix) {
    const ByteSource source = [&fileText](char* buffer, std::size_t size) {
        const std::size_t count = fileText.copy(buffer, size);
        fileText.remove_prefix(count);
        return count;
    };
    return fromSource(source, keyRoot, std::move(winePrefix), std::nullopt);
}

RegistryFile RegistryFile::fromFile(const std::string& path, std::string_view keyRoot,
                                    std::optional<std::string> winePrefix,
                                    const std::set<std::string>& keysToKeep) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return {};
    }
    std::ifstream in(path, std::ios::binary);
    const ByteSource source = [&in](char* buffer, std::size_t size) {
        in.read(buffer, static_cast<std::streamsize>(size));
        return static_cast<std::size_t>(in.gcount());
    };
    return fromSource(source, keyRoot, std::move(winePrefix), keysToKeep);
}

RegistryFile RegistryFile::fromSource(const ByteSource& source, std::string_view keyRoot,
                                      std::optional<std::string> winePrefix,
                                      const std::optional<std::set<std::string>>& keysToKeep) {
    RegistryFile file;
    file.winePrefix = std::move(winePrefix);

    DecodedLines lines(source);
    std::string_view line;
    if (!lines.next(line)) {
        return file;
    }
    const Format format = formatOf(line);
    if (format == Format::unknown) {
        return file;
    }

    const std::string rootPrefix = keyRoot.empty() ? "" : text::asciiLowerCased(keyRoot) + "\\";
    RegistryKey* key = nullptr;  // the current section's key; null in a section we skip
    while (lines.next(line)) {
        line = trimmed(line);
        if (line.empty() || line.front() == ';' || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            key = nullptr;
            const auto close = line.rfind(']');  // Wine puts a time stamp after the bracket
            if (close == std::string_view::npos) {
                continue;
            }
            const std::string path = rootPrefix + text::asciiLowerCased(sectionKeyName(
                                                      line.substr(1, close - 1), format));
            if (!path.starts_with(machineRoot)) {
                continue;
            }
            std::string keyPath = path.substr(machineRoot.size());
            if (!keysToKeep || keysToKeep->contains(keyPath)) {
                key = &file.keys[std::move(keyPath)];
            }
            continue;
        }
        if (key != nullptr) {
            if (auto named = takeValue(line, lines, format)) {
                key->values.insert_or_assign(text::asciiLowerCased(named->first),
                                             std::move(named->second));
            }
        }
    }
    return file;
}

const RegistryKey* RegistryFile::openKey(std::string_view keyPath) const {
    const auto found = keys.find(text::asciiLowerCased(keyPath));
    return found == keys.end() ? nullptr : &found->second;
}

std::optional<std::string> RegistryFile::mapDrivePath(std::string_view path) const {
    const bool hasDriveLetter = path.size() >= 2 && path[1] == ':' &&
                                text::asciiLower(path[0]) >= 'a' &&
                                text::asciiLower(path[0]) <= 'z';
    if (!hasDriveLetter) {
        return std::string(path);
    }
    if (!winePrefix) {
        return std::nullopt;
    }
    const std::string drive = *winePrefix + "/dosdevices/" + text::asciiLower(path[0]) + ":";
    std::error_code error;
    if (!std::filesystem::is_directory(drive, error)) {
        return std::nullopt;
    }
    std::string rest(path.substr(2));
    std::replace(rest.begin(), rest.end(), '\\', '/');
    rest.erase(0, rest.find_first_not_of('/'));
    return rest.empty() ? drive : drive + "/" + rest;
}

}  // namespace text
