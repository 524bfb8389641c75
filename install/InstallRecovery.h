// Putting right what dead installers left in a host folder: the install folder as it was
// before an installation that did not reach its commit point, and no staging folder. It runs
// while the install lock is held, so every staging folder it finds belongs to an installer
// that is gone. It does not finish an interrupted installation: going back is always right.
#pragma once

#include <optional>
#include <string>

#include "platform/Folder.h"

// The install folder `name` in `host`, a link to a folder followed (an administrator may have
// put the installation elsewhere); nullopt when nothing stands there. Throws
// platform::CFileException, ENOTDIR when something other than a folder stands there.
std::optional<platform::Folder> openInstallFolder(const platform::Folder& host,
                                                  const std::string& name);

// Rolls back every journal left in a staging folder of `host`, then removes every staging
// folder. Throws platform::CFileException when something cannot be put back; the staging
// folder that holds it then stays.
void recoverInterruptedInstallations(const platform::Folder& host);
