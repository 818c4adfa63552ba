#pragma once
// TExtractForm: the directory chooser. It shows the folder tree, lets the user create a
// folder inside the selected one, and on OK hands the selected folder to the options
// dialog's save-folder field.
#include <functional>

#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class TDirTree;

class TExtractForm : public QDialog {
public:
    explicit TExtractForm(QWidget* parent = nullptr);

    // Shows a message with an OK button; tests replace it.
    std::function<void(const QString& message)> ShowMessage;
    // Asks for a text (value holds the start text and receives the answer); false when the
    // user cancels. Tests replace it.
    std::function<bool(const QString& caption, const QString& prompt, QString& value)> InputQuery;
    // The options dialog's save-folder field that OK writes into (set by the program start).
    QLineEdit* edit_SavePath = nullptr;

    QFrame* Panel1 = nullptr;
    QLabel* Label1 = nullptr; // "Path:"
    QLabel* Label2 = nullptr;
    TDirTree* DirTree1 = nullptr;
    QFrame* Panel2 = nullptr;
    QPushButton* SpeedButton1 = nullptr; // "Create Dir"
    QPushButton* BitBtn1 = nullptr;      // "&OK"
    QPushButton* BitBtn2 = nullptr;      // "&Cancel"

    void FormShow();
    void DirTree1Change();
    // Creates a folder inside the selected one under a name the user types.
    void SpeedButton1Click();
    // Hands the selected folder on (nothing when none is selected) and closes.
    void BitBtn1Click();
    void BitBtn2Click();

protected:
    void showEvent(QShowEvent* event) override;
};
