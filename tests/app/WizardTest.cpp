// The wizard as a user drives it: page flow, buttons, texts, the messages it shows and where the
// focus goes, and the work behind Next, which runs on a worker thread while the wizard keeps
// painting under the wait cursor and a progress dialog. Messages and the file dialog are
// recorded and answered through the prompts seam; downloads come from a fake downloader that
// holds the worker until the test lets it go on, or from the loopback server.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QProgressDialog>
#include <QTimer>
#include <QtTest/QTest>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "wizard/qt/CInstallSheet.h"
#include "wizard/qt/CInstallerApp.h"
#include "install/HostLocator.h"
#include "wizard/qt/IntakeProgressDialog.h"
#include "wizard/qt/UserPrompts.h"
#include "platform/curl/CurlDownloader.h"
#include "platform/OnDemandDownloader.h"
#include "text/RegistryFile.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ZipArchiveBuilder.h"

namespace {

using Icon = UserPrompts::Icon;
using testsupport::ScratchFolder;

struct ShownMessage {
    StringId message;
    QString caption;
    Icon icon;
    QWidget* owner;
    std::vector<std::string> arguments;
};

class RecordingPrompts final : public UserPrompts {
public:
    void showMessage(QWidget* owner, StringId message, const std::vector<std::string>& arguments,
                     const QString& caption, Icon icon) override {
        shown.push_back({message, caption, icon, owner, arguments});
    }
    std::optional<QString> choosePackageFile(QWidget*) override {
        ++fileDialogs;
        return fileAnswer;
    }

    std::vector<ShownMessage> shown;
    int fileDialogs = 0;
    std::optional<QString> fileAnswer;
};

// Lets a worker thread wait until the test's GUI thread releases it; a time limit turns a test
// that never releases into a failure instead of a hang.
class Gate {
public:
    void release() {
        const std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }
    bool wait() {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [this] { return released; });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
};

// Reports progress at the start, waits at `gate` when told to hold, reports the end, then writes
// `body` to the target unless it was told to fail or was cancelled. Runs on the worker thread;
// the test reads what it recorded only after Next has returned.
class FakeDownloader final : public platform::Downloader {
public:
    platform::DownloadResult download(const std::string& address, const std::string& target,
                                      const platform::DownloadProgress& progress) override {
        addresses.push_back(address);
        if (!progress(0, body.size())) {
            return platform::DownloadResult::cancelled;
        }
        if (hold) {
            EXPECT_TRUE(gate.wait()) << "the test never let the download go on";
        }
        if (!progress(body.size(), body.size())) {
            return platform::DownloadResult::cancelled;
        }
        if (fails) {
            return platform::DownloadResult::failed;
        }
        std::ofstream(target, std::ios::binary) << body;
        return platform::DownloadResult::completed;
    }

