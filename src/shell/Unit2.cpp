#include "shell/Unit2.h"

#include <string>

#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "base/Latin1.h"
#include "engine/SearchEngine.h"

namespace {

constexpr int PanelHeight = 113;
constexpr int RowHeight = 17;
constexpr int CaptionLeft = 8;
constexpr int ValueLeft = 128;

QLabel* addLabel(QWidget* panel, const char* name, const char* text, int left, int row) {
    auto* label = new QLabel(QString::fromLatin1(text), panel);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(left, 4 + row * RowHeight, left == CaptionLeft ? 116 : 200, RowHeight);
    return label;
}

} // namespace

TForm2::TForm2(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Form2"));
    setGeometry(659, 7, 364, 417);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(PanelHeight);
    Label3 = addLabel(Panel1, "Label3", "GetPage Clients:", CaptionLeft, 0);
    Label9 = addLabel(Panel1, "Label9", "Label9", ValueLeft, 0);
    Label4 = addLabel(Panel1, "Label4", "CheckLink Clients:", CaptionLeft, 1);
    Label10 = addLabel(Panel1, "Label10", "Label10", ValueLeft, 1);
    Label5 = addLabel(Panel1, "Label5", "GetPage Queue:", CaptionLeft, 2);
    Label13 = addLabel(Panel1, "Label13", "Label13", ValueLeft, 2);
    Label6 = addLabel(Panel1, "Label6", "CheckLink Queue:", CaptionLeft, 3);
    Label14 = addLabel(Panel1, "Label14", "Label14", ValueLeft, 3);
    Label7 = addLabel(Panel1, "Label7", "Double Check:", CaptionLeft, 4);
    Label2 = addLabel(Panel1, "Label2", "0", ValueLeft, 4);
    Label8 = addLabel(Panel1, "Label8", "Double GetPage:", CaptionLeft, 5);
    Label1 = addLabel(Panel1, "Label1", "0", ValueLeft, 5);

    label_Services = new QLabel(this);
    label_Services->setObjectName(QStringLiteral("label_Services"));
    label_Services->setWordWrap(true);
    label_Services->setContentsMargins(CaptionLeft, 2, 4, 2);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setMaximumBlockCount(static_cast<int>(lumi::SearchEngine::MaxDiagnosticsLines));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(label_Services);
    layout->addWidget(Memo1, 1);
}

void TForm2::attachEngine(lumi::SearchEngine* engine) {
    engine_ = engine;
    connect(engine, &lumi::SearchEngine::displayChanged, this, &TForm2::showEngineCounters);
    connect(engine, &lumi::SearchEngine::diagnosticsLineAdded, Memo1,
            &QPlainTextEdit::appendPlainText);
    for (const std::string& line : engine->diagnosticsMemo())
        Memo1->appendPlainText(lumi::shownText(line));
    showEngineCounters();
}

void TForm2::showEngineCounters() {
    const lumi::SearchDisplay& shown = engine_->display();
    Label9->setText(lumi::latin1(shown.getPageClientsText));
    Label10->setText(lumi::latin1(shown.checkLinkClientsText));
    Label13->setText(lumi::latin1(shown.getPageQueueText));
    Label14->setText(lumi::latin1(shown.checkLinkQueueText));
    Label2->setText(lumi::latin1(shown.doubleCheckText));
    Label1->setText(lumi::latin1(shown.doubleGetPageText));
    QStringList services;
    for (const std::string& line : engine_->serviceHealth().lines())
        services << QString::fromStdString(line);
    label_Services->setText(services.join(QLatin1Char('\n')));
}
