// A part of the program that could not be loaded: its file is missing or broken, or it lacks
// the entry point looked up in it. The text names the file and the loader's reason; it is
// meant for the one error line the program prints before it gives up.
#pragma once

#include <string>
#include <utility>

#include "platform/CException.h"

namespace platform {

class CModuleException : public CException {
public:
    explicit CModuleException(std::string message) : message(std::move(message)) {}

    const char* what() const noexcept override { return message.c_str(); }

private:
    std::string message;
};

}  // namespace platform