    std::string body;
    bool fails = false;
    bool hold = false;
    Gate gate;
    std::vector<std::string> addresses;
};

std::string packageBytes(const std::string& name) {
    return ZipArchiveBuilder()
        .addFile("mode.app", "[Tockit]\r\nCODE=mode.bin\r\nPAR=mode.par\r\nName=" + name + "\r\n")
        .addFile("mode.bin", "code")
        .addFile("mode.par", "parameters")
        .build();
}

std::vector<QString> labelTexts(const QWidget& page) {
    std::vector<QString> texts;
    for (const QLabel* label : page.findChildren<QLabel*>()) {
        texts.push_back(label->text());
    }
    return texts;
}

class WizardTest : public testing::Test {
protected:
    WizardTest() {
        sheet.m_strInstallFolder = scratch.pathOf("Syndal\\App");
        sheet.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&sheet));
    }

    std::string writePackage(const std::string& fileName, const std::string& displayName) {
        return scratch.writeFile(fileName, packageBytes(displayName));
    }

    // Types `text` into the first page and presses Next; returns when Next's work is done.
    static void next(const std::string& text, CInstallSheet& on) {
        on.m_page1.m_editSource.setText(QString::fromStdString(text));
        QTest::mouseClick(on.button(QWizard::NextButton), Qt::LeftButton);
    }
    void next(const std::string& text) { next(text, sheet); }

    // Calls `action` on the GUI thread, while Next's work goes on, as soon as `ready` holds.
    void when(std::function<bool()> ready, std::function<void()> action) {
        auto& timer = *timers.emplace_back(std::make_unique<QTimer>());
        QObject::connect(&timer, &QTimer::timeout, [&timer, ready, action] {
            if (ready()) {
                timer.stop();
                action();
            }
        });
        timer.start(5);
    }
    // A shown sheet like `sheet`, with its install folder and download cache, that downloads
    // through `downloader`.
    std::unique_ptr<CInstallSheet> sheetDownloadingWith(platform::Downloader& downloader) {
        auto other = std::make_unique<CInstallSheet>(prompts, downloader, downloads);
        other->m_strInstallFolder = sheet.m_strInstallFolder;
        other->show();
        return other;
    }
    // The progress dialog of `on`, once it is on screen.
    static QProgressDialog* shownProgress(const CInstallSheet& on) {
        auto* dialog = on.findChild<QProgressDialog*>();
        return dialog != nullptr && dialog->isVisible() ? dialog : nullptr;
    }
    void whenProgressShows(std::function<void(QProgressDialog&)> action) {
        when([this] { return shownProgress(sheet) != nullptr; },
             [this, action] { action(*shownProgress(sheet)); });
    }

    ScratchFolder scratch;
    RecordingPrompts prompts;
    FakeDownloader downloader;
    platform::DownloadCache downloads{scratch.pathOf("cache")};
    CInstallSheet sheet{prompts, downloader, downloads};
    std::vector<std::unique_ptr<QTimer>> timers;
};

TEST_F(WizardTest, FirstPageShowsItsTextsWithNextEnabledAndBackDisabledAndNoHelp) {
    EXPECT_EQ(sheet.currentId(), CInstallSheet::sourcePage);
    EXPECT_EQ(sheet.windowTitle(), "Tockit Installer 1.0.0.11");
    EXPECT_FALSE(sheet.button(QWizard::BackButton)->isEnabled());
    EXPECT_TRUE(sheet.button(QWizard::NextButton)->isVisible());
    EXPECT_TRUE(sheet.button(QWizard::NextButton)->isEnabled());
    EXPECT_FALSE(sheet.button(QWizard::HelpButton)->isVisible());
    EXPECT_FALSE(sheet.button(QWizard::FinishButton)->isVisible());
    EXPECT_FALSE(sheet.pixmap(QWizard::WatermarkPixmap).isNull());

    const std::vector<QString> expected{
        "&Web address or file name of Tockit file to install",
        "Enter the file name or Web address of the Tockit's Zip file",
        "Example:\n\nc:\\temp\\tockit.zip\n\nor\n\nhttp://www.example.com/tockit.zip",
    };
    EXPECT_EQ(labelTexts(sheet.m_page1), expected);
    EXPECT_EQ(sheet.m_page1.findChild<QLabel*>()->buddy(), &sheet.m_page1.m_editSource);
    EXPECT_EQ(sheet.m_page1.m_buttonBrowse.text(), "&Browse");
}

TEST_F(WizardTest, InstalledPackageLeadsToSecondPageWithItsNameAndBackAndFinish) {
    next(writePackage("mode.zip", "Mode X"));

    ASSERT_EQ(sheet.currentId(), CInstallSheet::donePage);
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_TRUE(sheet.button(QWizard::BackButton)->isEnabled());
    EXPECT_TRUE(sheet.button(QWizard::FinishButton)->isVisible());
    EXPECT_FALSE(sheet.button(QWizard::NextButton)->isVisible());
    EXPECT_FALSE(sheet.button(QWizard::HelpButton)->isVisible());
    const std::vector<QString> expected{
        "The Mode X Tockit was successfully installed!",
        "To use the Tockit, click the Add Mode (+) button on the main screen, and choose the "
        "Tockit from the list of modes.",
        "You are then ready to download your new Tockit",
    };
    EXPECT_EQ(labelTexts(sheet.m_page2), expected);
    EXPECT_EQ(sheet.m_page2.m_buttonAddAnother.text(), "&Add Another Tockit");
    EXPECT_EQ(ScratchFolder::readFile(scratch.pathOf("Syndal/App/mode.bin")), "code");
}

