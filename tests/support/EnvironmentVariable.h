// Sets (or unsets) an environment variable for the lifetime of one test and restores the
// previous state afterwards. Not thread-safe, like setenv itself: use it only from the test's
// own thread while nothing else reads the environment.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace testsupport {

class EnvironmentVariable {
public:
    // A null `value` unsets the variable.
    EnvironmentVariable(const char* name, const char* value) : name(name) {
        if (const char* old = std::getenv(name)) {
            previous = old;
        }
        set(name, value);
    }
    ~EnvironmentVariable() { set(name.c_str(), previous ? previous->c_str() : nullptr); }
    EnvironmentVariable(const EnvironmentVariable&) = delete;
    EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

private:
    static void set(const char* name, const char* value) {
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }

    const std::string name;
    std::optional<std::string> previous;
};

}  // namespace testsupport
