#include "shell/unit_Options.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "common/EventLoopWait.h"
#include "shell/Main.h"
#include "shell/SearchBar.h"
#include "shell/ServicesPage.h"
#include "widgets/GlimFade.h"
#include "shell/ViewerPanel.h"
#include "shell/Commands.h"

namespace {

class OptionsDialogTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.isValid());
        settingsPath = scratch.filePath(QStringLiteral("lumisift.ini")).toStdString();
        form = std::make_unique<TForm1>(settingsPath);
        dialog = std::make_unique<Tfrm_Options>(*form);
        dialog->ShowMessage = [this](const QString& message) {
            messages.push_back(message.toStdString());
        };
    }
    void TearDown() override { dialog->hide(); }

    std::string settingsText() const {
        std::stringstream text;
        text << std::ifstream(settingsPath).rdbuf();
        return text.str();
    }
    void showActive() {
        dialog->show();
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    }
    // Types text into field on its page and tabs away, as a user would.
    void typeAndLeave(QWidget* page, QLineEdit* field, const QString& text) {
        dialog->PageControl1->setCurrentWidget(page);
        field->setFocus();
        field->setText(text);
        QTest::keyClick(field, Qt::Key_Tab);
    }

    QTemporaryDir scratch;
    std::string settingsPath;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<Tfrm_Options> dialog;
    std::vector<std::string> messages;
};

TEST_F(OptionsDialogTest, FirstShowingWithAnEmptySettingsFileShowsTheDialogsDefaults) {
    dialog->show();
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Lumisift - OPTIONS");
    EXPECT_EQ(dialog->size(), QSize(360, 318));
    EXPECT_TRUE(dialog->windowFlags() & Qt::WindowStaysOnTopHint);
    std::vector<std::string> pages;
    for (int i = 0; i < dialog->PageControl1->count(); ++i)
        pages.push_back(dialog->PageControl1->tabText(i).toStdString());
    EXPECT_EQ(pages, (std::vector<std::string>{"General", "Proxy", "Download", "Slide Show",
                                               "Services"}));

    EXPECT_TRUE(dialog->radiobutton_Modem->isChecked());
    EXPECT_FALSE(dialog->radiobutton_LAN->isChecked());
    EXPECT_TRUE(dialog->checkbox_LargerThan->isChecked());
    EXPECT_TRUE(dialog->edit_LargerThan->isEnabled());
    EXPECT_EQ(dialog->edit_LargerThan->text().toStdString(), "20");
    EXPECT_FALSE(dialog->checkbox_SmallerThan->isChecked());
    EXPECT_FALSE(dialog->edit_SmallerThan->isEnabled());
    EXPECT_EQ(dialog->edit_SmallerThan->text().toStdString(), "1000");
    EXPECT_FALSE(dialog->ProxyCheck->isChecked());
    EXPECT_EQ(dialog->ProxyPortEdit->text().toStdString(), "80");
    for (QLineEdit* proxy :
         {dialog->ProxyEdit, dialog->ProxyPortEdit, dialog->ProxyNameEdit, dialog->ProxyPassEdit})
        EXPECT_FALSE(proxy->isEnabled());
    EXPECT_EQ(dialog->ProxyPassEdit->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog->edit_SavePath->text().toStdString(), "");
    EXPECT_TRUE(dialog->edit_SavePath->isReadOnly());
    EXPECT_FALSE(dialog->checkbox_SubDir->isChecked());
    EXPECT_FALSE(dialog->checkbox_NumberedList->isChecked());
    EXPECT_EQ(dialog->edit_Wait->text().toStdString(), "10");
    EXPECT_FALSE(std::filesystem::exists(settingsPath));

    // The enable rules follow the boxes from then on.
    dialog->checkbox_SmallerThan->setChecked(true);
    dialog->ProxyCheck->setChecked(true);
    EXPECT_TRUE(dialog->edit_SmallerThan->isEnabled());
    EXPECT_TRUE(dialog->ProxyPassEdit->isEnabled());
}

