// Sets (or, given null, unsets) an environment variable for one test's lifetime and restores it
// afterwards. Like setenv itself, only for the test's own thread while nothing else reads it.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace testsupport {

class EnvironmentVariable {
public:
    EnvironmentVariable(const char* name, const char* value) : name(name) {
        if (const char* old = std::getenv(name)) {
            previous = old;
        }
        set(value);
    }
    ~EnvironmentVariable() { set(previous ? previous->c_str() : nullptr); }

private:
    void set(const char* value) {
        value ? ::setenv(name.c_str(), value, 1) : ::unsetenv(name.c_str());
    }

    const std::string name;
    std::optional<std::string> previous;
};

}  // namespace testsupport
