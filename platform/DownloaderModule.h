// The downloading module's one entry point: it makes a CurlDownloader, so that libcurl is
// loaded with the module and not with the program.
#pragma once

#include "platform/Downloader.h"

// Returns a new downloader that the caller owns and deletes while the module is still loaded.
extern "C" platform::Downloader* tockit_create_downloader();

namespace platform {

using DownloaderFactory = Downloader*();
inline constexpr const char* downloaderFactoryName = "tockit_create_downloader";

}  // namespace platform
