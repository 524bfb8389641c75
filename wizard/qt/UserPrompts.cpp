// Message boxes and the package file dialog on Qt Widgets.
#include "wizard/qt/UserPrompts.h"

#include <QFileDialog>
#include <QMessageBox>

void QtUserPrompts::showMessage(QWidget* owner, StringId message,
                                const std::vector<std::string>& arguments, const QString& caption,
                                Icon icon) {
    QMessageBox box(icon == Icon::warning ? QMessageBox::Warning : QMessageBox::NoIcon, caption,
                    QString::fromStdString(formatMessage(message, arguments)), QMessageBox::Ok,
                    owner);
    box.exec();
}

std::optional<QString> QtUserPrompts::choosePackageFile(QWidget* owner) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(
        {QStringLiteral("Tockit Files (*.zip)"), QStringLiteral("All Files (*)")});
    dialog.setDefaultSuffix(QStringLiteral("zip"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}
