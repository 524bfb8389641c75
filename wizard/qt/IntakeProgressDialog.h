// The progress of taking one source: the download's bytes, then the installation's, each against
// its total, under the source as the user gave it. It appears only when the work
// lasts more than a moment. Cancel stops a download; an installation cannot be stopped, so
// Cancel is disabled and Escape and closing do nothing then. It lives on the GUI thread; only
// cancelRequested may be read from another thread.
#pragma once

#include <QProgressDialog>
#include <atomic>
#include <cstdint>
#include <string>

class QPushButton;
class QShortcut;

class IntakeProgressDialog final : public QProgressDialog {
public:
    enum class Phase { downloading, installing };

    // How long work runs before the dialog appears.
    static constexpr int momentInMilliseconds = 400;

    IntakeProgressDialog(QWidget* owner, const std::string& source);

    // `total` 0 means the size is not known: the bar then shows that work goes on.
    void showProgress(Phase phase, std::uint64_t done, std::uint64_t total);

    // True once the user has cancelled the download.
    bool cancelRequested() const { return cancelled.load(); }

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    static constexpr int scale = 1000;

    const QString source;
    // The dialog's own Cancel button and Escape shortcut, both owned by it.
    QPushButton* cancelButton;
    QShortcut* escapeShortcut;
    Phase phase = Phase::downloading;
    std::atomic<bool> cancelled = false;
};
