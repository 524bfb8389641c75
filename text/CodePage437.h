// Code page 437, the OEM code page in which Zip tools store names without the UTF-8 flag.
#pragma once

#include <string>
#include <string_view>

namespace text {

// Every byte of 0x80 and above becomes its UTF-8 character; ASCII stays as it is.
std::string codePage437ToUtf8(std::string_view oemText);

}  // namespace text
