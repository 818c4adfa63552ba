#pragma once
// Tfrm_Options: the options dialog. A thin view over the "Options" settings: it fills its
// fields from the settings store each time it is shown, checks the number fields when the
// focus leaves them, and on OK writes every field back and gives the main window's slide
// show its new pause. Cancel writes nothing.
#include <functional>

#include <QDialog>

#include "base/OptionsSettings.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class TExtractForm;
class TForm1;
namespace lumi {
class ServicesPage;
}

class Tfrm_Options : public QDialog {
public:
    // Form1: the main window whose settings store and slide-show timer the dialog uses.
    explicit Tfrm_Options(TForm1& Form1, QWidget* parent = nullptr);

    // Shows a message with an OK button; tests replace it.
    std::function<void(const QString& message)> ShowMessage;
    // The directory chooser the ">>" button opens (set by the program start).
    TExtractForm* ExtractForm = nullptr;

    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr; // "General"
    QWidget* TabSheet2 = nullptr; // "Proxy"
    QWidget* TabSheet3 = nullptr; // "Download"
    QWidget* TabSheet4 = nullptr; // "Slide Show"
    lumi::ServicesPage* ServicesPage1 = nullptr; // "Services"

    QGroupBox* GroupBox1 = nullptr; // "I have a:"
    QRadioButton* radiobutton_Modem = nullptr;
    QRadioButton* radiobutton_LAN = nullptr;
    QGroupBox* GroupBox2 = nullptr; // "Filter Functions:"
    QCheckBox* checkbox_LargerThan = nullptr;
    QLineEdit* edit_LargerThan = nullptr;
    QCheckBox* checkbox_SmallerThan = nullptr;
    QLineEdit* edit_SmallerThan = nullptr;

    QGroupBox* GroupBox3 = nullptr; // "HTTP Proxy Settings:"
    QCheckBox* ProxyCheck = nullptr;
    QLineEdit* ProxyEdit = nullptr;
    QLineEdit* ProxyPortEdit = nullptr;
    QLineEdit* ProxyNameEdit = nullptr;
    QLineEdit* ProxyPassEdit = nullptr;

    QGroupBox* GroupBox4 = nullptr; // "General:"
    QLineEdit* edit_SavePath = nullptr;
    QPushButton* Button1 = nullptr; // ">>"
    QGroupBox* GroupBox5 = nullptr; // "Smart Save"
    QCheckBox* checkbox_SubDir = nullptr;
    QCheckBox* checkbox_NumberedList = nullptr;

    QGroupBox* GroupBox6 = nullptr; // "General:"
    QLineEdit* edit_Wait = nullptr;

    QPushButton* BitBtn2 = nullptr; // OK
    QPushButton* BitBtn1 = nullptr; // Cancel

    void FormShow();
    void focusFirstField();
    void checkbox_LargerThanClick();
    void checkbox_SmallerThanClick();
    void ProxyCheckClick();
    void edit_LargerThanExit();
    void edit_SmallerThanExit();
    void edit_WaitExit();
    void ProxyPortEditExit();
    void Button1Click();
    // Writes every field and closes; a field that does not hold an integer is reported
    // and the dialog stays open with the focus on it, nothing written.
    void BitBtn2Click();

    // The fields as they stand.
    lumi::OptionsValues FieldValues() const;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildGeneralPage();
    void buildProxyPage();
    void buildDownloadPage();
    void buildSlideShowPage();
    // Shows message and puts the focus back into field (on its page).
    void refocus(QLineEdit* field, const QString& message);
    // The check when the focus leaves a number field for another control.
    void checkNumberField(QLineEdit* field, lumi::OptionsField which);

    TForm1& Form1_;
};
