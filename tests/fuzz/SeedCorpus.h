// The seed inputs of each fuzz target, named "archive", "ini" and "registry".
#pragma once

#include <string>
#include <string_view>
#include <vector>

using Seeds = std::vector<std::string>;

// Empty for a name that is not a target's.
Seeds seedsFor(std::string_view target);
