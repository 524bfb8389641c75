// An installation without a window: locate the host, take the source as the first page's Next
// would, and report the outcome as one line of text and an exit status. A download stops once
// termination is requested; holding the termination off is the caller's part.
#pragma once

#include <ostream>
#include <string>

#include "platform/DownloadCache.h"
#include "platform/Downloader.h"
#include "text/RegistryFile.h"

// The success line goes to `out`, a refusal to `err`; returns an ExitStatus.
int runQuietInstall(const std::string& source, const text::RegistryFile& registry,
                    platform::Downloader& downloader, platform::DownloadCache& downloads,
                    std::ostream& out, std::ostream& err);
