#include "GeneralPage.h"

#include "DialogHost.h"
#include "PageFormat.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace tessaron::print {

namespace {

constexpr int kMaxCopies = 999;

QString sizeText(const ppd_size_t& size) {
    return QStringLiteral("%1 x %2 mm")
        .arg(std::lround(size.width / 72.0 * 25.4))
        .arg(std::lround(size.length / 72.0 * 25.4));
}

QString documentsText(const std::vector<DocumentInfo>& documents) {
    if (documents.empty()) return GeneralPage::tr("none (the settings can be saved as the queue's defaults)");
    QStringList lines;
    for (const DocumentInfo& doc : documents) {
        const QString name = QFileInfo(QString::fromStdString(doc.path)).fileName();
        lines << (doc.pages ? GeneralPage::tr("%1 (%n page(s))", nullptr, static_cast<int>(*doc.pages)).arg(name)
                            : GeneralPage::tr("%1 (pages counted by the driver)").arg(name));
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

GeneralPage::GeneralPage(DialogHost& host, const std::vector<DocumentInfo>& documents, QWidget* parent)
    : QWidget(parent), host_(host) {
    setObjectName(QStringLiteral("generalPage"));
    auto* printerBox = new QGroupBox(tr("Printer"));
    auto* printerForm = new QFormLayout(printerBox);
    printerForm->addRow(tr("Queue:"), new QLabel(host.printerID()));
    auto* device = new QLabel(host.printerDeviceURI().isEmpty() ? tr("unknown") : host.printerDeviceURI());
    device->setTextInteractionFlags(Qt::TextSelectableByMouse);
    printerForm->addRow(tr("Device:"), device);

    auto* jobBox = new QGroupBox(tr("Copies and Pages"));
    auto* jobForm = new QFormLayout(jobBox);
    copies_ = new QSpinBox;
    copies_->setObjectName(QStringLiteral("copies"));
    copies_->setRange(1, kMaxCopies);
    jobForm->addRow(tr("Copies:"), copies_);
    paperSize_ = new QComboBox;
    paperSize_->setObjectName(QStringLiteral("PageSize"));
    jobForm->addRow(tr("Paper size:"), paperSize_);
    orientation_ = new QComboBox;
    orientation_->setObjectName(QStringLiteral("orientation"));
    orientation_->addItem(tr("Portrait"), QStringLiteral("3"));
    orientation_->addItem(tr("Landscape"), QStringLiteral("4"));
    orientation_->addItem(tr("Reverse landscape"), QStringLiteral("5"));
    orientation_->addItem(tr("Reverse portrait"), QStringLiteral("6"));
    jobForm->addRow(tr("Orientation:"), orientation_);
    auto* docs = new QLabel(documentsText(documents));
    docs->setWordWrap(true);
    jobForm->addRow(tr("Documents:"), docs);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(printerBox);
    layout->addWidget(jobBox);
    layout->addStretch(1);

    fillPaperSizes();
    refresh();
    connect(copies_, &QSpinBox::valueChanged, this, [this](int n) { choose("copies", std::to_string(n)); });
    connect(paperSize_, &QComboBox::activated, this,
            [this](int index) { choose("PageSize", paperSize_->itemData(index).toString().toStdString()); });
    connect(orientation_, &QComboBox::activated, this, [this](int index) {
        choose("orientation-requested", orientation_->itemData(index).toString().toStdString());
    });
}

void GeneralPage::fillPaperSizes() {
    ppd_file_t* ppd = host_.ppdFile();
    ppd_option_t* option = ppd ? ppdFindOption(ppd, "PageSize") : nullptr;
    if (!option) {
        paperSize_->addItem(tr("as the printer sets it"));
        paperSize_->setEnabled(false);
        return;
    }
    for (int i = 0; i < option->num_choices; ++i) {
        const ppd_choice_t& choice = option->choices[i];
        QString title = QString::fromUtf8(*choice.text ? choice.text : choice.choice);
        // Sizes whose name lacks their measure get it in millimetres.
        ppd_size_t* size = ppdPageSize(ppd, choice.choice);
        if (size && !title.contains(QLatin1String("mm"))) title += QStringLiteral("  (%1)").arg(sizeText(*size));
        paperSize_->addItem(title, QString::fromUtf8(choice.choice));
    }
}

void GeneralPage::refresh() {
    const QSignalBlocker blockCopies(copies_);
    const auto copies = host_.currentValue("copies");
    copies_->setValue(copies ? std::clamp(std::atoi(copies->c_str()), 1, kMaxCopies) : 1);
    if (const auto size = host_.currentValue("PageSize")) {
        const int index = paperSize_->findData(QString::fromStdString(*size));
        if (index >= 0) paperSize_->setCurrentIndex(index);
    }
    const auto turned = orientationFromIPP(host_.currentValue("orientation-requested"));
    const int index = orientation_->findData(
        QString::fromStdString(ippValueForOrientation(turned.value_or(pde::PageOrientation::Portrait))));
    orientation_->setCurrentIndex(std::max(index, 0));
}

void GeneralPage::choose(const std::string& key, const std::string& value) {
    std::string why;
    if (!host_.choose(key, value, &why)) {
        emit choiceRefused(QString::fromStdString(why));
        refresh();
    }
}

}  // namespace tessaron::print
