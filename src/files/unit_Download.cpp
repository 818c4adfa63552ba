#include "files/unit_Download.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "base/Clock.h"
#include "base/ErrorReport.h"
#include "base/Latin1.h"
#include "widgets/Gauges.h"

namespace {

constexpr int TopPanelHeight = 74;
constexpr int BottomPanelHeight = 41;
constexpr int HeadingHeight = 20;
constexpr int FailedListHeight = 90;

QFrame* blackPanel(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setAutoFillBackground(true);
    QPalette colours = panel->palette();
    colours.setColor(QPalette::Window, Qt::black);
    colours.setColor(QPalette::WindowText, Qt::white);
    panel->setPalette(colours);
    return panel;
}

QLabel* boldLabel(QWidget* parent, const QString& text) {
    auto* label = new QLabel(text, parent);
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    label->setFont(font);
    return label;
}

// A name too long for its list is elided in the middle, where the numbering and the end of
// a name still show, instead of running under a horizontal scroll bar.
class ElidedNames : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem fitted = option;
        if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget))
            fitted.rect.setRight(std::min(fitted.rect.right(), view->viewport()->rect().right()));
        fitted.textElideMode = Qt::ElideMiddle;
        QStyledItemDelegate::paint(painter, fitted, index);
    }
};

void showNamesElided(QListWidget& list) {
    list.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list.setTextElideMode(Qt::ElideMiddle);
    list.setItemDelegate(new ElidedNames(&list));
}

// Room for names of about this many characters in each list.
constexpr int NameCharacters = 44;

} // namespace

Tfrm_Download::Tfrm_Download(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Downloading Files"));
    // Wide enough for two columns of names in the window's font, within the screen.
    const int wanted = 2 * fontMetrics().averageCharWidth() * NameCharacters + GapColumnWidth + 16;
    const int room = screen() ? screen()->availableGeometry().width() * 9 / 10 : wanted;
    resize(std::max(400, std::min(wanted, room)), 400);
    setModal(true);
    AskYesNo = [this](const QString& question) {
        return QMessageBox::question(this, QStringLiteral("Lumisift"), question,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this, this, &QDialog::reject);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    Panel1 = blackPanel(this);
    Panel1->setFixedHeight(TopPanelHeight);
    Label1 = boldLabel(Panel1, QStringLiteral("Saving files to:"));
    Label1->setGeometry(8, 6, 120, 16);
    Label2 = boldLabel(Panel1, QString());
    // The folder gets a line of its own: it is often long.
    Label2->setGeometry(8, 24, 384, 16);
    Gauge1 = new TGauge(Panel1);
    Gauge1->setBackColor(Qt::lightGray);
    Gauge1->setForeColor(QColor(0x80, 0, 0));
    column->addWidget(Panel1);

    Panel2 = blackPanel(this);
    auto* lists = new QHBoxLayout(Panel2);
    lists->setContentsMargins(8, 4, 8, 4);
    lists->setSpacing(0);
    const auto listColumn = [&](QFrame*& panel, QLabel*& heading, QListWidget*& list,
                                const QString& caption) {
        panel = blackPanel(Panel2);
        auto* stack = new QVBoxLayout(panel);
        stack->setContentsMargins(0, 0, 0, 0);
        stack->setSpacing(0);
        heading = boldLabel(panel, caption);
        heading->setFixedHeight(HeadingHeight);
        list = new QListWidget(panel);
        showNamesElided(*list);
        stack->addWidget(heading);
        stack->addWidget(list, 1);
    };
    listColumn(Panel3, Label3, ListBox1, QStringLiteral("Files in queue:"));
    listColumn(Panel5, Label4, ListBox2, QStringLiteral("Files downloaded:"));
    lists->addWidget(Panel3);
    lists->addSpacing(GapColumnWidth);
    lists->addWidget(Panel5, 1);
    column->addWidget(Panel2, 1);

    auto* failedArea = blackPanel(this);
    auto* failedStack = new QVBoxLayout(failedArea);
    failedStack->setContentsMargins(8, 0, 8, 4);
    failedStack->setSpacing(0);
    Label7 = boldLabel(failedArea, QString());
    Label7->setWordWrap(true);
    Label7->hide();
    failedStack->addWidget(Label7);
    Label5 = boldLabel(failedArea, QStringLiteral("Failed:"));
    Label5->setFixedHeight(HeadingHeight);
    ListBox3 = new QListWidget(failedArea);
    showNamesElided(*ListBox3);
    ListBox3->setFixedHeight(FailedListHeight);
    failedStack->addWidget(Label5);
    failedStack->addWidget(ListBox3);
    Label5->hide();
    ListBox3->hide();
    column->addWidget(failedArea);

    Panel6 = blackPanel(this);
    Panel6->setFixedHeight(BottomPanelHeight);
    BitBtn1 = new QPushButton(QStringLiteral("Abort"), Panel6);
    BitBtn1->setGeometry(0, 8, 90, 25);
    BitBtn1->setDefault(true);
    Label6 = boldLabel(Panel6, QString());
    Label6->setGeometry(8, 12, 140, 16);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    column->addWidget(Panel6);

    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::black);
    setPalette(colours);
    FormResize();
}

