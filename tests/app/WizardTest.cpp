// The wizard as a user drives it: page flow, buttons, texts, the messages it shows and where the
// focus goes, the wait cursor and the download progress. Messages and the file dialog are
// recorded and answered through the prompts seam; downloads come from a fake downloader.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QProgressDialog>
#include <QTimer>
#include <QtTest/QTest>
#include <fstream>
#include <functional>
#include <vector>

#include "app/CInstallSheet.h"
#include "app/CInstallerApp.h"
#include "app/HostLocator.h"
#include "app/UserPrompts.h"
#include "platform/Downloader.h"
#include "platform/RegistryFile.h"
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
};

class RecordingPrompts final : public UserPrompts {
public:
    void showMessage(QWidget* owner, StringId message, const QString& caption, Icon icon) override {
        shown.push_back({message, caption, icon, owner});
    }
    std::optional<QString> choosePackageFile(QWidget*) override {
        ++fileDialogs;
        return fileAnswer;
    }

    std::vector<ShownMessage> shown;
    int fileDialogs = 0;
    std::optional<QString> fileAnswer;
};

// Reports progress twice with `midway` in between, then writes `body` to the target unless it
// was told to fail or was cancelled.
class FakeDownloader final : public platform::Downloader {
public:
    platform::DownloadResult download(const std::string& address, const std::string& target,
                                      const platform::DownloadProgress& progress) override {
        addresses.push_back(address);
        if (!progress(0, body.size())) {
            return platform::DownloadResult::cancelled;
        }
        if (midway) {
            midway();
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
    std::function<void()> midway;
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
        sheet.m_strTempPath = scratch.pathOf("temp.txt");
        sheet.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&sheet));
    }

    std::string writePackage(const std::string& fileName, const std::string& displayName) {
        return scratch.writeFile(fileName, packageBytes(displayName));
    }

    // Types `text` into the first page and presses Next.
    void next(const std::string& text) {
        sheet.m_page1.m_editSource.setText(QString::fromStdString(text));
        QTest::mouseClick(sheet.button(QWizard::NextButton), Qt::LeftButton);
    }

    ScratchFolder scratch;
    RecordingPrompts prompts;
    FakeDownloader downloader;
    CInstallSheet sheet{prompts, downloader};
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
        {address, sheet.m_strTempPath, false},
        {address, sheet.m_strTempPath, true},
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
        EXPECT_EQ(sheet.m_page1.m_editSource.text().toStdString(), test.shownAgain);
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

TEST_F(WizardTest, DownloadShowsProgressUnderTheWaitCursorAndCleansUpAfter) {
    downloader.body = packageBytes("Downloaded");
    const QProgressDialog* progressSeen = nullptr;
    downloader.midway = [&] {
        const auto* progress = sheet.findChild<QProgressDialog*>();
        ASSERT_NE(progress, nullptr);
        EXPECT_TRUE(progress->isVisible());
        EXPECT_EQ(progress->labelText(), "http://www.example.com/tockit.zip");
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        progressSeen = progress;
    };
    next("http://www.example.com/tockit.zip");

    EXPECT_NE(progressSeen, nullptr);
    EXPECT_EQ(sheet.currentId(), CInstallSheet::donePage);
    EXPECT_EQ(sheet.findChild<QProgressDialog*>(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WizardTest, CancelledDownloadKeepsFirstPageWithoutMessage) {
    downloader.body = packageBytes("Never");
    downloader.midway = [&] { sheet.findChild<QProgressDialog*>()->cancel(); };
    next("http://www.example.com/tockit.zip");

    EXPECT_EQ(sheet.currentId(), CInstallSheet::sourcePage);
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(sheet.m_page1.m_editSource.text(), "http://www.example.com/tockit.zip");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

platform::RegistryFile registryWith(const std::string& valueLine) {
    return platform::RegistryFile::fromText(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]\r\n" +
        valueLine + "\r\n");
}

TEST(InstallerAppTest, HostNotLocatedShowsWarningCaptionedWithProgramNameAndRunsNoWizard) {
    struct Case {
        platform::RegistryFile registry;
        StringId message;
    };
    const std::vector<Case> cases{
        {platform::RegistryFile::fromText(""), IDS_HOST_NOT_FOUND},
        {registryWith("\"Other\"=\"/opt/syndal/Syndal\""), IDS_REGISTRY_ERROR},
        {registryWith("\"Path\"=dword:00000001"), IDS_REGISTRY_ERROR},
    };
    for (const Case& test : cases) {
        RecordingPrompts prompts;
        FakeDownloader downloader;
        CInstallerApp installer(prompts, downloader, test.registry, "");
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
    const auto registry = registryWith("\"Path\"=\"/opt/syndal/Syndal\"");
    CInstallerApp installer(prompts, downloader, registry, "/home/user/tockit.zip");
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
