// Loading the downloading module on first use.
#include "platform/OnDemandDownloader.h"

#include <utility>

#include "platform/DownloaderModule.h"

namespace platform {

OnDemandDownloader::OnDemandDownloader(std::string modulePath)
    : modulePath(std::move(modulePath)) {}

OnDemandDownloader::~OnDemandDownloader() = default;

DownloadResult OnDemandDownloader::download(const std::string& address, const std::string& target,
                                            const DownloadProgress& progress) {
    if (!loaded) {
        SharedLibrary& library = module ? *module : module.emplace(modulePath);
        loaded.reset(library.function<DownloaderFactory>(downloaderFactoryName)());
    }
    return loaded->download(address, target, progress);
}

}  // namespace platform
