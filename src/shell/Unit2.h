#pragma once
// TForm2: the diagnostics window, a thin view over the search engine's counters and memo.
// Created hidden at program start; its labels follow the engine whether shown or not.
#include <QWidget>

class QFrame;
class QLabel;
class QPlainTextEdit;

namespace lumi {
class SearchEngine;
}

class TForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);

    // Follows the engine's counters and memo from now on (the engine outlives the window).
    void attachEngine(lumi::SearchEngine* engine);

    QFrame* Panel1;
    QLabel* Label3; // "GetPage Clients:"
    QLabel* Label4; // "CheckLink Clients:"
    QLabel* Label5; // "GetPage Queue:"
    QLabel* Label6; // "CheckLink Queue:"
    QLabel* Label7; // "Double Check:"
    QLabel* Label8; // "Double GetPage:"
    QLabel* Label9;
    QLabel* Label10;
    QLabel* Label13;
    QLabel* Label14;
    QLabel* Label2;
    QLabel* Label1;
    QLabel* label_Services = nullptr; // one line per search service
    QPlainTextEdit* Memo1;

private:
    void showEngineCounters();

    lumi::SearchEngine* engine_ = nullptr;
};
