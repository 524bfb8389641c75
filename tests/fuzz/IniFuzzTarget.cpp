// Fuzz target: the INI reader on arbitrary text. The first bytes choose the section and key
// asked for, so that lookups of odd names are explored as well as the descriptor's own.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "text/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t split = bytes.empty() ? 0 : static_cast<unsigned char>(bytes[0]) % 16;
    const std::string_view askedFor =
        bytes.substr(std::min<std::size_t>(1, size), std::min(split, size > 0 ? size - 1 : 0));
    const text::IniFile descriptor(bytes);
    constexpr std::size_t valueLimit = 259;
    for (const std::string_view key :
         {std::string_view("CODE"), std::string_view("PAR"), std::string_view("Name"), askedFor}) {
        if (descriptor.getString("Tockit", key, "<none>").size() > valueLimit ||
            descriptor.getString(askedFor, key).size() > valueLimit) {
            std::abort();
        }
    }
    return 0;
}
