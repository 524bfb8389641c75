// What the first page's Next does with the text the user gave: refuse an empty text, download
// an address to the download target, test a local path, then install. No window: the wizard and
// the quiet command line both call it and show the outcome in their own way.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/PackageInstaller.h"
#include "app/res/StringTable.h"
#include "platform/Downloader.h"

// True when the text holds "http://" or "https://", in any letter case.
bool isAddress(std::string_view text);

// True when the path opens for reading as a file (a folder does not count).
bool FileExists(const std::string& path);

struct IntakeContext {
    platform::Downloader& downloader;
    std::string downloadTarget;
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
    // The text that now stands for the source: the download target after a download.
    std::string source;
    // The installed package's display name.
    std::string appName;
};

IntakeOutcome takeSource(const std::string& text, const IntakeContext& context);
