// A package descriptor in INI format, read from memory with the rules of the Windows INI
// reader: first matching section, first matching key, both without regard to case.
#pragma once

#include <string>
#include <string_view>

namespace text {

class IniFile {
public:
    explicit IniFile(std::string_view text);

    // GetPrivateProfileStringA: the value cut to 259 bytes, or `defaultValue`.
    std::string getString(std::string_view section, std::string_view key,
                          std::string_view defaultValue = {}) const;

private:
    std::string text;
};

}  // namespace text
