// The first page's controls, Browse, and Next with its messages; the work behind Next runs off
// the GUI thread.
#include "wizard/qt/CInstallPage1.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "wizard/qt/CInstallSheet.h"
#include "wizard/qt/OffThreadIntake.h"
#include "wizard/qt/UserPrompts.h"

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
        m_sheet.prompts().showMessage(this, *outcome.message, outcome.messageArguments,
                                      QString::fromStdString(loadString(IDS_MESSAGE_CAPTION)),
                                      icon);
    }
    if (outcome.focusSource) {
        m_editSource.setFocus();
    }
    return false;
}

IntakeOutcome CInstallPage1::InstallPackage() {
    const IntakeContext context{
        .downloader = m_sheet.downloader(),
        .downloads = m_sheet.downloads(),
        .installFolder = m_sheet.m_strInstallFolder,
        .progress = {},
    };
    IntakeOutcome outcome = takeSourceOffThread(m_strSource, context, *this);
    m_sheet.m_strTempPath = m_sheet.downloads().lastTarget();
    return outcome;
}

void CInstallPage1::OnBrowse() {
    if (const auto chosen = m_sheet.prompts().choosePackageFile(QApplication::activeWindow())) {
        m_strSource = chosen->toStdString();
        m_editSource.setText(*chosen);
    }
}
