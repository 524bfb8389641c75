// The registry, read from a text file in the format that the Windows registry editor exports
// and that Wine keeps its registry in. Read only: nothing is ever written.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>

namespace text {

// The value types of the registry, with their Windows numbers.
enum RegistryType { REG_NONE = 0, REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4 };

struct RegistryValue {
    RegistryType type = REG_NONE;
    // The value's bytes: for REG_SZ and REG_EXPAND_SZ the text in UTF-8, without terminator.
    std::string data;
};

// An opened key: its values by name (names matched without regard to case).
class RegistryKey {
public:
    enum class QueryStatus { ok, notFound, moreData };
    struct QueryResult {
        QueryStatus status = QueryStatus::notFound;
        RegistryValue value;
    };

    // RegQueryValueExA: a value that needs `bufferSize` bytes or more, terminator included,
    // does not fit and yields moreData.
    QueryResult queryValue(std::string_view name, std::size_t bufferSize) const;

    // Values by lower-cased name.
    std::map<std::string, RegistryValue> values;
};

class RegistryFile {
public:
    // The file the environment names: $TOCKIT_REGISTRY, else the Wine prefix's system.reg
    // ($WINEPREFIX/system.reg, else ~/.wine/system.reg), with only the keys `keysToKeep` (paths
    // below HKEY_LOCAL_MACHINE): the file is read in chunks, and memory holds no more of it
    // than those keys. A missing or unreadable file opens no key.
    static RegistryFile fromEnvironment(std::span<const std::string_view> keysToKeep);
    // Every key of the text. `keyRoot` is prefixed to the file's section names:
    // "HKEY_LOCAL_MACHINE" for a Wine system.reg, empty for an exported file whose sections
    // carry the root themselves. `winePrefix` is the prefix folder whose dosdevices/ maps drive
    // letters, if any.
    static RegistryFile fromText(std::string_view text, std::string_view keyRoot = {},
                                 std::optional<std::string> winePrefix = std::nullopt);

    // RegOpenKeyA below HKEY_LOCAL_MACHINE, e.g. "Software\\Corvane\\Syndal USB": the key
    // opens when its section is present, even with no values.
    const RegistryKey* openKey(std::string_view keyPath) const;

    // A path that starts with a drive letter, mapped through the Wine prefix's dosdevices/
    // folder ("C:\\x" -> "$WINEPREFIX/dosdevices/c:/x"); nullopt when it cannot be mapped.
    // Any other path comes back unchanged.
    std::optional<std::string> mapDrivePath(std::string_view path) const;

    // Where the bytes of a registry come from: fills the buffer, and returns 0 at the end.
    using ByteSource = std::function<std::size_t(char* buffer, std::size_t size)>;

private:
    static RegistryFile fromFile(const std::string& path, std::string_view keyRoot,
                                 std::optional<std::string> winePrefix,
                                 const std::set<std::string>& keysToKeep);
    // Every key when `keysToKeep` is nullopt; else those named, lower-cased.
    static RegistryFile fromSource(const ByteSource& source, std::string_view keyRoot,
                                   std::optional<std::string> winePrefix,
                                   const std::optional<std::set<std::string>>& keysToKeep);

    // Keys by lower-cased full path below HKEY_LOCAL_MACHINE, `\` separated.
    std::map<std::string, RegistryKey> keys;
    std::optional<std::string> winePrefix;
};

}  // namespace text
