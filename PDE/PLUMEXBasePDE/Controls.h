// Controls of a panel view as the panels see them: found by their integer tag (the dynamic
// property "tag" set in the .ui files), read and written as strings, numbers and states.
// A radio matrix is a widget with a tag whose radio buttons carry the property "cell".
// A slider's value is its integer position divided by its "scale" property (default 1).
#pragma once

#include <QString>
#include <QWidget>

#include <optional>

class QAbstractButton;
class QButtonGroup;
class QComboBox;

namespace tessaron::pde {

inline constexpr int kValueFieldTagBit = 0x140;
inline constexpr int kStepDownTagBit = 0x280;
inline constexpr int kStepUpTagBit = 0x1400;
inline constexpr int kToggleTagBit = 0x200;
inline constexpr int kRestoreDefaultsTag = 32;

enum class ControlKind { None, PopUp, Matrix, CheckBox, TextField, Slider, Button, Label, Progress };

// The widget's tag; none when it has no "tag" property.
std::optional<int> tagOf(const QWidget* w);
// The widget with `tag` among `view` and its descendants; null when none.
QWidget* controlForTag(QWidget* view, int tag);
// Like controlForTag, searched from `near`'s parent first, then from `root`.
QWidget* siblingForTag(QWidget* near, int tag, QWidget* root);

ControlKind kindOf(const QWidget* w);
inline bool isControl(const QWidget* w) { return kindOf(w) != ControlKind::None; }

// Turns every tagged widget holding "cell"-tagged radio buttons into a matrix.
void buildMatrices(QWidget* view);
QButtonGroup* matrixGroup(const QWidget* w);
// The tag of the matrix's checked cell; none when no cell is checked.
std::optional<int> selectedCellTag(const QWidget* matrix);
void selectCell(QWidget* matrix, int cellTag);
QAbstractButton* cellForTag(const QWidget* matrix, int cellTag);

bool takesStringValue(const QWidget* w);
QString stringValue(const QWidget* w);
// Sets text without emitting the control's change signals.
void setStringValue(QWidget* w, const QString& value);
std::optional<double> floatValue(const QWidget* w);
std::optional<double> maximumOf(const QWidget* w);
std::optional<double> minimumOf(const QWidget* w);
void setFloatValue(QWidget* w, double value);
bool isOn(const QWidget* w);
void setOn(QWidget* w, bool on);

// Pop-up menus: item data is the represented object; items carry their own tags.
QString representedObject(const QComboBox* menu, int index);
void addMenuItem(QComboBox* menu, const QString& title, const QString& object, int itemTag);
bool isItemEnabled(const QComboBox* menu, int index);
void setItemEnabled(QComboBox* menu, int index, bool enabled);
int indexOfRepresentedObject(const QComboBox* menu, const QString& object);
int indexOfTitle(const QComboBox* menu, const QString& title);
void selectIndex(QComboBox* menu, int index);

}  // namespace tessaron::pde
