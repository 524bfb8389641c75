// The success page's texts and its Add Another button.
#include "wizard/qt/CInstallPage2.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "install/StringTable.h"
#include "wizard/qt/CInstallSheet.h"

namespace {

QLabel* wrappedLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

}  // namespace

CInstallPage2::CInstallPage2(CInstallSheet& sheet)
    : m_labelResult(QStringLiteral("The Tockit was successfully installed.")),
      m_buttonAddAnother(QStringLiteral("&Add Another Tockit")),
      m_sheet(sheet) {
    // The success line carries the package's own name: never read it as markup.
    m_labelResult.setTextFormat(Qt::PlainText);
    m_labelResult.setWordWrap(true);
    // The button takes the focus when the page opens; Enter must still mean Finish.
    m_buttonAddAnother.setAutoDefault(false);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(&m_buttonAddAnother);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(&m_labelResult);
    layout->addWidget(wrappedLabel(
        QStringLiteral("To use the Tockit, click the Add Mode (+) button on the main screen, and "
                       "choose the Tockit from the list of modes."),
        this));
    layout->addWidget(
        wrappedLabel(QStringLiteral("You are then ready to download your new Tockit"), this));
    layout->addStretch();
    layout->addLayout(buttonRow);

    connect(&m_buttonAddAnother, &QPushButton::clicked, this, &CInstallPage2::OnAddAnother);
}

void CInstallPage2::OnSetActive() {
    m_strMessage = formatInstalledMessage(m_sheet.m_strAppName);
    m_labelResult.setText(QString::fromStdString(m_strMessage));
}

void CInstallPage2::OnAddAnother() {
    m_sheet.restart();
}