TEST_F(WizardTest, EachRefusalKeepsFirstPageWithItsMessageIconAndFocus) {
    scratch.writeFile("not-a-zip.zip", "plain text");
    struct Case {
        std::string text;
        bool downloadFails;
        StringId message;
        Icon icon;
        bool focusOnSource;
    };
    const std::vector<Case> cases{
        {"", false, IDS_SOURCE_REQUIRED, Icon::warning, true},
        {"   ", false, IDS_FILE_MISSING, Icon::warning, true},
        {scratch.pathOf("missing.zip"), false, IDS_FILE_MISSING, Icon::warning, true},
        {scratch.path(), false, IDS_FILE_MISSING, Icon::warning, true},
        {scratch.pathOf("not-a-zip.zip"), false, IDS_NOT_VALID, Icon::none, false},
        {"http://127.0.0.1:1/tockit.zip", true, IDS_DOWNLOAD_FAILED, Icon::warning, false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.text);
        prompts.shown.clear();
        downloader.fails = test.downloadFails;
        next(test.text);

        EXPECT_EQ(sheet.currentId(), CInstallSheet::sourcePage);
        ASSERT_EQ(prompts.shown.size(), 1u);
        EXPECT_EQ(prompts.shown[0].message, test.message);
        EXPECT_EQ(prompts.shown[0].caption, "Tockit Installer");
        EXPECT_EQ(prompts.shown[0].icon, test.icon);
        EXPECT_EQ(prompts.shown[0].owner, &sheet.m_page1);
        QWidget* focusAfterClick = sheet.button(QWizard::NextButton);
        EXPECT_EQ(sheet.focusWidget(),
                  test.focusOnSource ? &sheet.m_page1.m_editSource : focusAfterClick);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
}

TEST_F(WizardTest, PlaceThatCannotBeWrittenIsNamedInAWarningInsteadOfThePackage) {
    scratch.writeFile("Syndal", "a file where the host folder belongs");
    next(writePackage("t.zip", "T"));

    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].message, IDS_CANNOT_WRITE);
    EXPECT_EQ(prompts.shown[0].arguments,
              (std::vector<std::string>{scratch.pathOf("Syndal"), std::strerror(ENOTDIR)}));
    EXPECT_EQ(prompts.shown[0].icon, Icon::warning);
}

TEST_F(WizardTest, ReturningToFirstPageShowsTheSourceOfTheLastInstallation) {
    const std::string localPackage = writePackage("local.zip", "Local");
    downloader.body = packageBytes("Downloaded");
    const std::string address = "http://www.example.com/tockit.zip";
    struct Case {
        std::string typed;
        std::string shownAgain;
        bool viaAddAnother;
    };
    const std::vector<Case> cases{
        {localPackage, localPackage, false},
        {localPackage, localPackage, true},
        {address, "", false},  // empty: the downloaded file
        {address, "", true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.typed + (test.viaAddAnother ? " via Add Another" : " via Back"));
        next(test.typed);
        ASSERT_EQ(sheet.currentId(), CInstallSheet::donePage);
        if (test.viaAddAnother) {
            QTest::mouseClick(&sheet.m_page2.m_buttonAddAnother, Qt::LeftButton);
        } else {
            QTest::mouseClick(sheet.button(QWizard::BackButton), Qt::LeftButton);
        }
        EXPECT_EQ(sheet.currentId(), CInstallSheet::sourcePage);
        const std::string shown = sheet.m_page1.m_editSource.text().toStdString();
        EXPECT_EQ(shown, test.shownAgain.empty() ? sheet.m_strTempPath : test.shownAgain);
        EXPECT_TRUE(std::filesystem::is_regular_file(shown)) << shown;
        EXPECT_FALSE(sheet.button(QWizard::BackButton)->isEnabled());
    }
}

