// The main window against the sandbox: a phrase typed and Enter fill the results list with
// the sandbox's pictures; Abort returns to "Ready" and keeps the rows.
#include <map>
#include <memory>

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include "SandboxProcess.h"
#include "common/EventLoopWait.h"
#include "core/SearchEngine.h"
#include "shell/Main.h"
#include "widgets/GlimFade.h"

using lumi::test::SandboxProcess;
using lumi::test::waitUntil;

TEST(MainWindowEndToEnd, EnterFillsTheListFromTheSandboxAndAbortKeepsTheRows) {
    SandboxProcess sandbox(lumi::test::kQuickSandbox);
    ASSERT_TRUE(sandbox.running()) << sandbox.error();
    const auto environment = sandbox.environment();
    QStringList variables;
    for (const QString& key : environment.keys()) {
        if (!key.startsWith(QStringLiteral("LUMISIFT_"))) continue;
        qputenv(key.toLatin1().constData(), environment.value(key).toLatin1());
        variables << key;
    }
    QTemporaryDir dir;
    auto form =
        std::make_unique<TForm1>(lumi::test::writeIni(dir, "SlowConnection=0\r\n").toStdString());
    form->AskYesNo = [](const QString&) { return false; };
    form->OpenBrowser = [](const QUrl&) { return true; };
    form->ShowMessage = [](const QString&) {};
    form->show();

    const std::string phrase = "red cars";
    // File name and size of every picture the sandbox expects, as the list shows them.
    std::multimap<QString, QString> expected;
    for (const auto& row : sandbox.expected(phrase)) {
        const auto tab = row.find('\t');
        const std::string url = row.substr(tab + 1);
        expected.emplace(QString::fromStdString(url.substr(url.rfind('/') + 1)),
                         QString::fromStdString(row.substr(0, tab)));
    }
    ASSERT_FALSE(expected.empty());

    QTest::keyClicks(form->Edit1, QString::fromStdString(phrase));
    QTest::keyClick(form->Edit1, Qt::Key_Return);
    EXPECT_EQ(form->Label7->text(), QStringLiteral("Searching..."));
    const QAbstractItemModel& rows = *form->ListView1->model();
    ASSERT_TRUE(waitUntil([&] { return rows.rowCount() >= 10; }, 60000)) << rows.rowCount();

    QTest::mouseClick(form->AbortButton, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] {
        return form->Label7->text() == QStringLiteral("Ready") && !form->Label7->isHidden();
    }));
    EXPECT_TRUE(form->SearchButton->isVisible());
    form->Engine->results().publishPendingRows();
    const int kept = rows.rowCount();
    EXPECT_GE(kept, 10);
    lumi::test::spinFor(500);
    EXPECT_EQ(rows.rowCount(), kept) << "no row arrives after the abort";
    for (int i = 0; i < kept; ++i) {
        const QString name = rows.index(i, 0).data().toString();
        const QString size = rows.index(i, 1).data().toString();
        bool known = false;
        for (auto [it, end] = expected.equal_range(name); it != end; ++it)
            known |= it->second == size;
        EXPECT_TRUE(known) << name.toStdString() << " " << size.toStdString();
    }
    form.reset();
    for (const QString& key : variables)
        qunsetenv(key.toLatin1().constData());
}
