// The root of every failure that the reader and the file layer raise. Exceptions are thrown by
// value and caught as `const platform::CException&` at the one place that reports them.
#pragma once

#include <exception>

namespace platform {

class CException : public std::exception {
public:
    ~CException() override = default;
};

}  // namespace platform
