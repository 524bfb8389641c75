// One shared library loaded at run time, for the program's modules, and the entry points looked
// up in it. The library stays loaded while the object lives. It does not search the library
// path: the caller names the file.
#pragma once

#include <string>

namespace platform {

class SharedLibrary {
public:
    // Loads `path` with every symbol resolved now; throws CModuleException on failure.
    explicit SharedLibrary(std::string path);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // The function named `name`, of type `Function` (e.g. `int(int, char**)`); throws
    // CModuleException when the library lacks it. The type is the caller's promise.
    template <typename Function>
    Function* function(const char* name) const {
        return reinterpret_cast<Function*>(address(name));
    }

    const std::string& path() const { return filePath; }

private:
    void* address(const char* name) const;

    std::string filePath;
    void* handle;
};

}  // namespace platform
