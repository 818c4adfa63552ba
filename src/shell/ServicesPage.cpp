#include "shell/ServicesPage.h"

#include <iterator>
#include <utility>

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include "base/IniFiles.h"
#include "engine/CreditsFile.h"
#include "engine/ServiceChoice.h"

namespace lumi {

namespace {

// The service's name with its Alt key, none alike in the options dialog.
QString mnemonicCaption(ServiceId service) {
    const std::pair<ServiceId, const char*> captions[] = {
        {ServiceId::Openverse, "O&penverse"},
        {ServiceId::Commons, "&Wikimedia Commons"},
        {ServiceId::SearXNG, "Sear&XNG"},
        {ServiceId::HotBot, "&HotBot"},
        {ServiceId::Lycos, "L&ycos"},
        {ServiceId::ScourNet, "ScourNe&t"},
        {ServiceId::LycosImagesDirect, "Lycos &Images Direct"}};
    for (const auto& [id, caption] : captions)
        if (id == service) return QString::fromLatin1(caption);
    return QString::fromUtf8(serviceName(service));
}

} // namespace

void fillLicenceChoices(QComboBox& box) {
    for (const LicenceFilter filter :
         {LicenceFilter::Any, LicenceFilter::Commercial, LicenceFilter::Modify,
          LicenceFilter::CommercialAndModify, LicenceFilter::PublicDomain})
        box.addItem(QString::fromLatin1(licenceFilterLabel(filter)), static_cast<int>(filter));
}

ServicesPage::ServicesPage(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(2);
    layout->addWidget(new QLabel(QStringLiteral("Ask these services:"), this));
    // Archives first, in the left column: they are the ones that answer on today's web.
    auto* boxes = new QGridLayout;
    boxes->setVerticalSpacing(2);
    const ServiceId order[] = {ServiceId::Openverse, ServiceId::Commons, ServiceId::SearXNG,
                               ServiceId::HotBot, ServiceId::Lycos, ServiceId::ScourNet,
                               ServiceId::LycosImagesDirect};
    for (size_t i = 0; i < std::size(order); ++i) {
        auto* box = new QCheckBox(mnemonicCaption(order[i]), this);
        box->setObjectName(QString::fromLatin1(serviceSettingKey(order[i])));
        serviceBoxes[static_cast<size_t>(order[i])] = box;
        const bool archive = i < 3;
        const int row = static_cast<int>(archive ? i : i - 3);
        boxes->addWidget(box, row, archive ? 0 : 1);
    }
    layout->addLayout(boxes);
    auto* form = new QFormLayout;
    edit_SearXNGUrl = new QLineEdit(this);
    edit_SearXNGUrl->setObjectName(QStringLiteral("edit_SearXNGUrl"));
    edit_SearXNGUrl->setPlaceholderText(QStringLiteral("https://searx.example.org"));
    form->addRow(QStringLiteral("SearXNG address:"), edit_SearXNGUrl);
    spin_MaxPages = new QSpinBox(this);
    spin_MaxPages->setRange(MinArchivePages, MaxArchivePages);
    form->addRow(QStringLiteral("Result pages per archive:"), spin_MaxPages);
    combo_Licence = new QComboBox(this);
    combo_Licence->setObjectName(QStringLiteral("combo_Licence"));
    fillLicenceChoices(*combo_Licence);
    form->addRow(QStringLiteral("&Licence:"), combo_Licence);
    auto* sizes = new QHBoxLayout;
    for (QSpinBox** spin : {&spin_MinWidth, &spin_MinHeight}) {
        *spin = new QSpinBox(this);
        (*spin)->setRange(0, MaxMinimumPixels);
        (*spin)->setSpecialValueText(QStringLiteral("any"));
        sizes->addWidget(*spin);
        if (spin == &spin_MinWidth) sizes->addWidget(new QLabel(QStringLiteral("x"), this));
    }
    sizes->addWidget(new QLabel(QStringLiteral("pixels"), this));
    sizes->addStretch(1);
    form->addRow(QStringLiteral("At least:"), sizes);
    layout->addLayout(form);
    checkbox_WriteCredits =
        new QCheckBox(QStringLiteral("W&rite CREDITS.txt with downloads"), this);
    layout->addWidget(checkbox_WriteCredits);
    layout->addStretch(1);
}

void ServicesPage::load(const TIniFile& settings) {
    const auto entries = settings.Entries();
    const ServiceChoice choice = readServiceChoice(*entries);
    for (size_t i = 0; i < ServiceCount; ++i)
        serviceBoxes[i]->setChecked(choice.enabled[i]);
    edit_SearXNGUrl->setText(QString::fromStdString(choice.searxngUrl));
    spin_MaxPages->setValue(choice.maxPages);
    combo_Licence->setCurrentIndex(combo_Licence->findData(static_cast<int>(choice.licence)));
    spin_MinWidth->setValue(choice.minWidth);
    spin_MinHeight->setValue(choice.minHeight);
    checkbox_WriteCredits->setChecked(creditsWanted(*entries));
}

QString ServicesPage::problem() const {
    const QString url = edit_SearXNGUrl->text().trimmed();
    if (url.isEmpty() || url.startsWith(QLatin1String("http://")) ||
        url.startsWith(QLatin1String("https://")))
        return {};
    return QStringLiteral("The SearXNG address must begin with http:// or https://");
}

void ServicesPage::save(TIniFile& settings) const {
    ServiceChoice choice;
    for (size_t i = 0; i < ServiceCount; ++i)
        choice.enabled[i] = serviceBoxes[i]->isChecked();
    choice.searxngUrl = edit_SearXNGUrl->text().trimmed().toStdString();
    choice.maxPages = spin_MaxPages->value();
    choice.licence = static_cast<LicenceFilter>(combo_Licence->currentData().toInt());
    choice.minWidth = spin_MinWidth->value();
    choice.minHeight = spin_MinHeight->value();
    writeServiceChoice(settings, choice);
    writeCreditsWanted(settings, checkbox_WriteCredits->isChecked());
}

} // namespace lumi
