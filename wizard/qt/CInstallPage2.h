// The wizard's second page: the success line for the package installed last, and the button
// that goes back to the first page to install another one.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QWizardPage>
#include <string>

class CInstallSheet;

class CInstallPage2 final : public QWizardPage {
    Q_OBJECT

public:
    explicit CInstallPage2(CInstallSheet& sheet);

    // Rebuilds the success line from the sheet's name of the package installed last.
    void OnSetActive();
    void OnAddAnother();

    std::string m_strMessage;
    QLabel m_labelResult;
    QPushButton m_buttonAddAnother;

private:
    CInstallSheet& m_sheet;
};
