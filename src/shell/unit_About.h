#pragma once
// Tfrm_About: the about box. Shows the program's name and version and links to the maker's
// home page; created once at program start and shown modally by the About command.
#include <functional>
#include <string>

#include <QDialog>

class QFrame;
class QLabel;
class TGlimFade;

class Tfrm_About : public QDialog {
public:
    explicit Tfrm_About(QWidget* parent = nullptr);

    // Opens the maker's home page: the main window's CallBrowser.
    std::function<void(const std::string& target)> CallBrowser;

    QLabel* Image1 = nullptr;
    QLabel* label_ProgramName = nullptr;
    QLabel* label_Version = nullptr;
    QLabel* label_Notice = nullptr;
    QFrame* Bevel1 = nullptr;
    QLabel* label_Visit = nullptr;
    QLabel* Label_URL = nullptr;
    QFrame* Bevel2 = nullptr;
    TGlimFade* GlimFade1 = nullptr;

    // Sets the texts; runs on every showing.
    void FormShow();
    void Image1Click();
    void Label_URLClick();
    void GlimFade1Click();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};
