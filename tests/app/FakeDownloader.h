// A downloader that plays a download without a network: it writes a given body to the target
// when it completes, and records the addresses it was asked for.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "platform/Downloader.h"

class FakeDownloader : public platform::Downloader {
public:
    explicit FakeDownloader(platform::DownloadResult result, std::string body = {})
        : result(result), body(std::move(body)) {}

    platform::DownloadResult download(const std::string& address, const std::string& target,
                                      const platform::DownloadProgress&) override {
        addresses.push_back(address);
        if (result == platform::DownloadResult::completed) {
            std::ofstream(target, std::ios::binary) << body;
        }
        return result;
    }

    std::vector<std::string> addresses;

private:
    platform::DownloadResult result;
    std::string body;
};
