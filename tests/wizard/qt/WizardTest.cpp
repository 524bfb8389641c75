// The wizard as a user meets it: buttons and focus on each page, the message boxes and the file
// dialog, and Next's work on a worker thread while the wizard takes no input but shows progress.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressBar>
#include <QTimer>
#include <QtTest/QTest>
#include <filesystem>

#include "wizard/qt/CInstallSheet.h"
#include "wizard/qt/CInstallerApp.h"
#include "wizard/qt/IntakeProgressDialog.h"
#include "wizard/qt/UserPrompts.h"
#include "platform/OnDemandDownloader.h"
#include "text/RegistryFile.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ZipArchiveBuilder.h"

namespace {

// The page as the user meets it: texts ("~" if wrapped, else "-") and buttons ("(off)" if disabled)
// in order, then the focus. The first page reads as `firstPage` followed by the focus.
std::string screen(const QWizard& sheet) {
    QList<QWidget*> widgets = sheet.currentPage()->findChildren<QWidget*>();
    for (int which = QWizard::BackButton; which <= QWizard::HelpButton; ++which) {
        widgets.push_back(sheet.button(QWizard::WizardButton(which)));
    }
    std::string seen;
    for (const QWidget* widget : widgets) {
        const auto* label = qobject_cast<const QLabel*>(widget);
        const auto* button = qobject_cast<const QAbstractButton*>(widget);
        if (widget->isVisible() && (label || button)) {
            seen += (label ? label->wordWrap() ? "~" : "-" : button->text().toStdString()) +
                    (widget->isEnabled() ? "" : " (off)") + " | ";
        }
    }
    const auto* focus = qobject_cast<const QAbstractButton*>(sheet.focusWidget());
    return seen + "focus: " +
           (focus ? focus->text().toStdString() : sheet.focusWidget()->metaObject()->className());
}

const std::string firstPage = "- | &Browse | - | - | < &Back (off) | &Next > | Cancel | focus: ";

class WizardTest : public testing::Test {
protected:
    WizardTest() {
        std::filesystem::create_symlink(TOCKIT_DOWNLOADER_MODULE, scratch.pathOf("downloader.so"));
        // Every 5 ms, also while Next's work or a dialog goes on: presses OK on a message box,
        // noting its owner, caption, icon and text, and notes how the progress dialog is shown.
        QObject::connect(&ticker, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown.push_back((box->parentWidget() == &sheet.m_page1 ? "page 1: " : "") +
                                box->windowTitle().toStdString() + ": " +
                                (box->icon() == QMessageBox::Warning ? "warning: " : "") +
                                box->text().toStdString());
                box->accept();
            }
            if (auto* dialog = sheet.findChild<QProgressDialog*>(); dialog && dialog->isVisible()) {
                progressShown = dialog->windowTitle().toStdString() +
                                (dialog->isModal() ? ", modal" : "") +
                                (QApplication::overrideCursor() ? ", wait cursor" : "");
            }
        });
        ticker.start(5);
        sheet.m_strInstallFolder = scratch.pathOf("Syndal\\App");
        sheet.show();
    }

    // Types `text` into the first page and presses Next; returns when Next's work is done.
    void next(const std::string& text) {
        sheet.m_page1.m_editSource.setText(QString::fromStdString(text));
        QTest::mouseClick(sheet.button(QWizard::NextButton), Qt::LeftButton);
    }

    testsupport::ScratchFolder scratch;
    testsupport::LoopbackHttpServer server;
    QtUserPrompts prompts;
    platform::OnDemandDownloader downloader{scratch.pathOf("downloader.so")};
    platform::DownloadCache downloads{scratch.pathOf("cache")};
    CInstallSheet sheet{prompts, downloader, downloads};
    QTimer ticker;
    std::vector<std::string> shown;
    std::string progressShown;
};

TEST_F(WizardTest, FirstPageBrowsesAndEachRefusalShowsItsMessageAndSetsTheFocus) {
    EXPECT_EQ(sheet.windowTitle(), "Tockit Installer 1.0.0.11");
    EXPECT_FALSE(sheet.windowIcon().isNull() || sheet.pixmap(QWizard::WatermarkPixmap).isNull());
    EXPECT_EQ(sheet.m_page1.findChild<QLabel*>()->buddy(), &sheet.m_page1.m_editSource);
    EXPECT_EQ(screen(sheet), firstPage + "QLineEdit");
    const std::string notAZip = scratch.writeFile("not-a-zip.zip", "plain text");
    for (const bool accept : {false, true}) {
        QTimer::singleShot(0, &sheet, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            dialog->selectFile(QString::fromStdString(scratch.pathOf("not-a-zip")));  // .zip added
            accept ? static_cast<QDialog*>(dialog)->accept() : dialog->reject();
        });
        QTest::mouseClick(&sheet.m_page1.m_buttonBrowse, Qt::LeftButton);
        EXPECT_EQ(sheet.m_page1.m_editSource.text().toStdString(), accept ? notAZip : "");
    }

    std::filesystem::remove(scratch.pathOf("downloader.so"));
    for (const std::string& text : {std::string(), notAZip, server.url("/t.zip")}) {
        next(text);
        EXPECT_EQ(screen(sheet), firstPage + (text.empty() ? "QLineEdit" : "&Next >"));
    }
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "page 1: Tockit Installer: warning: A file name or a Web address is "
                         "required. Please enter a valid file name or Web address to continue.",
                         "page 1: Tockit Installer: The file selected is not a valid Tockit Zip "
                         "file. Please select a different file to continue.\n\nNOTE: Files must "
                         "not have a directory structure within the zip file. Files must also "
                         "have at a minimum one APP and two BIN files (application and parameter) "
                         "to be considered valid.",
                         "page 1: Tockit Installer: warning: Unable to read the Zip file."}));
}

