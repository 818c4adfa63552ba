// The Met, the Art Institute of Chicago and NASA's image library from end to end: lumisift-cli
// searches the stand-in web, whose answers are shaped as each API's documentation shows.
#include <algorithm>
#include <array>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTabWidget>
#include <QTemporaryDir>

#include "SandboxProcess.h"
#include "analysis/ArchiveService.h"
#include "shell/Main.h"
#include "shell/ServicesPage.h"
#include "shell/unit_Options.h"

using namespace lumi::test;

namespace {

const char* const kMuseums[] = {"The Met", "Art Institute of Chicago", "NASA Images"};

// The three collections alone; every picture of the stand-in web passes the size bounds.
std::string museumsOnly(int maxPages) {
    return "SlowConnection=0\r\nLargerThan=10\r\n[Services]\r\nHotBot=0\r\nLycos=0\r\nScourNet=0\r\n"
           "LycosImagesDirect=0\r\nOpenverse=0\r\nCommons=0\r\nSearXNG=0\r\nMaxPages=" +
           std::to_string(maxPages) + "\r\n";
}

// A row's service, address, landing page, title, creator, licence and thumbnail.
std::string rowFields(const std::string& line) {
    const QJsonObject row = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    QJsonObject kept;
    for (const char* key : {"service", "url", "page", "title", "creator", "licence", "thumbnail"})
        kept[QLatin1String(key)] = row.value(QLatin1String(key));
    return QJsonDocument(kept).toJson(QJsonDocument::Compact).toStdString();
}

size_t metObjectsFetched(const SandboxProcess& sandbox) {
    const auto log = sandbox.lines("/__fetched");
    return size_t(std::count_if(log.begin(), log.end(), [](const std::string& line) {
        return line.find("/public/collection/v1/objects/") != std::string::npos;
    }));
}

} // namespace

// Rows listed with their titles, creators and licences; pages asked within the budget; an
// error answer said in words; the Met's objects fetched a page at a time, never all at once.
TEST(MuseumEndToEnd, CollectionsListTheirPublicDomainPicturesWithinBounds) {
    SandboxProcess sandbox(kQuickSandbox);
    ASSERT_TRUE(sandbox.running()) << sandbox.error();
    struct Case {
        const char* phrase;
        int maxPages;
        std::array<const char*, 3> said; // in each collection's line of the diagnostics
        size_t metObjects;               // fetched of the Met's 70
        bool rowsAsModelled;
        int exitCode;
    };
    const Case cases[] = {
        {"sunflowers", 3,
         {"pages 1 asked, 1 answered (200 x1), items 60 asked, 60 read", "pages 2 asked, 2 answered",
          "pages 2 asked, 2 answered"},
         60, true, 0},
        {"harbour lights", 1,
         {"items 20 asked, 20 read", "pages 1 asked, 1 answered", "pages 1 asked, 1 answered"}, 20,
         false, 0},
        {"hostile-empty", 3, {"pages 1 asked, 1 answered", "pages 1 asked, 1 answered", "pages 1 asked"}, 0,
         true, 0},
        {"hostile-apierror", 3,
         {"the service refused the request (403)",
          "(403); the service says \"You have requested too many results. Please refine your parameters.\"",
          "answered with status 400; the service says \"Invalid page_size: must be a positive integer\""},
         0, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.phrase);
        QTemporaryDir dir;
        const size_t fetchedBefore = metObjectsFetched(sandbox);
        sandbox.get("/__peak");
        const CliSearch run = runCli(sandbox, QStringList{QStringLiteral("search"), QString::fromStdString(c.phrase),
                                                          QStringLiteral("--format"), QStringLiteral("jsonl"),
                                                          QStringLiteral("--stats"), QStringLiteral("--ini"),
                                                          writeIni(dir, museumsOnly(c.maxPages))} +
                                                 kUntilIdle);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.errors;
        std::set<std::string> rows, modelled;
        for (const std::string& line : run.rows)
            rows.insert(rowFields(line));
        for (const std::string& line : sandbox.lines("/__archives?phrase=" + queryEncode(c.phrase)))
            if (line.find("\"service\":\"The Met\"") != std::string::npos ||
                line.find("\"service\":\"Art Institute") != std::string::npos ||
                line.find("\"service\":\"NASA Images\"") != std::string::npos)
                modelled.insert(rowFields(line));
        if (c.rowsAsModelled) {
            EXPECT_EQ(rows, modelled);
        } else {
            EXPECT_TRUE(std::includes(modelled.begin(), modelled.end(), rows.begin(), rows.end()));
        }
        for (size_t s = 0; s < 3; ++s) {
            bool said = false;
            for (const std::string& line : splitLines(run.errors))
                said = said || (line.rfind(std::string(kMuseums[s]) + ": ", 0) == 0 &&
                                line.find(c.said[s]) != std::string::npos);
            EXPECT_TRUE(said) << kMuseums[s] << " said nothing of it:\n" << run.errors;
        }
        EXPECT_EQ(metObjectsFetched(sandbox) - fetchedBefore, c.metObjects);
        const std::string peak = sandbox.get("/__peak");
        EXPECT_LE(std::atoi(peak.substr(peak.find(' ') + 1).c_str()), 6) << peak;
    }
}

// An archive is one file: each of the list has its switch on the options dialog's Services
// page and its line in doctor. With LUMISIFT_SERVICES_SHOT=FILE.png the dialog is grabbed
// into FILE.png (the README's picture).
TEST(MuseumEndToEnd, TheListOfArchivesDrivesTheServicesPageAndDoctor) {
    SandboxProcess sandbox(kQuickSandbox);
    ASSERT_TRUE(sandbox.running()) << sandbox.error();
    QTemporaryDir dir;
    const QString ini = writeIni(dir, "[Services]\r\nSearXNG=1\r\n");
    const CliSearch doctor = runCli(sandbox, {QStringLiteral("doctor"), QStringLiteral("--ini"), ini});
    TForm1 form(writeIni(dir, "").toStdString()); // never shown: it only owns the settings
    Tfrm_Options dialog(form);
    dialog.PageControl1->setCurrentWidget(dialog.ServicesPage1);
    dialog.show();
    for (const lumi::ArchiveService* archive : lumi::archiveServices()) {
        SCOPED_TRACE(archive->name);
        const auto* box = dialog.ServicesPage1->findChild<QCheckBox*>(QString::fromLatin1(archive->setting.key));
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), QString::fromUtf8(archive->checkBoxText));
        EXPECT_EQ(box->isChecked(), archive->setting.fallback);
        const std::string line = std::string(archive->name) + ": reachable yes, TLS not used, answer understood yes";
        EXPECT_EQ(std::count_if(doctor.rows.begin(), doctor.rows.end(),
                                [&](const std::string& row) { return row.rfind(line, 0) == 0; }),
                  1)
            << doctor.errors;
    }
    if (const QString shot = qEnvironmentVariable("LUMISIFT_SERVICES_SHOT"); !shot.isEmpty()) {
        EXPECT_TRUE(dialog.grab().save(shot));
    }
}
