#include "files/untExtract.h"

#include <deque>
#include <filesystem>

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>

#include "widgets/DirTree.h"

namespace {

namespace fs = std::filesystem;

class ExtractFormTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = fs::canonical(dir.path().toStdString()).string() + "/";
        fs::create_directories(root + "Pics");
        form.edit_SavePath = &savePath;
        form.ShowMessage = [this](const QString& message) {
            messages.push_back(message.toStdString());
        };
        form.InputQuery = [this](const QString& caption, const QString& prompt, QString& value) {
            asked.push_back((caption + u'|' + prompt + u'|' + value).toStdString());
            if (answers.empty()) return false;
            value = QString::fromStdString(answers.front());
            answers.pop_front();
            return true;
        };
    }
    std::vector<std::string> childNames(QTreeWidgetItem* node) {
        form.DirTree1->expandItem(node);
        std::vector<std::string> names;
        for (int i = 0; i < node->childCount(); ++i)
            names.push_back(node->child(i)->text(0).toStdString());
        return names;
    }

    QTemporaryDir dir;
    std::string root;
    TExtractForm form;
    QLineEdit savePath;
    std::vector<std::string> messages;
    std::vector<std::string> asked;
    std::deque<std::string> answers;
};

TEST_F(ExtractFormTest, CreateDirForANewAnExistingAndARefusedName) {
    form.DirTree1->SelectPath(root + "pics");
    EXPECT_EQ(form.Label2->text().toStdString(), root + "Pics/");

    answers = {"new"};
    form.SpeedButton1Click();
    EXPECT_EQ(asked, std::vector<std::string>{"Create directory|Directory name: |"});
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(fs::is_directory(root + "Pics/new"));
    // The new folder shows under the old selection after the reload, and is selected.
    EXPECT_EQ(form.DirTree1->Directory(), root + "Pics/new/");
    EXPECT_EQ(form.Label2->text().toStdString(), root + "Pics/new/");
    EXPECT_EQ(childNames(form.DirTree1->currentItem()->parent()), std::vector<std::string>{"new"});

    form.DirTree1->SelectPath(root + "pics");
    answers = {"new", "", "../escape", "a/b"};
    for (int i = 0; i < 4; ++i)
        form.SpeedButton1Click();
    EXPECT_EQ(messages, (std::vector<std::string>{
                            "Directory exists. Use another name. ",
                            "Enter a name for the new directory.",
                            "Couldn't create directory ../escape",
                            "Couldn't create directory a/b",
                        }));
    EXPECT_EQ(form.DirTree1->Directory(), root + "Pics/");
    EXPECT_FALSE(fs::exists(root + "escape"));
    EXPECT_FALSE(fs::exists(root + "Pics/a"));

    messages.clear();
    form.SpeedButton1Click(); // cancelled
    EXPECT_TRUE(messages.empty());
}

TEST_F(ExtractFormTest, OkHandsTheSelectedFolderOnAndNothingWithoutASelection) {
    savePath.setText(QStringLiteral("/kept/"));
    form.DirTree1->setCurrentItem(nullptr);
    ASSERT_EQ(form.DirTree1->Directory(), "?");
    form.BitBtn1Click();
    EXPECT_EQ(savePath.text().toStdString(), "/kept/");
    EXPECT_EQ(form.result(), QDialog::Accepted);

    form.DirTree1->SelectPath(root + "Pics");
    form.BitBtn2Click();
    EXPECT_EQ(savePath.text().toStdString(), "/kept/");
    form.BitBtn1Click();
    EXPECT_EQ(savePath.text().toStdString(), root + "Pics/");
}

} // namespace
