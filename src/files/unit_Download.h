#pragma once
// Tfrm_Download: the modal "Downloading Files" window. It shows the save folder, a gauge,
// the files still queued beside the files downloaded, and an Abort button; it closes by
// itself when the queue list empties with every file saved. A queued file shows "Running"
// while it transfers. Failed files are listed under the two lists with their reasons, and
// once nothing is left running the gauge stands full, the window says how many were saved
// and failed, and the Abort button becomes "Close". Escape, Ctrl+W or the close box ask
// before aborting files still queued. A thin view: the Download command fills the queue and reports
// each saved or failed file; closing it ends the batch.
#include <functional>
#include <string>

#include <QDialog>

class QFrame;
class QLabel;
class QListWidget;
class QPushButton;
class TGauge;

class Tfrm_Download : public QDialog {
public:
    // The gap between the two lists.
    static constexpr int GapColumnWidth = 22;

    explicit Tfrm_Download(QWidget* parent = nullptr);

    // Asks a Yes/No question; true for Yes. Tests replace it.
    std::function<bool(const QString& question)> AskYesNo;

    QFrame* Panel1; // top: the folder and the gauge
    QLabel* Label1; // "Saving files to:"
    QLabel* Label2; // the save folder
    TGauge* Gauge1;
    QFrame* Panel2; // the list area
    QFrame* Panel3; // left column
    QLabel* Label3; // "Files in queue:"
    QListWidget* ListBox1;
    QFrame* Panel5; // right column
    QLabel* Label4; // "Files downloaded:"
    QListWidget* ListBox2;
    QLabel* Label5; // "Failed:", shown with the first failure
    QListWidget* ListBox3; // "name: reason" per failed file
    QFrame* Panel6; // bottom: the Abort button
    QPushButton* BitBtn1;
    QLabel* Label6; // at the end: "118 saved, 2 failed"
    QLabel* Label7; // notes: why the batch stopped, a credits problem, names changed to fit

    // Gauge from 0 to the number of queued files.
    void FormShow();
    // Empties both lists.
    void FormClose();
    // Left column: half the list area less the gap; Abort centred (halves to even).
    void FormResize();
    // Abort: stops the batch without asking.
    void BitBtn1Click();
    // Files still queued or transferring.
    bool filesPending() const;
    // Asks whether to abort the files still pending (when there are any); true to go on
    // closing.
    bool confirmAbort();

    // The transfer of the first queue entry named name has started: it shows "Running".
    void fileStarted(const std::string& name);

    // The save step of a finished file: its first queue entry equal to name goes, the
    // downloaded list shows the name it was saved under (savedName, or name when empty) and
    // the gauge advances; an empty queue closes the window unless a file failed or notes
    // are shown.
    void fileSaved(const std::string& name, const std::string& savedName = {});
    // Shows notes (lines) in the summary, or hides them when empty.
    void showNotes(const std::string& notes);
    // The batch stopped by itself: the files still queued will not come; Abort becomes Close.
    void batchStopped(const std::string& notes);
    // A file that could not be saved: its first queue entry equal to name moves to the
    // failed list with the reason; an empty queue turns Abort into "Close".
    void fileFailed(const std::string& name, const std::string& reason);

private:
    bool takeQueued(const std::string& name);
    void queueEmptied();
    void fitNotes();
    int saved_ = 0;
    int failed_ = 0;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // done() is where every way of closing a dialog ends (Escape included).
    void done(int result) override;
    // Escape and the close box come here: they ask first while files are pending.
    void reject() override;
};
