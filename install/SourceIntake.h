// What the first page's Next does with the text the user gave: refuse an empty text, download
// an address into a file from the download cache, test a local path, then install. No window: the
// wizard and the quiet command line both call it and show the outcome in their own way.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "install/PackageInstaller.h"
#include "install/StringTable.h"
#include "platform/DownloadCache.h"
#include "platform/Downloader.h"

// True when the text holds "http://" or "https://", in any letter case.
bool isAddress(std::string_view text);

// True when the path opens for reading as a regular file (a folder, FIFO, device or socket does
// not count); it never waits on a FIFO.
bool FileExists(const std::string& path);

struct IntakeContext {
    platform::Downloader& downloader;
    platform::DownloadCache& downloads;
    std::string installFolder;
    platform::DownloadProgress progress;
    InstallProgress installProgress = {};
};

struct IntakeOutcome {
    enum Verdict { installed, refused, cancelled };
    Verdict verdict = refused;
    // The refusal to show, when refused, and the texts for its %1, %2, ...
    std::optional<StringId> message;
    std::vector<std::string> messageArguments;
    // Whether the source text box takes the focus after the message.
    bool focusSource = false;
    // The text that now stands for the source: the downloaded file after a download.
    std::string source;
    // The installed package's display name.
    std::string appName;
};

IntakeOutcome takeSource(const std::string& text, const IntakeContext& context);
