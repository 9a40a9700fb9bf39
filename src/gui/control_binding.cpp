#include "gui/control_binding.h"

#include "gui/drive_icons.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>

namespace quorvane::gui {
namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

void showCommon(const TControl& c, QWidget* w) {
    w->setEnabled(c.Enabled());
    // A widget whose page or window is hidden stays hidden; only its own flag follows the control.
    w->setVisible(c.Visible());
}

}  // namespace

void bindWidget(TControl& control, QWidget* widget) {
    control.onChanged = [widget](const TControl& c) { showCommon(c, widget); };
    showCommon(control, widget);
}

void bindLabel(TLabel& label, QLabel* widget) {
    // Captions show file names and volume labels from the card, which are never markup.
    widget->setTextFormat(Qt::PlainText);
    auto show = [widget](const TControl& c) {
        const auto& l = static_cast<const TLabel&>(c);
        widget->setText(qs(l.Caption()));
        showCommon(c, widget);
    };
    label.onChanged = show;
    show(label);
}

void bindButton(TButton& button, QAbstractButton* widget, std::function<void()> onClick) {
    auto show = [widget](const TControl& c) {
        widget->setText(qs(static_cast<const TButton&>(c).Caption()));
        showCommon(c, widget);
    };
    button.onChanged = show;
    show(button);
    if (onClick) QObject::connect(widget, &QAbstractButton::clicked, widget, [onClick] { onClick(); });
}

void bindCheckBox(TCheckBox& box, QAbstractButton* widget, std::function<void()> onClick) {
    auto show = [widget](const TControl& c) {
        const auto& b = static_cast<const TCheckBox&>(c);
        const QSignalBlocker block(widget);
        widget->setText(qs(b.Caption()));
        widget->setChecked(b.Checked());
        showCommon(c, widget);
    };
    box.onChanged = show;
    show(box);
    // clicked comes only from the user, never from setChecked, so showing a mark is not a click.
    QObject::connect(widget, &QAbstractButton::clicked, widget, [&box, widget, onClick](bool checked) {
        box.SetChecked(checked);
        if (onClick) onClick();
        if (widget->isChecked() != box.Checked()) {
            const QSignalBlocker block(widget);
            widget->setChecked(box.Checked());
        }
    });
}

void bindEdit(TEdit& edit, QLineEdit* widget) {
    auto show = [widget](const TControl& c) {
        const auto& e = static_cast<const TEdit&>(c);
        if (widget->text().toStdString() != e.Text()) widget->setText(qs(e.Text()));
        showCommon(c, widget);
    };
    edit.onChanged = show;
    show(edit);
    QObject::connect(widget, &QLineEdit::textEdited, widget, [&edit](const QString& t) { edit.SetText(t.toStdString()); });
}

void bindTrackBar(TTrackBar& bar, QSlider* widget) {
    auto show = [widget](const TControl& c) {
        const auto& b = static_cast<const TTrackBar&>(c);
        const QSignalBlocker block(widget);
        widget->setRange(b.Min(), b.Max());
        widget->setValue(b.Position());
        widget->setTickInterval(b.Frequency());
        showCommon(c, widget);
    };
    bar.onChanged = show;
    show(bar);
    QObject::connect(widget, &QSlider::valueChanged, widget, [&bar](int v) { bar.SetPosition(v); });
}

void bindScrollBar(TTrackBar& bar, QScrollBar* widget, std::function<void()> onScroll) {
    auto show = [widget](const TControl& c) {
        const auto& b = static_cast<const TTrackBar&>(c);
        const QSignalBlocker block(widget);
        widget->setRange(b.Min(), b.Max());
        widget->setValue(b.Position());
        showCommon(c, widget);
    };
    bar.onChanged = show;
    show(bar);
    QObject::connect(widget, &QScrollBar::valueChanged, widget, [&bar, onScroll](int v) {
        bar.SetPosition(v);
        if (onScroll) onScroll();
    });
}

void bindProgressBar(TProgressBar& bar, QProgressBar* widget) {
    widget->setRange(0, 1000);
    auto show = [widget](const TControl& c) {
        const auto& b = static_cast<const TProgressBar&>(c);
        const int permille = b.Max() > 0 ? static_cast<int>(std::clamp<std::int64_t>(b.Position() * 1000 / b.Max(), 0, 1000)) : 0;
        if (widget->value() != permille) widget->setValue(permille);
        if (widget->isEnabled() != c.Enabled() || widget->isVisibleTo(widget->parentWidget()) != c.Visible()) showCommon(c, widget);
    };
    bar.onChanged = show;
    show(bar);
}

void paintsOwnBackground(QWidget* widget) { widget->setAutoFillBackground(true); }

void bindComboBox(TComboBox& combo, QComboBox* widget, std::function<void()> onChange) {
    auto show = [widget](const TControl& c) {
        const auto& b = static_cast<const TComboBox&>(c);
        const QSignalBlocker block(widget);
        bool same = widget->count() == static_cast<int>(b.Items().size());
        for (int i = 0; same && i < widget->count(); ++i) {
            same = widget->itemText(i) == qs(b.Items()[static_cast<std::size_t>(i)].caption);
        }
        if (!same) {
            widget->clear();
            for (const auto& item : b.Items()) widget->addItem(DriveIcon(item.icon), qs(item.caption), item.data);
        }
        widget->setCurrentIndex(b.ItemIndex());
        showCommon(c, widget);
    };
    combo.onChanged = show;
    show(combo);
    QObject::connect(widget, &QComboBox::activated, widget, [&combo, onChange](int index) {
        combo.SetItemIndex(index);
        if (onChange) onChange();
    });
}

}  // namespace quorvane::gui
