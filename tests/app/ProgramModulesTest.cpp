// Where the modules are looked for: beside the program's own file, or nowhere.
#include <gtest/gtest.h>

#include "app/ProgramModules.h"
#include "platform/CModuleException.h"

namespace {

TEST(ModulePath, IsFoundFromTheProgramsOwnPathOrNotAtAll) {
    EXPECT_TRUE(modulePath(wizardModuleFile, "/opt/t/bin/tockit-installer").starts_with("/opt/t/"));
    for (const char* unknownProgram : {"", "bin/tockit-installer"}) {
        EXPECT_THROW(modulePath(wizardModuleFile, unknownProgram), platform::CModuleException)
            << unknownProgram;
    }
}

}  // namespace
