// The wizard's first page: the package's file name or web address, the Browse button, and Next,
// which hands the text to the intake core and shows its verdict. Every decision about the text
// (empty, address, missing file, valid package) belongs to that core, not to this page.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QWizardPage>
#include <string>

#include "install/SourceIntake.h"

class CInstallSheet;

class CInstallPage1 final : public QWizardPage {
    Q_OBJECT

public:
    explicit CInstallPage1(CInstallSheet& sheet);

    // Shows m_strSource again: after a download it is the downloaded copy's path.
    void OnSetActive();
    // True when the package was installed and the wizard may move on.
    bool OnWizardNext();
    void OnBrowse();

    bool validatePage() override { return OnWizardNext(); }

    QLineEdit m_editSource;
    QPushButton m_buttonBrowse;
    std::string m_strSource;

private:
    // Runs the intake of m_strSource on a worker thread, under the wait cursor and with a
    // progress dialog when it takes more than a moment.
    IntakeOutcome InstallPackage();

    CInstallSheet& m_sheet;
};
