// The first page's controls, Browse, and Next with its wait cursor, download progress and
// messages.
#include "app/CInstallPage1.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressDialog>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>
#include <memory>

#include "app/CInstallSheet.h"
#include "app/UserPrompts.h"

namespace {

// The wait cursor for one scope, restored however the scope is left.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// The progress of one download, with Cancel. The dialog appears with the first report from the
// downloader, so that a local file never shows it.
class DownloadProgressDialog {
public:
    DownloadProgressDialog(QWidget* owner, const std::string& address)
        : owner(owner), address(address) {}

    // Returns false once the user has pressed Cancel, which stops the download.
    bool report(std::uint64_t received, std::uint64_t total) {
        if (!dialog) {
            open();
        }
        if (total == 0) {
            dialog->setRange(0, 0);  // size unknown: a busy bar
            dialog->setValue(0);
        } else {
            dialog->setRange(0, scale);
            dialog->setValue(static_cast<int>(std::min(received, total) * scale / total));
        }
        QApplication::processEvents();
        return !dialog->wasCanceled();
    }

private:
    static constexpr int scale = 1000;

    void open() {
        dialog = std::make_unique<QProgressDialog>(owner);
        dialog->setWindowTitle(QString::fromStdString(loadString(IDS_MESSAGE_CAPTION)));
        dialog->setLabelText(QString::fromStdString(address));
        dialog->setWindowModality(Qt::WindowModal);
        dialog->setAutoReset(false);
        dialog->setAutoClose(false);
        dialog->setMinimumDuration(0);
        dialog->show();
    }

    QWidget* owner;
    std::string address;
    std::unique_ptr<QProgressDialog> dialog;
};

}  // namespace

CInstallPage1::CInstallPage1(CInstallSheet& sheet)
    : m_buttonBrowse(QStringLiteral("&Browse")), m_sheet(sheet) {
    auto* prompt =
        new QLabel(QStringLiteral("&Web address or file name of Tockit file to install"));
    prompt->setBuddy(&m_editSource);

    auto* browseRow = new QHBoxLayout;
    browseRow->addStretch();
    browseRow->addWidget(&m_buttonBrowse);

    auto* hint =
        new QLabel(QStringLiteral("Enter the file name or Web address of the Tockit's Zip file"));
    auto* example = new QLabel(QStringLiteral(
        "Example:\n\nc:\\temp\\tockit.zip\n\nor\n\nhttp://www.example.com/tockit.zip"));
    example->setTextFormat(Qt::PlainText);

    // Half a line between the groups, so that the gaps follow the font as dialog units do.
    const int groupGap = fontMetrics().height() / 2;
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addWidget(&m_editSource);
    layout->addLayout(browseRow);
    layout->addSpacing(groupGap);
    layout->addWidget(hint);
    layout->addSpacing(groupGap);
    layout->addWidget(example);
    layout->addStretch();

    connect(&m_buttonBrowse, &QPushButton::clicked, this, &CInstallPage1::OnBrowse);
}

void CInstallPage1::OnSetActive() {
    m_editSource.setText(QString::fromStdString(m_strSource));
    // Ready to be typed over, whichever button brought the user back here.
    m_editSource.selectAll();
    m_editSource.setFocus();
}

bool CInstallPage1::OnWizardNext() {
    m_strSource = m_editSource.text().toStdString();
    const IntakeOutcome outcome = InstallPackage();
    m_strSource = outcome.source;
    if (outcome.verdict == IntakeOutcome::installed) {
        m_sheet.m_strAppName = outcome.appName;
        return true;
    }
    if (outcome.message) {
        // The invalid-package message carries no icon; every other refusal carries a warning.
        const auto icon = *outcome.message == IDS_NOT_VALID ? UserPrompts::Icon::none
                                                            : UserPrompts::Icon::warning;
        m_sheet.prompts().showMessage(
            this, *outcome.message, QString::fromStdString(loadString(IDS_MESSAGE_CAPTION)), icon);
    }
    if (outcome.focusSource) {
        m_editSource.setFocus();
    }
    return false;
}

IntakeOutcome CInstallPage1::InstallPackage() {
    const WaitCursor wait;
    DownloadProgressDialog progress(this, m_strSource);
    const IntakeContext context{
        .downloader = m_sheet.downloader(),
        .downloadTarget = m_sheet.m_strTempPath,
        .installFolder = m_sheet.m_strInstallFolder,
        .progress = [&progress](std::uint64_t received,
                                std::uint64_t total) { return progress.report(received, total); },
    };
    return takeSource(m_strSource, context);
}

void CInstallPage1::OnBrowse() {
    if (const auto chosen = m_sheet.prompts().choosePackageFile(QApplication::activeWindow())) {
        m_strSource = chosen->toStdString();
        m_editSource.setText(*chosen);
    }
}
