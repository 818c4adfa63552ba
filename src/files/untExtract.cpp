#include "files/untExtract.h"

#include <QDir>
#include <QFile>
#include <QFrame>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QVBoxLayout>

#include "base/ErrorReport.h"
#include "base/FolderScan.h"
#include "base/Latin1.h"
#include "widgets/DirTree.h"

namespace {

const QSize ClientSize(313, 315);
constexpr int PathLabelWidth = 219;
// The widest a folder name is shown in a message, in pixels.
constexpr int MessageNameWidth = 400;

// The path as the user reads it; the bytes themselves stay in the tree.
QString shownPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

} // namespace

TExtractForm::TExtractForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    ShowMessage = [this](const QString& message) {
        QMessageBox::information(this, QStringLiteral("Lumisift"), message);
    };
    InputQuery = [this](const QString& caption, const QString& prompt, QString& value) {
        QInputDialog query(this);
        query.setWindowTitle(caption);
        query.setLabelText(prompt);
        query.setTextValue(value);
        // Wide enough that the title bar shows the whole caption.
        query.setMinimumWidth(query.fontMetrics().horizontalAdvance(caption) + 160);
        if (query.exec() != QDialog::Accepted) return false;
        value = query.textValue();
        return true;
    };
    setWindowTitle(QStringLiteral("Select Directory:"));
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this, this, &QDialog::reject);
    setFixedSize(ClientSize);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    Panel1 = new QFrame(this);
    Panel1->setFixedHeight(44);
    Label1 = new QLabel(QStringLiteral("Path:"), Panel1);
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    Label1->setGeometry(8, 4, 100, 16);
    Label2 = new QLabel(Panel1);
    QFont small = Label2->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    Label2->setFont(small);
    // A long path is cut off at the label's edge.
    Label2->setGeometry(8, 22, PathLabelWidth, 16);
    column->addWidget(Panel1);

    DirTree1 = new TDirTree(this);
    DirTree1->ReadOnStart = true;
    DirTree1->DirTypes = {dtNormal, dtAll};
    DirTree1->FastLoad = true;
    DirTree1->InitialDirectory = QFile::encodeName(QDir::homePath()).toStdString();
    DirTree1->GoBelowRecycleBin = false;
    DirTree1->OnChange = [this](TDirTree*, QTreeWidgetItem*) {
        lumi::runUnderDefaultHandler([&] { DirTree1Change(); });
    };
    column->addWidget(DirTree1, 1);

    Panel2 = new QFrame(this);
    Panel2->setFixedHeight(40);
    SpeedButton1 = new QPushButton(QStringLiteral("Create Dir"), Panel2);
    SpeedButton1->setToolTip(QStringLiteral("Create new directory"));
    SpeedButton1->setGeometry(8, 7, 84, 26);
    BitBtn1 = new QPushButton(QStringLiteral("&OK"), Panel2);
    BitBtn1->setGeometry(147, 7, 76, 26);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("&Cancel"), Panel2);
    BitBtn2->setGeometry(229, 7, 76, 26);
    column->addWidget(Panel2);

    connect(SpeedButton1, &QPushButton::clicked, this,
            [this] { lumi::runUnderDefaultHandler([&] { SpeedButton1Click(); }); });
    connect(BitBtn1, &QPushButton::clicked, this,
            [this] { lumi::runUnderDefaultHandler([&] { BitBtn1Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this,
            [this] { lumi::runUnderDefaultHandler([&] { BitBtn2Click(); }); });

    DirTree1->Loaded();
}

void TExtractForm::FormShow() {
    DirTree1Change();
}

void TExtractForm::DirTree1Change() {
    Label2->setText(shownPath(DirTree1->Directory()));
}

void TExtractForm::SpeedButton1Click() {
    QString typedName;
    if (!InputQuery(QStringLiteral("Create directory"), QStringLiteral("Directory name: "),
                    typedName))
        return;
    if (typedName.trimmed().isEmpty()) {
        ShowMessage(QStringLiteral("Enter a name for the new directory."));
        return;
    }
    const std::string selected = DirTree1->Directory();
    const std::string name = QFile::encodeName(typedName).toStdString();
    // Without a selected folder there is nothing to create the folder in.
    const lumi::CreateFolderResult result =
        selected == "?" ? lumi::CreateFolderResult::Failed : lumi::createSubFolder(selected, name);
    // A long name is shortened in the middle, so that the box stays within the screen.
    const QString shownName =
        fontMetrics().elidedText(typedName, Qt::ElideMiddle, MessageNameWidth);
    if (result == lumi::CreateFolderResult::Exists) {
        ShowMessage(QStringLiteral("Directory exists. Use another name. "));
        return;
    }
    if (result == lumi::CreateFolderResult::Failed)
        ShowMessage(QStringLiteral("Couldn't create directory ") + shownName);
    DirTree1->Reload();
    // The new folder is where the user goes next: it becomes the selection, and the focus
    // goes to it so that Enter accepts it.
    if (result == lumi::CreateFolderResult::Created) {
        DirTree1->SelectPath(selected + name);
        DirTree1->setFocus();
    }
}

void TExtractForm::BitBtn1Click() {
    const std::string selected = DirTree1->Directory();
    // The field shows the path as the file system names it; its bytes are read back with
    // QFile::encodeName.
    if (selected != "?" && edit_SavePath) edit_SavePath->setText(shownPath(selected));
    accept();
}

void TExtractForm::BitBtn2Click() {
    reject();
}

void TExtractForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) lumi::runUnderDefaultHandler([&] { FormShow(); });
}
