// The program's start: locate the host program, then run the wizard modally with its install
// folder. Showing the start-up refusals is all it does itself; the lookup is the core's.
#pragma once

#include <string>

class UserPrompts;

namespace platform {
class DownloadCache;
class Downloader;
}  // namespace platform

namespace text {
class RegistryFile;
}  // namespace text

class CInstallerApp {
public:
    // `initialSource` is the first page's text when the wizard opens. `downloads` outlives the
    // wizard, so that the page can keep showing a downloaded file's path.
    CInstallerApp(UserPrompts& prompts, platform::Downloader& downloader,
                  platform::DownloadCache& downloads, const text::RegistryFile& registry,
                  std::string initialSource);

    // Returns when the wizard has closed, or at once after a start-up message. Always false:
    // nothing runs after it.
    bool InitInstance();

    bool hostLocated() const { return !m_strInstallFolder.empty(); }

    std::string m_strInstallFolder;

private:
    UserPrompts& m_prompts;
    platform::Downloader& m_downloader;
    platform::DownloadCache& m_downloads;
    const text::RegistryFile& m_registry;
    std::string m_strInitialSource;
};