TEST_F(OptionsDialogTest, LeavingABadNumberWarnsAndOnlyTheNumberFieldsTakeTheFocusBack) {
    showActive();
    typeAndLeave(dialog->TabSheet4, dialog->edit_Wait, QStringLiteral("abc"));
    ASSERT_TRUE(lumi::test::waitUntil([&] { return !messages.empty(); }));
    EXPECT_EQ(messages, std::vector<std::string>{"Wait at least: enter a whole number of seconds"});
    ASSERT_TRUE(lumi::test::waitUntil([&] { return dialog->edit_Wait->hasFocus(); }));

    messages.clear();
    dialog->edit_Wait->setText(QStringLiteral("10"));
    dialog->ProxyCheck->setChecked(true);
    typeAndLeave(dialog->TabSheet2, dialog->ProxyPortEdit, QStringLiteral("-1"));
    ASSERT_TRUE(lumi::test::waitUntil([&] { return !messages.empty(); }));
    EXPECT_EQ(messages, std::vector<std::string>{"Port: enter a whole number from 1 to 65535"});
    lumi::test::spinFor(50);
    EXPECT_FALSE(dialog->ProxyPortEdit->hasFocus());
    EXPECT_EQ(dialog->ProxyPortEdit->text().toStdString(), "-1");

    messages.clear();
    for (const char* passes : {"0", " 7 "}) {
        dialog->edit_Wait->setText(QString::fromLatin1(passes));
        dialog->edit_WaitExit();
    }
    dialog->ProxyPortEdit->setText(QStringLiteral("65535"));
    dialog->ProxyPortEditExit();
    EXPECT_TRUE(messages.empty());
}

TEST_F(OptionsDialogTest, CancelAfterEditingWritesNothingAndTheNextShowingRefills) {
    std::ofstream(settingsPath) << "[Options]\nWait=7\nUseProxy=1\nProxyPort=3128\n";
    const std::string before = settingsText();
    dialog->show();
    dialog->edit_Wait->setText(QStringLiteral("3"));
    dialog->ProxyCheck->setChecked(false);
    dialog->BitBtn1->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(settingsText(), before);

    dialog->show();
    EXPECT_EQ(dialog->edit_Wait->text().toStdString(), "7");
    EXPECT_TRUE(dialog->ProxyCheck->isChecked());
    EXPECT_TRUE(dialog->ProxyPortEdit->isEnabled());
    EXPECT_EQ(dialog->ProxyPortEdit->text().toStdString(), "3128");
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(settingsText(), before);
}

TEST_F(OptionsDialogTest, OkWritesEveryFieldAndTheSlideShowTakesTheNewPauseAtOnce) {
    showActive();
    dialog->radiobutton_LAN->setChecked(true);
    dialog->checkbox_SmallerThan->setChecked(true);
    dialog->edit_SmallerThan->setText(QStringLiteral("500"));
    dialog->checkbox_NumberedList->setChecked(true);
    dialog->ProxyCheck->setChecked(true);
    dialog->ProxyEdit->setText(QStringLiteral("proxy.lan"));
    dialog->ProxyPortEdit->setText(QStringLiteral("8080"));
    dialog->ServicesPage1->combo_Licence->setCurrentIndex(4);
    dialog->ServicesPage1->spin_MinWidth->setValue(1600);
    dialog->PageControl1->setCurrentWidget(dialog->TabSheet4);
    dialog->edit_Wait->setFocus();
    dialog->edit_Wait->setText(QStringLiteral("3"));
    // Enter presses the default button, OK.
    QTest::keyClick(dialog->edit_Wait, Qt::Key_Return);

    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(form->Viewer->SlideShowTimer->interval(), 3000);
    EXPECT_EQ(settingsText(), "[Options]\nSlowConnection=0\nLargerThanBool=1\nSmallerThanbool=1\n"
                              "SmallerThan=500\nLargerThan=20\nWait=3\nSubDir=0\n"
                              "NumberedList=1\nSavePath=\nUseProxy=1\nProxyServer=proxy.lan\n"
                              "ProxyPort=8080\nProxyName=\nProxyPass=\nWriteCredits=1\n\n"
                              "[Services]\nHotBot=1\nLycos=1\nScourNet=1\nLycosImagesDirect=1\n"
                              "Openverse=1\nCommons=1\nSearXNG=0\nMetMuseum=1\nArtInstitute=1\n"
                              "NasaImages=1\nSearXNGUrl=\nMaxPages=3\n"
                              "LicenceFilter=pd\nMinWidth=1600\nMinHeight=0\n");
    EXPECT_TRUE(messages.empty());
    // The licence box beside the phrase shows the filter the dialog set.
    EXPECT_EQ(form->Search->combo_Licence->currentData().toInt(),
              static_cast<int>(lumi::LicenceFilter::PublicDomain));
}

