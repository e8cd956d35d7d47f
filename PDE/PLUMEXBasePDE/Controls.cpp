#include "Controls.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStandardItemModel>

#include <cmath>

namespace tessaron::pde {
namespace {

constexpr int kItemTagRole = Qt::UserRole + 1;
constexpr const char* kMatrixGroupName = "tessaronMatrix";

double scaleOf(const QWidget* w) {
    bool ok = false;
    const double s = w->property("scale").toDouble(&ok);
    return ok && s > 0 ? s : 1.0;
}

}  // namespace

std::optional<int> tagOf(const QWidget* w) {
    if (!w) return std::nullopt;
    const QVariant v = w->property("tag");
    bool ok = false;
    const int t = v.toInt(&ok);
    if (!v.isValid() || !ok) return std::nullopt;
    return t;
}

QWidget* controlForTag(QWidget* view, int tag) {
    if (!view) return nullptr;
    if (tagOf(view) == tag) return view;
    for (QWidget* child : view->findChildren<QWidget*>())
        if (tagOf(child) == tag) return child;
    return nullptr;
}

QWidget* siblingForTag(QWidget* near, int tag, QWidget* root) {
    if (near && near->parentWidget())
        if (QWidget* w = controlForTag(near->parentWidget(), tag)) return w;
    return controlForTag(root, tag);
}

ControlKind kindOf(const QWidget* w) {
    if (!w) return ControlKind::None;
    if (qobject_cast<const QComboBox*>(w)) return ControlKind::PopUp;
    if (matrixGroup(w)) return ControlKind::Matrix;
    if (qobject_cast<const QCheckBox*>(w)) return ControlKind::CheckBox;
    if (qobject_cast<const QLineEdit*>(w)) return ControlKind::TextField;
    if (qobject_cast<const QSlider*>(w)) return ControlKind::Slider;
    if (qobject_cast<const QAbstractButton*>(w)) return ControlKind::Button;
    if (qobject_cast<const QLabel*>(w)) return ControlKind::Label;
    if (qobject_cast<const QProgressBar*>(w)) return ControlKind::Progress;
    return ControlKind::None;
}

void buildMatrices(QWidget* view) {
    for (QWidget* w : view->findChildren<QWidget*>()) {
        if (!tagOf(w) || matrixGroup(w)) continue;
        QButtonGroup* group = nullptr;
        for (QRadioButton* cell : w->findChildren<QRadioButton*>()) {
            bool ok = false;
            const int cellTag = cell->property("cell").toInt(&ok);
            if (!ok) continue;
            if (!group) {
                group = new QButtonGroup(w);
                group->setObjectName(kMatrixGroupName);
                group->setExclusive(true);
            }
            group->addButton(cell, cellTag);
        }
    }
}

QButtonGroup* matrixGroup(const QWidget* w) {
    return w ? w->findChild<QButtonGroup*>(kMatrixGroupName, Qt::FindDirectChildrenOnly) : nullptr;
}

std::optional<int> selectedCellTag(const QWidget* matrix) {
    QButtonGroup* g = matrixGroup(matrix);
    if (!g || !g->checkedButton()) return std::nullopt;
    return g->id(g->checkedButton());
}

QAbstractButton* cellForTag(const QWidget* matrix, int cellTag) {
    QButtonGroup* g = matrixGroup(matrix);
    return g ? g->button(cellTag) : nullptr;
}

void selectCell(QWidget* matrix, int cellTag) {
    QButtonGroup* g = matrixGroup(matrix);
    if (!g) return;
    if (QAbstractButton* b = g->button(cellTag)) {
        const QSignalBlocker block(b);
        b->setChecked(true);
    } else if (QAbstractButton* checked = g->checkedButton()) {
        // No cell for the value: like a matrix without selection.
        g->setExclusive(false);
        const QSignalBlocker block(checked);
        checked->setChecked(false);
        g->setExclusive(true);
    }
}

bool takesStringValue(const QWidget* w) {
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QLabel*>(w) || qobject_cast<const QSlider*>(w);
}

QString stringValue(const QWidget* w) {
    if (auto* e = qobject_cast<const QLineEdit*>(w)) return e->text();
    if (auto* l = qobject_cast<const QLabel*>(w)) return l->text();
    if (auto* c = qobject_cast<const QComboBox*>(w)) return c->currentText();
    if (auto* s = qobject_cast<const QSlider*>(w)) return QString::number(s->value() / scaleOf(s), 'g', 12);
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text();
    return {};
}

void setStringValue(QWidget* w, const QString& value) {
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        if (e->text() != value) e->setText(value);
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(value);
    } else if (auto* s = qobject_cast<QSlider*>(w)) {
        setFloatValue(s, value.trimmed().toDouble());
    }
}

std::optional<double> floatValue(const QWidget* w) {
    if (auto* s = qobject_cast<const QSlider*>(w)) return s->value() / scaleOf(s);
    if (auto* e = qobject_cast<const QLineEdit*>(w)) return e->text().trimmed().toDouble();
    return std::nullopt;
}

std::optional<double> maximumOf(const QWidget* w) {
    if (auto* s = qobject_cast<const QSlider*>(w)) return s->maximum() / scaleOf(s);
    return std::nullopt;
}

std::optional<double> minimumOf(const QWidget* w) {
    if (auto* s = qobject_cast<const QSlider*>(w)) return s->minimum() / scaleOf(s);
    return std::nullopt;
}

void setFloatValue(QWidget* w, double value) {
    if (auto* s = qobject_cast<QSlider*>(w)) {
        const QSignalBlocker block(s);
        s->setValue(static_cast<int>(std::lround(value * scaleOf(s))));
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(QString::number(value));
    }
}

bool isOn(const QWidget* w) {
    auto* b = qobject_cast<const QAbstractButton*>(w);
    return b && b->isChecked();
}

void setOn(QWidget* w, bool on) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        const QSignalBlocker block(b);
        b->setChecked(on);
    }
}

QString representedObject(const QComboBox* menu, int index) {
    if (!menu || index < 0 || index >= menu->count()) return {};
    return menu->itemData(index, Qt::UserRole).toString();
}

void addMenuItem(QComboBox* menu, const QString& title, const QString& object, int itemTag) {
    menu->addItem(title, object);
    menu->setItemData(menu->count() - 1, itemTag, kItemTagRole);
}

bool isItemEnabled(const QComboBox* menu, int index) {
    auto* model = qobject_cast<QStandardItemModel*>(menu->model());
    if (!model || index < 0 || index >= menu->count()) return false;
    return model->item(index)->isEnabled();
}

void setItemEnabled(QComboBox* menu, int index, bool enabled) {
    auto* model = qobject_cast<QStandardItemModel*>(menu->model());
    if (model && index >= 0 && index < menu->count()) model->item(index)->setEnabled(enabled);
}

int indexOfRepresentedObject(const QComboBox* menu, const QString& object) {
    for (int i = 0; i < menu->count(); ++i)
        if (representedObject(menu, i) == object) return i;
    return -1;
}

int indexOfTitle(const QComboBox* menu, const QString& title) {
    for (int i = 0; i < menu->count(); ++i)
        if (menu->itemText(i) == title) return i;
    return -1;
}

void selectIndex(QComboBox* menu, int index) {
    const QSignalBlocker block(menu);
    menu->setCurrentIndex(index);
}

}  // namespace tessaron::pde
