// Fuzz target: the registry file reader on arbitrary bytes, read both as an exported file and
// as Wine's system.reg, with the host key opened, its values queried and a path mapped.
#include <cstdint>
#include <string>
#include <string_view>

#include "text/RegistryFile.h"

namespace {

void query(const text::RegistryFile& registry) {
    for (const std::string_view keyPath :
         {std::string_view("Software\\Corvane\\Syndal USB"), std::string_view("software")}) {
        const text::RegistryKey* key = registry.openKey(keyPath);
        if (key == nullptr) {
            continue;
        }
        for (const auto& [name, value] : key->values) {
            (void)key->queryValue(name, 260);
            if (value.type == text::REG_SZ) {
                (void)registry.mapDrivePath(value.data);
            }
        }
        (void)key->queryValue("Path", 260);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    query(text::RegistryFile::fromText(text));
    query(
        text::RegistryFile::fromText(text, "HKEY_LOCAL_MACHINE", std::string("/nonexistent")));
    return 0;
}