TEST_F(WizardTest, AddAnotherThenNextInstallsAgainAndRebuildsTheSuccessLine) {
    next(writePackage("first.zip", "First"));
    QTest::mouseClick(&sheet.m_page2.m_buttonAddAnother, Qt::LeftButton);
    next(sheet.m_page1.m_editSource.text().toStdString());
    ASSERT_EQ(sheet.currentId(), CInstallSheet::donePage);
    QTest::mouseClick(&sheet.m_page2.m_buttonAddAnother, Qt::LeftButton);
    next(writePackage("second.zip", "Second"));

    ASSERT_EQ(sheet.currentId(), CInstallSheet::donePage);
    EXPECT_EQ(sheet.m_page2.m_labelResult.text(), "The Second Tockit was successfully installed!");
}

TEST_F(WizardTest, FinishCancelOrEnterCloseSecondPageAndTheInstalledFilesStay) {
    // Enter goes to the focused Add Another button, and must still finish.
    const std::vector<std::pair<std::function<void()>, QDialog::DialogCode>> closings{
        {[&] { QTest::mouseClick(sheet.button(QWizard::FinishButton), Qt::LeftButton); },
         QDialog::Accepted},
        {[&] { QTest::mouseClick(sheet.button(QWizard::CancelButton), Qt::LeftButton); },
         QDialog::Rejected},
        {[&] { QTest::keyClick(&sheet.m_page2.m_buttonAddAnother, Qt::Key_Return); },
         QDialog::Accepted},
    };
    for (const auto& [close, expectedResult] : closings) {
        sheet.show();
        sheet.restart();
        next(writePackage("mode.zip", "Mode"));
        ASSERT_EQ(sheet.currentId(), CInstallSheet::donePage);
        close();

        EXPECT_FALSE(sheet.isVisible());
        EXPECT_EQ(sheet.result(), expectedResult);
        EXPECT_EQ(ScratchFolder::readFile(scratch.pathOf("Syndal/App/mode.par")), "parameters");
    }
}

TEST_F(WizardTest, BrowseFillsTheTextAndCancelLeavesIt) {
    sheet.m_page1.m_editSource.setText("typed");
    QTest::mouseClick(&sheet.m_page1.m_buttonBrowse, Qt::LeftButton);
    EXPECT_EQ(prompts.fileDialogs, 1);
    EXPECT_EQ(sheet.m_page1.m_editSource.text(), "typed");

    prompts.fileAnswer = "/home/user/My Tockit.zip";
    QTest::mouseClick(&sheet.m_page1.m_buttonBrowse, Qt::LeftButton);
    EXPECT_EQ(sheet.m_page1.m_editSource.text(), "/home/user/My Tockit.zip");
    EXPECT_EQ(sheet.m_page1.m_strSource, "/home/user/My Tockit.zip");
}

