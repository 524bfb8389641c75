// The worker reaches the GUI thread only through queued calls on the progress dialog, so that no
// widget is touched off the GUI thread; the calls arrive in the order they were made, the last
// one ending the wait.
#include "wizard/qt/OffThreadIntake.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QWidget>
#include <cstdint>
#include <iostream>
#include <mutex>
#include <thread>

#include "platform/CModuleException.h"
#include "wizard/qt/IntakeProgressDialog.h"

namespace {

using Phase = IntakeProgressDialog::Phase;

// The wait cursor for one scope, restored however the scope is left.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Swallows the user's input to one window while it lives: the progress dialog is modal only
// once it shows, and until then Next, Cancel or a close must not start anything else.
class InputBlocker final : public QObject {
public:
    explicit InputBlocker(const QWidget& window) : window(window) {
        QApplication::instance()->installEventFilter(this);
    }
    ~InputBlocker() override { QApplication::instance()->removeEventFilter(this); }
    InputBlocker(const InputBlocker&) = delete;
    InputBlocker& operator=(const InputBlocker&) = delete;

protected:
    bool eventFilter(QObject* target, QEvent* event) override {
        const auto* widget = qobject_cast<const QWidget*>(target);
        if (widget == nullptr || widget->window() != &window || !isUserInput(event->type())) {
            return false;
        }
        event->ignore();  // an ignored close event keeps the window open
        return true;
    }

private:
    static bool isUserInput(QEvent::Type type) {
        switch (type) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::Shortcut:
            case QEvent::ContextMenu:
            case QEvent::TouchBegin:
            case QEvent::TouchUpdate:
            case QEvent::TouchEnd:
            case QEvent::Close:
                return true;
            default:
                return false;
        }
    }

    const QWidget& window;
};

// Carries the worker's newest progress to the dialog. At most one delivery is queued at a time,
// so that a fast worker cannot flood the GUI thread and the dialog always shows the newest
// numbers. The dialog processes events while it shows a value, so a delivery can arrive inside
// another; it is then folded into the outer one instead of nesting deeper.
class ProgressRelay {
public:
    explicit ProgressRelay(IntakeProgressDialog& dialog) : dialog(dialog) {}

    // On the worker.
    void post(Phase phase, std::uint64_t done, std::uint64_t total) {
        {
            const std::lock_guard lock(mutex);
            latest = {phase, done, total};
            if (deliveryQueued) {
                return;
            }
            deliveryQueued = true;
        }
        QMetaObject::invokeMethod(
            &dialog, [this] { deliver(); }, Qt::QueuedConnection);
    }

private:
    struct Report {
        Phase phase = Phase::downloading;
        std::uint64_t done = 0;
        std::uint64_t total = 0;
    };

    // On the GUI thread.
    void deliver() {
        if (delivering) {
            deliverAgain = true;
            return;
        }
        delivering = true;
        do {
            deliverAgain = false;
            Report report;
            {
                const std::lock_guard lock(mutex);
                report = latest;
                deliveryQueued = false;
            }
            dialog.showProgress(report.phase, report.done, report.total);
        } while (deliverAgain);
        delivering = false;
    }

    IntakeProgressDialog& dialog;
    std::mutex mutex;
    Report latest;                // guarded by `mutex`
    bool deliveryQueued = false;  // guarded by `mutex`
    bool delivering = false;
    bool deliverAgain = false;
};

IntakeOutcome refusedForMissingModule(const std::string& text,
                                      const platform::CModuleException& failure) {
    std::cerr << "tockit-installer: " << failure.what() << '\n';
    IntakeOutcome outcome;
    outcome.message = IDS_DOWNLOAD_FAILED;
    outcome.source = text;
    return outcome;
}

}  // namespace

IntakeOutcome takeSourceOffThread(const std::string& text, IntakeContext context, QWidget& owner) {
    const WaitCursor wait;
    const InputBlocker blocker(*owner.window());
    IntakeProgressDialog dialog(&owner, text);
    ProgressRelay relay(dialog);
    context.progress = [&](std::uint64_t received, std::uint64_t total) {
        relay.post(Phase::downloading, received, total);
        return !dialog.cancelRequested();
    };
    context.installProgress = [&](std::uint64_t written, std::uint64_t total) {
        relay.post(Phase::installing, written, total);
    };

    QEventLoop loop;
    IntakeOutcome outcome;
    std::thread worker([&] {
        try {
            outcome = takeSource(text, context);
        } catch (const platform::CModuleException& failure) {
            outcome = refusedForMissingModule(text, failure);
        }
        QMetaObject::invokeMethod(
            &dialog, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    return outcome;
}