TEST_F(OptionsDialogTest, OkWithANonIntegerFieldWritesNothingAndKeepsTheDialogOpen) {
    showActive();
    dialog->edit_Wait->setText(QStringLiteral("4"));
    dialog->edit_LargerThan->setText(QStringLiteral("12abc"));
    dialog->PageControl1->setCurrentWidget(dialog->TabSheet4);
    dialog->BitBtn2->click();
    EXPECT_EQ(messages,
              std::vector<std::string>{"Must be larger than: enter a whole number of kilobytes"});
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->PageControl1->currentWidget(), dialog->TabSheet1);
    EXPECT_TRUE(lumi::test::waitUntil([&] { return dialog->edit_LargerThan->hasFocus(); }));
    EXPECT_FALSE(std::filesystem::exists(settingsPath));
    EXPECT_EQ(form->Viewer->SlideShowTimer->interval(), 10000);

    // The port counts only with the proxy on, where it is handed on as a number.
    messages.clear();
    dialog->edit_LargerThan->setText(QStringLiteral("12"));
    dialog->ProxyCheck->setChecked(true);
    dialog->ProxyPortEdit->setText(QStringLiteral("http"));
    dialog->BitBtn2->click();
    EXPECT_EQ(messages, std::vector<std::string>{"Port: enter a whole number from 1 to 65535"});
    EXPECT_FALSE(std::filesystem::exists(settingsPath));
}

// One click on OK says one thing; a field out of use does not hold OK up; numbers are taken
// as decimals with the blanks around them trimmed.
// One click on OK says one thing; a field out of use does not hold OK up; numbers are
// taken with the blanks around them trimmed.
TEST_F(OptionsDialogTest, OkSaysOneThingAndTakesOnlyTheFieldsInUse) {
    showActive();
    dialog->PageControl1->setCurrentWidget(dialog->TabSheet4);
    dialog->edit_SmallerThan->setText(QStringLiteral("abc")); // its filter is off
    dialog->edit_Wait->setFocus();
    dialog->edit_Wait->setText(QStringLiteral("abc"));
    QTest::mouseClick(dialog->BitBtn2, Qt::LeftButton);
    lumi::test::spinFor(50);
    EXPECT_EQ(messages, std::vector<std::string>{"Wait at least: enter a whole number of seconds"});
    ASSERT_TRUE(dialog->isVisible());
    dialog->edit_Wait->setText(QStringLiteral(" 7 "));
    QTest::mouseClick(dialog->BitBtn2, Qt::LeftButton);
    lumi::test::spinFor(50);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_FALSE(dialog->isVisible());
    TIniFile stored(settingsPath);
    EXPECT_EQ(stored.ReadString("Options", "Wait", ""), "7");
    EXPECT_EQ(stored.ReadString("Options", "SmallerThan", "none"), "none");
}

TEST_F(OptionsDialogTest, OptionsCommandOpensTheDialogModally) {
    form->Commands->frm_Options = dialog.get();
    bool seenModal = false, focusMarked = false;
    QTimer::singleShot(0, dialog.get(), [&] {
        seenModal = dialog->isVisible() && QApplication::activeModalWidget() == dialog.get();
        // The first field has the focus, with the mark a keyboard user looks for.
        focusMarked = dialog->testAttribute(Qt::WA_KeyboardFocusChange) &&
                      dialog->PageControl1->currentWidget()->isAncestorOf(dialog->focusWidget());
        dialog->reject();
    });
    ASSERT_TRUE(form->Commands->GlimFade1->OnClick);
    form->Commands->GlimFade1->OnClick(form->Commands->GlimFade1);
    EXPECT_TRUE(seenModal);
    EXPECT_TRUE(focusMarked);
}

} // namespace
