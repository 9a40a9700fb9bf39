#pragma once
// Binds the plain controls of the GUI-free windows to Qt widgets: a change of the control is
// shown by its widget, a user's change of the widget goes into the control, and a click is
// forwarded to the handler. Each control has one view; binding replaces the control's observer.
#include "app/controls.h"

#include <functional>

class QAbstractButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QSlider;
class QScrollBar;
class QWidget;

namespace quorvane::gui {

// Visible and Enabled only.
void bindWidget(TControl& control, QWidget* widget);
void bindLabel(TLabel& label, QLabel* widget);
void bindButton(TButton& button, QAbstractButton* widget, std::function<void()> onClick);
// Check boxes and radio buttons: the user's click sets Checked, then onClick runs.
void bindCheckBox(TCheckBox& box, QAbstractButton* widget, std::function<void()> onClick = {});
void bindEdit(TEdit& edit, QLineEdit* widget);
void bindTrackBar(TTrackBar& bar, QSlider* widget);
void bindScrollBar(TTrackBar& bar, QScrollBar* widget, std::function<void()> onScroll);
// Shows the position in thousandths of the range, so a run that moves it once per sector
// redraws the bar at most a thousand times.
void bindProgressBar(TProgressBar& bar, QProgressBar* widget);
void bindComboBox(TComboBox& combo, QComboBox* widget, std::function<void()> onChange);

// For widgets that change while a run goes on: the widget fills its own background, so Qt
// repaints it alone instead of the group box, page and window behind it, fifty times a second.
void paintsOwnBackground(QWidget* widget);

}  // namespace quorvane::gui
