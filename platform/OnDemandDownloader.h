// A Downloader that loads the downloading module the first time it is asked to download, and
// then hands every download to the downloader the module made. A program that never fetches an
// address never loads the module, nor libcurl behind it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Downloader.h"
#include "platform/SharedLibrary.h"

namespace platform {

class OnDemandDownloader final : public Downloader {
public:
    explicit OnDemandDownloader(std::string modulePath);
    ~OnDemandDownloader() override;

    // Throws CModuleException when the module cannot be loaded; a later call tries again.
    DownloadResult download(const std::string& address, const std::string& target,
                            const DownloadProgress& progress) override;

private:
    const std::string modulePath;
    // Declared before `loaded`, so that the downloader is deleted while its code is still there.
    std::optional<SharedLibrary> module;
    std::unique_ptr<Downloader> loaded;
};

}  // namespace platform