void Tfrm_Download::FormShow() {
    BitBtn1->setText(QStringLiteral("Abort"));
    Label6->clear();
    saved_ = 0;
    failed_ = 0;
    Gauge1->setProgress(0);
    Gauge1->setMaxValue(ListBox1->count());
    // Abort holds the focus, so that no list shows a current entry as if it were chosen.
    BitBtn1->setFocus();
}

void Tfrm_Download::FormClose() {
    ListBox1->clear();
    ListBox2->clear();
    ListBox3->clear();
    Label5->hide();
    ListBox3->hide();
    showNotes({});
}

void Tfrm_Download::FormResize() {
    const int listWidth = Panel2->contentsRect().width() -
                          Panel2->layout()->contentsMargins().left() -
                          Panel2->layout()->contentsMargins().right();
    Panel3->setFixedWidth(static_cast<int>(
        std::max<int64_t>(0, lumi::roundHalfEven(listWidth / 2.0 - GapColumnWidth))));
    BitBtn1->move(
        static_cast<int>(lumi::roundHalfEven(Panel6->width() / 2.0 - BitBtn1->width() / 2.0)),
        BitBtn1->y());
    Gauge1->setGeometry(8, TopPanelHeight - 28, std::max(0, Panel1->width() - 16), 20);
    Label2->resize(std::max(0, Panel1->width() - Label2->x() - 8), Label2->height());
    Label6->resize(std::max(0, BitBtn1->x() - 16), Label6->height());
    fitNotes();
}

void Tfrm_Download::BitBtn1Click() {
    QDialog::reject();
}

bool Tfrm_Download::filesPending() const {
    return ListBox1->count() > 0;
}

bool Tfrm_Download::confirmAbort() {
    if (!filesPending()) return true;
    return AskYesNo(
        QStringLiteral("%1 files are not saved yet. Abort the download?").arg(ListBox1->count()));
}

void Tfrm_Download::reject() {
    if (confirmAbort()) QDialog::reject();
}

// A running entry keeps its name in the user role and shows "Running: name".
void Tfrm_Download::fileStarted(const std::string& name) {
    const QString entry = QString::fromStdString(name);
    for (int row = 0; row < ListBox1->count(); ++row) {
        QListWidgetItem* item = ListBox1->item(row);
        if (item->text() != entry || item->data(Qt::UserRole).isValid()) continue;
        item->setData(Qt::UserRole, entry);
        item->setText(QStringLiteral("Running: ") + entry);
        return;
    }
}

bool Tfrm_Download::takeQueued(const std::string& name) {
    const QString entry = QString::fromStdString(name);
    // The running entry of that name first, else a waiting one.
    for (const bool running : {true, false}) {
        for (int row = 0; row < ListBox1->count(); ++row) {
            const QListWidgetItem* item = ListBox1->item(row);
            const bool match =
                running ? item->data(Qt::UserRole).toString() == entry : item->text() == entry;
            if (!match) continue;
            delete ListBox1->takeItem(row);
            return true;
        }
    }
    return false;
}

// Closes when every file arrived; with failures the window stays so that their reasons can
// be read, and Abort, which has nothing left to abort, becomes Close.
void Tfrm_Download::queueEmptied() {
    if (ListBox1->count() != 0) return;
    Label6->setText(QStringLiteral("%1 saved, %2 failed").arg(saved_).arg(failed_));
    if (ListBox3->count() == 0 && Label7->isHidden())
        close();
    else
        BitBtn1->setText(QStringLiteral("Close"));
}

void Tfrm_Download::showNotes(const std::string& notes) {
    QString text = QString::fromStdString(notes).trimmed();
    Label7->setText(text);
    Label7->setVisible(!text.isEmpty());
    fitNotes();
}

// A wrapped label in a layout is not given the height its lines need unless asked.
void Tfrm_Download::fitNotes() {
    Label7->setMinimumHeight(Label7->heightForWidth(std::max(0, width() - 16)));
}

void Tfrm_Download::batchStopped(const std::string& notes) {
    showNotes(notes);
    ListBox1->clear();
    Label6->setText(QStringLiteral("%1 saved, %2 failed").arg(saved_).arg(failed_));
    BitBtn1->setText(QStringLiteral("Close"));
}

void Tfrm_Download::fileSaved(const std::string& name, const std::string& savedName) {
    takeQueued(name);
    ListBox2->addItem(QString::fromStdString(savedName.empty() ? name : savedName));
    ++saved_;
    Gauge1->AddProgress(1);
    queueEmptied();
}

void Tfrm_Download::fileFailed(const std::string& name, const std::string& reason) {
    takeQueued(name);
    Label5->show();
    ListBox3->show();
    ListBox3->addItem(QString::fromStdString(name + ": " + reason));
    // The gauge counts every file that ended, so that it stands full at the end.
    ++failed_;
    Gauge1->AddProgress(1);
    queueEmptied();
}

void Tfrm_Download::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    lumi::runUnderDefaultHandler([this] { FormShow(); });
}

void Tfrm_Download::done(int result) {
    lumi::runUnderDefaultHandler([this] { FormClose(); });
    QDialog::done(result);
}

void Tfrm_Download::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    lumi::runUnderDefaultHandler([this] { FormResize(); });
}
