// dlopen and dlsym with their failures turned into CModuleException.
#include "platform/SharedLibrary.h"

#include <dlfcn.h>

#include <utility>

#include "platform/CModuleException.h"

namespace platform {

namespace {

std::string lastLoaderError() {
    const char* error = ::dlerror();
    return error != nullptr ? error : "unknown error";
}

void* open(const std::string& path) {
    // RTLD_LOCAL keeps one module's symbols away from the next one's.
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        throw CModuleException("cannot load module: " + lastLoaderError());
    }
    return handle;
}

}  // namespace

SharedLibrary::SharedLibrary(std::string path)
    : filePath(std::move(path)), handle(open(filePath)) {}

SharedLibrary::~SharedLibrary() {
    ::dlclose(handle);
}

void* SharedLibrary::address(const char* name) const {
    void* found = ::dlsym(handle, name);
    if (found == nullptr) {
        throw CModuleException("module " + filePath + " lacks " + name + ": " + lastLoaderError());
    }
    return found;
}

}  // namespace platform
