// The entry point of the downloading module; everything else in the module stays hidden.
#include "platform/DownloaderModule.h"

#include "platform/curl/CurlDownloader.h"

extern "C" [[gnu::visibility("default")]] platform::Downloader* tockit_create_downloader() {
    return new platform::CurlDownloader;
}
