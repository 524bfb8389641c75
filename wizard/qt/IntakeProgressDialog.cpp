// The dialog's texts, its bar scaled to a thousand steps so that any size fits an int, and the
// Cancel that only a download honours.
#include "wizard/qt/IntakeProgressDialog.h"

#include <QCloseEvent>
#include <QLocale>
#include <QPushButton>
#include <QShortcut>
#include <algorithm>

#include "install/StringTable.h"

namespace {

QString describe(IntakeProgressDialog::Phase phase, const QString& source, std::uint64_t done,
                 std::uint64_t total) {
    const QLocale locale;
    const QString action = phase == IntakeProgressDialog::Phase::downloading
                               ? QStringLiteral("Downloading %1")
                               : QStringLiteral("Installing %1");
    const QString doneText = locale.formattedDataSize(static_cast<qint64>(done));
    const QString amount =
        total == 0 ? doneText
                   : QStringLiteral("%1 of %2")
                         .arg(doneText, locale.formattedDataSize(static_cast<qint64>(total)));
    return action.arg(source) + QLatin1Char('\n') + amount;
}

}  // namespace

IntakeProgressDialog::IntakeProgressDialog(QWidget* owner, const std::string& source)
    : QProgressDialog(owner),
      source(QString::fromStdString(source)),
      // Found rather than replaced: a replacement button brings a second Escape shortcut, and
      // two of them make Escape ambiguous, so that it does nothing.
      cancelButton(findChild<QPushButton*>()),
      escapeShortcut(findChild<QShortcut*>()) {
    setWindowTitle(QString::fromStdString(loadString(IDS_MESSAGE_CAPTION)));
    setWindowModality(Qt::WindowModal);
    setAutoReset(false);
    setAutoClose(false);
    setMinimumDuration(momentInMilliseconds);
    setLabelText(describe(phase, this->source, 0, 0));
    setRange(0, scale);
    // The clock for minimumDuration starts at the first value that equals the minimum.
    setValue(0);
    connect(this, &QProgressDialog::canceled, this, [this] { cancelled = true; });
}

void IntakeProgressDialog::showProgress(Phase newPhase, std::uint64_t done, std::uint64_t total) {
    if (cancelled) {
        return;  // the dialog is gone for good; a late report must not bring it back
    }
    const bool phaseChanged = newPhase != phase;
    phase = newPhase;
    setLabelText(describe(phase, source, done, total));
    if (phaseChanged) {
        cancelButton->setEnabled(phase == Phase::downloading);
        escapeShortcut->setEnabled(phase == Phase::downloading);
        setValue(minimum());  // the installation's bar starts empty, not where the download's ended
    }
    const int maximum = total == 0 ? 0 : scale;  // 0 to 0 is Qt's busy bar
    const int value = total == 0 ? 0 : static_cast<int>(std::min(done, total) * scale / total);
    if (maximum != this->maximum()) {
        setRange(0, maximum);
    }
    // Setting the minimum again would restart the clock for minimumDuration.
    if (value != this->value()) {
        setValue(value);
    }
}

void IntakeProgressDialog::reject() {
    // Escape reaching the dialog itself rather than its shortcut: the same as Cancel, and only
    // while there is a download to stop.
    if (phase == Phase::downloading) {
        emit canceled();
    }
}

void IntakeProgressDialog::closeEvent(QCloseEvent* event) {
    if (phase == Phase::installing) {
        event->ignore();
        return;
    }
    QProgressDialog::closeEvent(event);
}
