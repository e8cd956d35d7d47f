// The dialog's own page beside the plug-in's panels: printer, copies, paper size and
// orientation, and the documents to print. Every change goes through the host's write
// path, so a paper size the PPD's constraints forbid is refused here as in a panel.
#pragma once

#include <QWidget>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QSpinBox;

namespace tessaron::print {

class DialogHost;

struct DocumentInfo {
    std::string path;
    std::optional<uint32_t> pages;
};

class GeneralPage : public QWidget {
    Q_OBJECT
public:
    GeneralPage(DialogHost& host, const std::vector<DocumentInfo>& documents, QWidget* parent = nullptr);

    // Shows the host's current values again (after the command line or a panel chose).
    void refresh();

signals:
    // A choice was refused; the text says why.
    void choiceRefused(const QString& why);

private:
    void fillPaperSizes();
    void choose(const std::string& key, const std::string& value);

    DialogHost& host_;
    QSpinBox* copies_ = nullptr;
    QComboBox* paperSize_ = nullptr;
    QComboBox* orientation_ = nullptr;
};

}  // namespace tessaron::print