TEST_F(WizardTest, LongDownloadShowsModalProgressUnderTheWaitCursorAndCleansUpAfter) {
    downloader.body = packageBytes("Downloaded");
    downloader.hold = true;
    bool inspected = false;
    whenProgressShows([&](QProgressDialog& progress) {
        inspected = true;
        EXPECT_TRUE(
            progress.labelText().startsWith("Downloading http://www.example.com/tockit.zip\n"))
            << progress.labelText().toStdString();
        EXPECT_EQ(progress.windowModality(), Qt::WindowModal);
        EXPECT_TRUE(progress.findChild<QPushButton*>()->isEnabled());
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        EXPECT_EQ(sheet.currentId(), CInstallSheet::sourcePage);
        downloader.gate.release();
    });
    next("http://www.example.com/tockit.zip");

    EXPECT_TRUE(inspected);
    EXPECT_EQ(sheet.currentId(), CInstallSheet::donePage);
    EXPECT_EQ(sheet.findChild<QProgressDialog*>(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WizardTest, ShortWorkShowsNoProgressDialog) {
    bool progressEverShown = false;
    when([&] { return shownProgress(sheet) != nullptr; }, [&] { progressEverShown = true; });
    next(writePackage("mode.zip", "Mode"));

    EXPECT_EQ(sheet.currentId(), CInstallSheet::donePage);
    EXPECT_FALSE(progressEverShown);
}

TEST_F(WizardTest, CancelledDownloadKeepsFirstPageWithoutMessage) {
    const std::vector<std::pair<const char*, std::function<void(QProgressDialog&)>>> cancels{
        {"Cancel button",
         [](QProgressDialog& progress) {
             QTest::mouseClick(progress.findChild<QPushButton*>(), Qt::LeftButton);
         }},
        {"Escape",
         [](QProgressDialog& progress) {
             progress.activateWindow();
             EXPECT_TRUE(QTest::qWaitForWindowActive(&progress));
             QTest::keyClick(&progress, Qt::Key_Escape);
         }},
        {"closing the dialog", [](QProgressDialog& progress) { progress.close(); }},
    };
    for (const auto& [way, cancel] : cancels) {
        SCOPED_TRACE(way);
        FakeDownloader held;
        held.body = packageBytes("Never");
        held.hold = true;
        const auto heldSheetOwner = sheetDownloadingWith(held);
        CInstallSheet& heldSheet = *heldSheetOwner;
        when([&] { return shownProgress(heldSheet) != nullptr; },
             [&] {
                 cancel(*shownProgress(heldSheet));
                 held.gate.release();
             });
        next("http://www.example.com/tockit.zip", heldSheet);

        EXPECT_EQ(heldSheet.currentId(), CInstallSheet::sourcePage);
        EXPECT_TRUE(prompts.shown.empty());
        EXPECT_EQ(heldSheet.m_page1.m_editSource.text(), "http://www.example.com/tockit.zip");
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
}

TEST_F(WizardTest, WizardIgnoresClicksAndKeysWhileItWorks) {
    downloader.body = packageBytes("Downloaded");
    downloader.hold = true;
    when([] { return true; },
         [&] {
             // Before the progress dialog shows, nothing makes the wizard modal but the page.
             QTest::mouseClick(sheet.button(QWizard::CancelButton), Qt::LeftButton);
             QTest::mouseClick(sheet.button(QWizard::NextButton), Qt::LeftButton);
             QTest::keyClick(&sheet.m_page1.m_editSource, Qt::Key_Return);
             QTest::keyClick(&sheet, Qt::Key_Escape);
             sheet.close();
             EXPECT_TRUE(sheet.isVisible());
             downloader.gate.release();
         });
    next("http://www.example.com/tockit.zip");

    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(sheet.currentId(), CInstallSheet::donePage);
    EXPECT_EQ(downloader.addresses.size(), 1u);
}

TEST_F(WizardTest, InstallationReportsRisingBytesToTheDialog) {
    // A few large entries, so that the installation reports more than once.
    const std::string big(3 << 20, 'b');
    downloader.body =
        ZipArchiveBuilder()
            .addFile("mode.app", "[Tockit]\r\nCODE=a.bin\r\nPAR=b.bin\r\nName=Big\r\n")
            .addFile("a.bin", big)
            .addFile("b.bin", big)
            .addFile("c.bin", big)
            .build();
    downloader.hold = true;
    std::vector<int> installValues;
    QStringList installLabels;
    when([&] { return sheet.findChild<QProgressDialog*>() != nullptr; },
         [&] {
             auto* progress = sheet.findChild<QProgressDialog*>();
             QObject::connect(progress->findChild<QProgressBar*>(), &QProgressBar::valueChanged,
                              [&, progress](int value) {
                                  if (progress->labelText().startsWith("Installing ")) {
                                      installValues.push_back(value);
                                      installLabels.push_back(progress->labelText());
                                  }
                              });
             downloader.gate.release();
         });
    next("http://www.example.com/tockit.zip");

    ASSERT_EQ(sheet.currentId(), CInstallSheet::donePage);
    ASSERT_FALSE(installValues.empty());
    EXPECT_TRUE(std::ranges::is_sorted(installValues));
    EXPECT_TRUE(installLabels.back().startsWith("Installing http://www.example.com/tockit.zip\n"));
    EXPECT_TRUE(installLabels.back().endsWith(" of 9.00 MiB"))
        << installLabels.back().toStdString();
}

TEST_F(WizardTest, MissingDownloadingModuleIsAFailedDownload) {
    platform::OnDemandDownloader withoutModule(scratch.pathOf("missing/downloader.so"));
    const auto modulelessOwner = sheetDownloadingWith(withoutModule);
    CInstallSheet& moduleless = *modulelessOwner;
    testing::internal::CaptureStderr();
    next("http://127.0.0.1:1/tockit.zip", moduleless);
    const std::string errorLine = testing::internal::GetCapturedStderr();

    EXPECT_EQ(moduleless.currentId(), CInstallSheet::sourcePage);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].message, IDS_DOWNLOAD_FAILED);
    EXPECT_TRUE(errorLine.starts_with("tockit-installer: cannot load module: ")) << errorLine;
    EXPECT_NE(errorLine.find("missing/downloader.so"), std::string::npos) << errorLine;
}

TEST_F(WizardTest, TricklingDownloadRaisesTheBarWhileTheGuiThreadKeepsRunning) {
    testsupport::LoopbackHttpServer server;
    server.serveTrickle("/slow.zip", packageBytes("Trickled"), std::chrono::milliseconds(1500), 15);
    platform::CurlDownloader curl;
    const auto curlSheetOwner = sheetDownloadingWith(curl);
    CInstallSheet& curlSheet = *curlSheetOwner;

    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    std::vector<int> downloadValues;
    when([&] { return curlSheet.findChild<QProgressDialog*>() != nullptr; },
         [&] {
             auto* progress = curlSheet.findChild<QProgressDialog*>();
             QObject::connect(progress->findChild<QProgressBar*>(), &QProgressBar::valueChanged,
                              [&, progress](int value) {
                                  if (progress->labelText().startsWith("Downloading ")) {
                                      downloadValues.push_back(value);
                                  }
                              });
         });
    bool progressShown = false;
    when([&] { return shownProgress(curlSheet) != nullptr; }, [&] { progressShown = true; });
    next(server.url("/slow.zip"), curlSheet);

    EXPECT_EQ(curlSheet.currentId(), CInstallSheet::donePage);
    EXPECT_TRUE(progressShown);
    EXPECT_GE(downloadValues.size(), 3u);
    EXPECT_TRUE(std::ranges::is_sorted(downloadValues));
    EXPECT_LT(downloadValues.front(), downloadValues.back());
    // The GUI thread ran its timers all along: 1.5 s of 10 ms ticks, with room for a slow machine.
    EXPECT_GE(ticks, 40);
}

struct DialogCase {
    const char* behaviour;
    IntakeProgressDialog::Phase phase;
    std::uint64_t done;
    std::uint64_t total;
    QString label;
    int maximum;
    int value;
    bool cancelEnabled;
};

TEST(IntakeProgressDialogTest, ShowsBytesAgainstTotalAndOnlyADownloadCanBeCancelled) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    using Phase = IntakeProgressDialog::Phase;
    const std::vector<DialogCase> cases{
        {"download of known size", Phase::downloading, 1 << 20, 4 << 20,
         "Downloading http://x/t.zip\n1.00 MiB of 4.00 MiB", 1000, 250, true},
        {"download of unknown size", Phase::downloading, 1536, 0,
         "Downloading http://x/t.zip\n1.50 KiB", 0, 0, true},
        {"installation", Phase::installing, 3 << 20, 4 << 20,
         "Installing http://x/t.zip\n3.00 MiB of 4.00 MiB", 1000, 750, false},
        {"more than the total", Phase::installing, 5 << 20, 4 << 20,
         "Installing http://x/t.zip\n5.00 MiB of 4.00 MiB", 1000, 1000, false},
    };
    for (const DialogCase& test : cases) {
        SCOPED_TRACE(test.behaviour);
        IntakeProgressDialog dialog(nullptr, "http://x/t.zip");
        dialog.showProgress(test.phase, test.done, test.total);
        EXPECT_EQ(dialog.labelText(), test.label);
        EXPECT_EQ(dialog.maximum(), test.maximum);
        EXPECT_EQ(dialog.value(), test.value);
        EXPECT_EQ(dialog.findChild<QPushButton*>()->isEnabled(), test.cancelEnabled);

        // Escape, to the active dialog or to the dialog alone, and closing cancel exactly when
        // Cancel is enabled.
        dialog.show();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_EQ(dialog.cancelRequested(), test.cancelEnabled);
        dialog.reject();
        EXPECT_EQ(dialog.cancelRequested(), test.cancelEnabled);
        dialog.close();
        EXPECT_EQ(dialog.isVisible(), !test.cancelEnabled);
    }
    QLocale::setDefault(QLocale::c());
}

