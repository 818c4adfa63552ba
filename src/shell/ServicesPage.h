#pragma once
// The options dialog's "Services" page: a check box per search service, the SearXNG
// instance's address, the result pages asked of each archive, the licence and size filter,
// and whether downloads write
// CREDITS.txt. It reads and writes the [Services] section (and WriteCredits) itself; the
// dialog calls load when shown and save on OK.
#include <QString>
#include <QWidget>

#include <array>

#include "analysis/LicenceRights.h"
#include "analysis/SearchServices.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;
class TIniFile;

namespace lumi {

class ServicesPage : public QWidget {
public:
    explicit ServicesPage(QWidget* parent = nullptr);

    void load(const TIniFile& settings);
    // Why the fields cannot be saved ("" when they can): a SearXNG address must be http(s).
    QString problem() const;
    // Raises SettingsWriteError when the file cannot be written.
    void save(TIniFile& settings) const;

    std::array<QCheckBox*, ServiceCount> serviceBoxes{};
    QLineEdit* edit_SearXNGUrl = nullptr;
    QSpinBox* spin_MaxPages = nullptr;
    QComboBox* combo_Licence = nullptr;
    QSpinBox* spin_MinWidth = nullptr;
    QSpinBox* spin_MinHeight = nullptr;
    QCheckBox* checkbox_WriteCredits = nullptr;
};

// Fills a box with the licence filter's choices, each with its LicenceFilter as data.
void fillLicenceChoices(QComboBox& box);

} // namespace lumi
