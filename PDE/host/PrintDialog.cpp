#include "PrintDialog.h"

#include "Preview.h"
#include "PrintSession.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tessaron::print {

namespace {

constexpr int kGeneralPage = 0;

// Index of a panel in the session for a page index (the dialog's own page comes first).
size_t panelIndex(int page) { return static_cast<size_t>(page - 1); }

QWidget* missingView(const QString& name) {
    auto* label = new QLabel(PrintDialog::tr("The panel \"%1\" could not be loaded.").arg(name));
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    return label;
}

}  // namespace

PrintDialog::PrintDialog(PrintSession& session, std::vector<DocumentInfo> documents, QWidget* parent)
    : QDialog(parent), session_(session), documents_(std::move(documents)) {
    setWindowTitle(tr("Print to %1").arg(QString::fromStdString(session.queue())));
    pages_ = new QListWidget;
    pages_->setObjectName(QStringLiteral("pages"));
    pages_->setMaximumWidth(190);
    stack_ = new QStackedWidget;
    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("status"));
    status_->setWordWrap(true);

    general_ = new GeneralPage(session.host(), documents_);
    addPage(tr("Copies & Paper"), general_);
    for (const auto& panel : session.panels()) {
        const QString name = panel->panelName();
        QWidget* view = panel->panelView();
        if (view) borrowedViews_.emplace_back(view);
        addPage(name, view ? view : missingView(name));
    }

    summary_ = new QTreeWidget;
    summary_->setObjectName(QStringLiteral("summary"));
    summary_->setColumnCount(2);
    summary_->setHeaderLabels({tr("Setting"), tr("Value")});
    addPage(tr("Summary"), summary_);

    auto* buttons = new QDialogButtonBox;
    QPushButton* help = buttons->addButton(QDialogButtonBox::Help);
    printButton_ = buttons->addButton(tr("Print"), QDialogButtonBox::AcceptRole);
    printButton_->setEnabled(!documents_.empty());
    QPushButton* save = buttons->addButton(tr("Save as Defaults"), QDialogButtonBox::ActionRole);
    buttons->addButton(QDialogButtonBox::Cancel);

    preview_ = new PreviewWidget(session.host(), documents_.empty() ? QImage() : firstPageImage(documents_.front().path));
    session_.setChoiceListener([this] { preview_->refresh(); });
    auto* body = new QHBoxLayout;
    body->addWidget(pages_);
    body->addWidget(stack_, 1);
    body->addWidget(preview_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addWidget(status_);
    layout->addWidget(buttons);

    connect(pages_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row != shown_) showPage(row);
    });
    connect(general_, &GeneralPage::choiceRefused, this, [this](const QString& why) { report(why, true); });
    connect(printButton_, &QPushButton::clicked, this, &PrintDialog::printDocuments);
    connect(save, &QPushButton::clicked, this, &PrintDialog::saveDefaults);
    connect(help, &QPushButton::clicked, this, &PrintDialog::showHelp);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(this, &QDialog::rejected, this, [this] { session_.close(true); });
    showPage(kGeneralPage);
    resize(980, 560);
}

PrintDialog::~PrintDialog() {
    session_.setChoiceListener({});
    for (const QPointer<QWidget>& view : borrowedViews_) {
        if (!view) continue;
        stack_->removeWidget(view);
        view->hide();
        view->setParent(nullptr);
    }
}

void PrintDialog::addPage(const QString& name, QWidget* page) {
    pages_->addItem(name);
    stack_->addWidget(page);
}

int PrintDialog::pageCount() const { return stack_->count(); }

QString PrintDialog::pageName(int index) const {
    const QListWidgetItem* item = pages_->item(index);
    return item ? item->text() : QString();
}

int PrintDialog::currentPage() const { return shown_; }

QString PrintDialog::statusText() const { return status_->text(); }

void PrintDialog::showPage(int index) {
    if (index < 0 || index >= pageCount()) return;
    const auto& panels = session_.panels();
    if (shown_ > kGeneralPage && panelIndex(shown_) < panels.size()) panels[panelIndex(shown_)]->shouldHide();
    if (index > kGeneralPage && panelIndex(index) < panels.size()) panels[panelIndex(index)]->willShow();
    if (index == kGeneralPage) general_->refresh();
    if (stack_->widget(index) == summary_) refreshSummary();
    shown_ = index;
    stack_->setCurrentIndex(index);
    const QSignalBlocker quiet(pages_);
    pages_->setCurrentRow(index);
}

void PrintDialog::refreshSummary() {
    summary_->clear();
    for (const auto& panel : session_.panels()) {
        auto* group = new QTreeWidgetItem(summary_, {panel->panelName()});
        const QMap<QString, QString> info = panel->summaryInfo();
        for (auto it = info.begin(); it != info.end(); ++it) new QTreeWidgetItem(group, {it.key(), it.value()});
    }
    summary_->expandAll();
    summary_->resizeColumnToContents(0);
}

QStringList PrintDialog::summaryLines() const {
    QStringList lines;
    for (int i = 0; i < summary_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* group = summary_->topLevelItem(i);
        for (int j = 0; j < group->childCount(); ++j)
            lines << group->text(0) + ": " + group->child(j)->text(0) + ": " + group->child(j)->text(1);
    }
    return lines;
}

void PrintDialog::showHelp() {
    const auto& panels = session_.panels();
    if (shown_ > kGeneralPage && panelIndex(shown_) < panels.size() && !panels[panelIndex(shown_)]->shouldShowHelp())
        return;  // the panel opened its own help
    report(tr("Choose the pages on the left to set copies, paper and the minilab's options. A choice the "
              "printer cannot combine with another is refused here. Print sends the documents; Save as Defaults "
              "keeps the settings for the queue (see tessaron-print(1))."),
           false);
}

void PrintDialog::report(const QString& text, bool problem) {
    status_->setStyleSheet(problem ? QStringLiteral("color: #b00020;") : QString());
    status_->setText(text);
}

void PrintDialog::printDocuments() {
    session_.commitPanels();
    QStringList done;
    for (const DocumentInfo& document : documents_) {
        std::string error;
        const auto job = session_.print(document.path, error);
        if (!job) {
            report(QString::fromStdString(error), true);
            return;
        }
        done << tr("job %1").arg(job->id);
    }
    report(tr("Sent: %1").arg(done.join(QStringLiteral(", "))), false);
    session_.close(false);
    accept();
}

void PrintDialog::saveDefaults() {
    session_.commitPanels();
    std::string error;
    if (session_.saveDefaults(error))
        report(tr("Saved as the defaults of %1.").arg(QString::fromStdString(session_.queue())), false);
    else
        report(QString::fromStdString(error), true);
}

}  // namespace tessaron::print