TEST_F(WizardTest, InstallingBlocksTheWizardThenNamesThePackageAndGoingBackOffersItsSource) {
    const std::string package =
        ZipArchiveBuilder()
            .addFile("mode.app", "[Tockit]\r\nCODE=mode.bin\r\nPAR=mode.par\r\nName=<b>Big</b>\r\n")
            .addFile("mode.bin", std::string(9 << 20, 'b'))
            .addFile("mode.par", "parameters")
            .build();
    const std::string local = scratch.writeFile("local.zip", package);
    server.serveTrickle("/big.zip", package, std::chrono::milliseconds(1500), 15);
    std::vector<std::pair<QString, int>> bar;
    QAbstractButton* addAnother = &sheet.m_page2.m_buttonAddAnother;
    for (const auto& [typed, back] : std::vector<std::pair<std::string, QAbstractButton*>>{
             {local, sheet.button(QWizard::BackButton)}, {server.url("/big.zip"), addAnother}}) {
        bar.clear();
        QTimer::singleShot(0, &sheet, [&] {
            // The progress dialog shows only after a moment; until then the page blocks input.
            QTest::mouseClick(sheet.button(QWizard::CancelButton), Qt::LeftButton);
            QTest::keyClick(&sheet, Qt::Key_Escape);
            sheet.close();
            auto* dialog = sheet.findChild<QProgressDialog*>();
            QObject::connect(dialog->findChild<QProgressBar*>(), &QProgressBar::valueChanged,
                             [&bar, dialog](int value) {
                                 bar.emplace_back(dialog->labelText().section(' ', 0, 0), value);
                             });
        });
        next(typed);
        EXPECT_EQ(screen(sheet),
                  "~ | ~ | ~ | &Add Another Tockit | < &Back | &Finish | Cancel | "
                  "focus: &Add Another Tockit");
        EXPECT_EQ(sheet.m_page2.m_labelResult.text(),
                  "The <b>Big</b> Tockit was successfully installed!");
        EXPECT_EQ(sheet.m_page2.m_labelResult.textFormat(), Qt::PlainText);
        QTest::mouseClick(back, Qt::LeftButton);
        EXPECT_EQ(screen(sheet), firstPage + "QLineEdit");
        // The whole text is selected, ready to be typed over; after a download it is the copy.
        EXPECT_EQ(sheet.m_page1.m_editSource.selectedText().toStdString(),
                  back == addAnother ? sheet.m_strTempPath : local);
    }
    EXPECT_EQ(progressShown, "Tockit Installer, modal, wait cursor");
    EXPECT_TRUE(std::ranges::is_sorted(bar));  // the download's bar rises, then the installation's
    EXPECT_GE(std::ranges::count(bar, QString("Downloading"), &std::pair<QString, int>::first), 3);
    EXPECT_NE(std::ranges::find(bar, std::pair<QString, int>("Installing", 0)), bar.end());
    next(local);
    QTest::keyClick(addAnother, Qt::Key_Return);  // on the focused button, Enter still finishes
    EXPECT_EQ(sheet.result(), QDialog::Accepted);
}

TEST_F(WizardTest, ProgressDialogCountsBytesAndOnlyADownloadCanBeCancelled) {
    IntakeProgressDialog download(nullptr, "http://x/t.zip"), installation(nullptr, "t.zip");
    const auto state = [](const IntakeProgressDialog& shown) {
        return shown.labelText() + QString(", %1 of %2").arg(shown.value()).arg(shown.maximum()) +
               (shown.findChild<QPushButton*>()->isEnabled() ? ", Cancel" : "");
    };
    download.showProgress(IntakeProgressDialog::Phase::downloading, 1536, 0);
    EXPECT_EQ(state(download), "Downloading http://x/t.zip\n1.50 KiB, 0 of 0, Cancel");
    installation.showProgress(IntakeProgressDialog::Phase::installing, 5 << 20, 4 << 20);
    EXPECT_EQ(state(installation), "Installing t.zip\n5.00 MiB of 4.00 MiB, 1000 of 1000");

    installation.show();  // Escape, to its shortcut or to it, and closing leave an installation be
    ASSERT_TRUE(QTest::qWaitForWindowActive(&installation));
    QTest::keyClick(&installation, Qt::Key_Escape);
    installation.reject();
    installation.close();
    EXPECT_TRUE(installation.isVisible() && !installation.cancelRequested());
    // Closing cancels a download for good: a late report does not bring the dialog back.
    download.close();
    QTest::qWait(2 * IntakeProgressDialog::momentInMilliseconds);
    download.showProgress(IntakeProgressDialog::Phase::downloading, 90, 100);
    EXPECT_FALSE(download.isVisible());
}

TEST_F(WizardTest, StartRunsTheWizardModallyOnTheAppFolderBesideTheHostProgram) {
    const auto registry = text::RegistryFile::fromText(
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]\r\n\"Path\"=\"" +
        scratch.pathOf("downloader.so") + "\"\r\n");
    CInstallerApp installer(prompts, downloader, downloads, registry, "t.zip");
    std::string seen;
    QTimer::singleShot(0, &sheet, [&] {
        auto* wizard = qobject_cast<CInstallSheet*>(QApplication::activeModalWidget());
        seen = wizard->m_strInstallFolder + " " + wizard->m_page1.m_editSource.text().toStdString();
        wizard->reject();
    });
    EXPECT_FALSE(installer.InitInstance() || !installer.hostLocated());
    EXPECT_EQ(seen, scratch.path() + "\\App t.zip");
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
