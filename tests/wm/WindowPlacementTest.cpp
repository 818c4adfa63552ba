// The main window's placement under a real window manager that decorates windows: Xvfb and
// openbox on a free display, both started by the test and stopped by their process ids, and
// the main window started and closed there by the placement probe.
#include <cstdio>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "base/IniFiles.h"
#include "common/EventLoopWait.h"

namespace {

constexpr int StartLimitMs = 20000;

// Xvfb on a display it picks itself, with openbox managing it.
class DisplayWithWindowManager {
public:
    ~DisplayWithWindowManager() {
        for (QProcess* process : {&windowManager_, &server_}) {
            if (process->state() == QProcess::NotRunning) continue;
            process->terminate();
            if (!process->waitForFinished(5000)) process->kill();
            process->waitForFinished(5000);
        }
    }

    // Empty when both run, else what failed.
    std::string start() {
        // On a real display the toolkit reaches the desktop bus, whose library keeps a buffer
        // to the end; leaks of the program itself are still reported.
        QFile suppressions(suppressions_);
        if (!suppressions.open(QIODevice::WriteOnly) ||
            suppressions.write("leak:libdbus-1.so\n") < 0)
            return "cannot write " + suppressions_.toStdString();
        suppressions.close();

        server_.setProgram(QStringLiteral("Xvfb"));
        server_.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"),
                              QStringLiteral("-screen"), QStringLiteral("0"),
                              QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                              QStringLiteral("tcp")});
        server_.start();
        if (!lumi::test::waitUntil([&] { return server_.canReadLine(); }, StartLimitMs))
            return "Xvfb did not start: " + server_.errorString().toStdString();
        display_ = QStringLiteral(":") + QString::fromLatin1(server_.readLine().trimmed());

        // openbox runs the startup command once it manages the display.
        const QString ready = scratch_.filePath(QStringLiteral("wm-ready"));
        windowManager_.setProcessEnvironment(environment());
        windowManager_.setProgram(QStringLiteral("openbox"));
        windowManager_.setArguments(
            {QStringLiteral("--startup"), QStringLiteral("touch ") + ready});
        windowManager_.start();
        if (!lumi::test::waitUntil([&] { return QFile::exists(ready); }, StartLimitMs))
            return "openbox did not start: " + windowManager_.errorString().toStdString();
        return {};
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display_);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("suppressions=") + suppressions_);
        return env;
    }

    // Starts and closes the main window over settingsPath; gives the probe's output.
    std::string startAndClose(const std::string& settingsPath) {
        QProcess probe;
        probe.setProcessEnvironment(environment());
        probe.start(QStringLiteral(LUMISIFT_PLACEMENT_PROBE),
                    {QString::fromStdString(settingsPath)});
        if (!probe.waitForFinished(StartLimitMs)) {
            probe.kill();
            probe.waitForFinished();
            return "the probe did not finish";
        }
        return probe.readAllStandardOutput().toStdString() +
               probe.readAllStandardError().toStdString();
    }

private:
    QProcess server_;
    QProcess windowManager_;
    QString display_;
    QTemporaryDir scratch_;
    const QString suppressions_ = scratch_.filePath(QStringLiteral("lsan.supp"));
};

struct Placement {
    int left, top, width, height;
    bool operator==(const Placement&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Placement& p) {
    return out << p.left << "," << p.top << " " << p.width << "x" << p.height;
}

void writePlacement(const std::string& path, const Placement& p) {
    std::ofstream(path) << "[Options]\nLeftPos=" << p.left << "\nTopPos=" << p.top
                        << "\nWidth=" << p.width << "\nHeight=" << p.height << "\nMaximized=0\n";
}

Placement readPlacement(const std::string& path) {
    const TIniFile ini(path);
    return {ini.ReadInteger("Options", "LeftPos", -1), ini.ReadInteger("Options", "TopPos", -1),
            ini.ReadInteger("Options", "Width", -1), ini.ReadInteger("Options", "Height", -1)};
}

} // namespace

// Guards against the window creeping up by its title bar's height at every start.
TEST(WindowPlacementUnderAWindowManager, FiveStartsAndClosesLeaveThePlacementUnchanged) {
    DisplayWithWindowManager display;
    const std::string failed = display.start();
    ASSERT_TRUE(failed.empty()) << failed;
    QTemporaryDir dir;
    const std::string settings = dir.filePath(QStringLiteral("lumisift.ini")).toStdString();

    const Placement saved{100, 80, 700, 520};
    writePlacement(settings, saved);
    for (int start = 1; start <= 5; ++start) {
        SCOPED_TRACE(start);
        const std::string output = display.startAndClose(settings);
        int marginLeft = 0, marginTop = 0;
        ASSERT_EQ(std::sscanf(output.c_str(), "margins %d %d", &marginLeft, &marginTop), 2)
            << output;
        ASSERT_GT(marginTop, 0) << "the window manager gave the window a title bar";
        EXPECT_EQ(readPlacement(settings), saved);
    }

    // A position that would put the title bar outside the screen opens at the default.
    for (const Placement& offScreen : {Placement{100, -20, 700, 520}, Placement{5000, 80, 700, 520},
                                       Placement{-1000, 300, 700, 520}}) {
        SCOPED_TRACE(testing::PrintToString(offScreen));
        writePlacement(settings, offScreen);
        display.startAndClose(settings);
        EXPECT_EQ(readPlacement(settings), (Placement{1, 1, 700, 520}));
    }
}
