#pragma once
// The main window's search bar: the title, the status and counters the engine keeps, the
// phrase box with Search/Abort and the licence box beside it, the two search check boxes and
// "More Info". It shows what the
// engine keeps and hands it the user's input.
#include <functional>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QString;
class QWidget;
class TGlimFade;

namespace lumi {

class SearchEngine;

class SearchBar {
public:
    static constexpr int Height = 84;

    // Builds the bar (Panel1) inside parent.
    explicit SearchBar(QWidget* parent);

    // Wires the labels, the phrase box and the buttons to engine (the engine outlives the bar).
    void attachEngine(SearchEngine* engine);

    // A search started for phrase (the phrase box's text, trimmed).
    std::function<void(const QString& phrase)> OnSearchStarted;
    // "More Info": what it shows is the window's to say.
    std::function<void()> OnMoreInfo;

    QFrame* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* StatusCaption = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* FoundCaption = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* ProcessesCaption = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit1 = nullptr;
    // The licence filter, kept in the settings at once; the Services page sets it too.
    QComboBox* combo_Licence = nullptr;
    TGlimFade* SearchButton = nullptr;
    TGlimFade* AbortButton = nullptr;
    QCheckBox* CheckBox_CheckLinks = nullptr;
    QCheckBox* CheckBox_RecursiveSearch = nullptr;
    QPushButton* Button1 = nullptr;

    void SearchButtonClick();
    void AbortButtonClick();
    void Edit1KeyPress(char& key);
    void Button1Click();
    // Shows the licence filter the settings hold (after the options dialog changed it).
    void showLicenceChoice();

private:
    void showEngineState();
    // Gives the phrase box and the status values the room beyond the bar's smallest width.
    void growToWidth();
    void tellSearchStarted();

    SearchEngine* engine_ = nullptr;
    int phraseWidth_ = 0; // at the bar's smallest width
};

} // namespace lumi
