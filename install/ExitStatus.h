// The program's exit statuses, one per way a run can end. The quiet mode and the wizard both end
// with them, so that a script can tell a refused package from a host that was not found.
#pragma once

enum ExitStatus {
    exitInstalled = 0,
    exitRefused = 1,
    exitWrongCommandLine = 2,
    exitHostNotLocated = 3,
    exitModuleMissing = 4,
    exitCannotWrite = 5,
    exitNoDisplay = 6,
};
