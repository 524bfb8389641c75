// The wizard: the two pages and the state they share (download target, install folder, name of
// the package installed last). It routes each activation of a page to that page's OnSetActive;
// it knows nothing of packages itself.
#pragma once

#include <QWizard>
#include <string>

#include "wizard/qt/CInstallPage1.h"
#include "wizard/qt/CInstallPage2.h"

class UserPrompts;

namespace platform {
class DownloadCache;
class Downloader;
}  // namespace platform

class CInstallSheet final : public QWizard {
    Q_OBJECT

public:
    enum PageId { sourcePage = 0, donePage = 1 };

    CInstallSheet(UserPrompts& prompts, platform::Downloader& downloader,
                  platform::DownloadCache& downloads, QWidget* parent = nullptr);

    UserPrompts& prompts() const { return m_prompts; }
    platform::Downloader& downloader() const { return m_downloader; }
    platform::DownloadCache& downloads() const { return m_downloads; }

    CInstallPage1 m_page1;
    CInstallPage2 m_page2;
    // The file the last download went to, in the per-user cache (the program's own folder is
    // read-only once installed); empty before the first download.
    std::string m_strTempPath;
    std::string m_strInstallFolder;
    std::string m_strAppName;

private:
    void OnPageActivated(int id);

    UserPrompts& m_prompts;
    platform::Downloader& m_downloader;
    platform::DownloadCache& m_downloads;
};