TEST(IntakeProgressDialogTest, ReportsAfterCancelDoNotBringTheDialogBack) {
    IntakeProgressDialog dialog(nullptr, "http://x/t.zip");
    dialog.showProgress(IntakeProgressDialog::Phase::downloading, 10, 100);
    dialog.show();
    QTest::mouseClick(dialog.findChild<QPushButton*>(), Qt::LeftButton);
    ASSERT_TRUE(dialog.cancelRequested());
    ASSERT_FALSE(dialog.isVisible());

    dialog.showProgress(IntakeProgressDialog::Phase::downloading, 90, 100);
    QTest::qWait(2 * IntakeProgressDialog::momentInMilliseconds);
    EXPECT_FALSE(dialog.isVisible());
}

text::RegistryFile registryWith(const std::string& valueLine) {
    return text::RegistryFile::fromText(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]\r\n" +
        valueLine + "\r\n");
}

TEST(InstallerAppTest, HostNotLocatedShowsWarningCaptionedWithProgramNameAndRunsNoWizard) {
    struct Case {
        text::RegistryFile registry;
        StringId message;
    };
    const std::vector<Case> cases{
        {text::RegistryFile::fromText(""), IDS_HOST_NOT_FOUND},
        {registryWith("\"Other\"=\"/opt/syndal/Syndal\""), IDS_REGISTRY_ERROR},
        {registryWith("\"Path\"=dword:00000001"), IDS_REGISTRY_ERROR},
    };
    for (const Case& test : cases) {
        RecordingPrompts prompts;
        FakeDownloader downloader;
        platform::DownloadCache downloads(ScratchFolder().path());
        CInstallerApp installer(prompts, downloader, downloads, test.registry, "");
        bool wizardShown = false;
        QTimer closeAnyWizard;
        closeAnyWizard.setSingleShot(true);
        QObject::connect(&closeAnyWizard, &QTimer::timeout, [&] {
            wizardShown = QApplication::activeModalWidget() != nullptr;
            if (wizardShown) {
                QApplication::activeModalWidget()->close();
            }
        });
        closeAnyWizard.start(0);

        EXPECT_FALSE(installer.InitInstance());
        EXPECT_FALSE(wizardShown);
        EXPECT_FALSE(installer.hostLocated());
        ASSERT_EQ(prompts.shown.size(), 1u);
        EXPECT_EQ(prompts.shown[0].message, test.message);
        EXPECT_EQ(prompts.shown[0].caption, QCoreApplication::applicationName());
        EXPECT_EQ(prompts.shown[0].icon, Icon::warning);
    }
}

