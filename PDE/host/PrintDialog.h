// The dialog window: a list of pages (the dialog's own copies and paper page, one page per
// plug-in panel, and a summary of every panel's values) beside the page shown, a line for
// refused choices and help, and the buttons Help, Print, Save as Defaults and Cancel.
#pragma once

#include "GeneralPage.h"

#include <QDialog>
#include <QPointer>

#include <vector>

class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QTreeWidget;

namespace tessaron::print {

class PrintSession;
class PreviewWidget;

class PrintDialog : public QDialog {
    Q_OBJECT
public:
    PrintDialog(PrintSession& session, std::vector<DocumentInfo> documents, QWidget* parent = nullptr);
    // Hands the panels' views back to their panels, which own them.
    ~PrintDialog() override;

    int pageCount() const;
    QString pageName(int index) const;
    // Shows page `index`, telling the panel that goes and the one that comes.
    void showPage(int index);
    int currentPage() const;
    QString statusText() const;
    const PreviewWidget* preview() const { return preview_; }
    // The summary page's lines, "panel: key: value", as last shown.
    QStringList summaryLines() const;
    // Help for the page shown: the panel's own when it opens one, else the dialog's.
    void showHelp();

private:
    void addPage(const QString& name, QWidget* page);
    void refreshSummary();
    void panelChanged(int index);
    void printDocuments();
    void saveDefaults();
    void report(const QString& text, bool problem);

    PrintSession& session_;
    std::vector<DocumentInfo> documents_;
    QListWidget* pages_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    GeneralPage* general_ = nullptr;
    QLabel* status_ = nullptr;
    QTreeWidget* summary_ = nullptr;
    QPushButton* printButton_ = nullptr;
    PreviewWidget* preview_ = nullptr;
    int shown_ = -1;
    std::vector<QPointer<QWidget>> borrowedViews_;
};

}  // namespace tessaron::print