TEST(InstallerAppTest, LocatedHostRunsTheWizardModallyWithInstallFolderAndInitialText) {
    RecordingPrompts prompts;
    FakeDownloader downloader;
    const testsupport::ScratchFolder host;
    host.writeFile("Syndal", "");
    const auto registry = registryWith("\"Path\"=\"" + host.pathOf("Syndal") + "\"");
    platform::DownloadCache downloads(ScratchFolder().path());
    CInstallerApp installer(prompts, downloader, downloads, registry, "/home/user/tockit.zip");
    const CInstallSheet* shownSheet = nullptr;
    QTimer inspectAndClose;
    inspectAndClose.setSingleShot(true);
    QObject::connect(&inspectAndClose, &QTimer::timeout, [&] {
        auto* sheet = qobject_cast<CInstallSheet*>(QApplication::activeModalWidget());
        ASSERT_NE(sheet, nullptr);
        shownSheet = sheet;
        EXPECT_EQ(sheet->m_strInstallFolder, locateHost(registry).installFolder);
        EXPECT_EQ(sheet->m_page1.m_editSource.text(), "/home/user/tockit.zip");
        sheet->reject();
    });
    inspectAndClose.start(0);

    EXPECT_FALSE(installer.InitInstance());
    EXPECT_NE(shownSheet, nullptr);
    EXPECT_TRUE(installer.hostLocated());
    EXPECT_TRUE(prompts.shown.empty());
}

}  // namespace
