#pragma once

// What a wrong coordinate or a wider stand-in font breaks on a hand-placed form, checked as
// properties rather than as a second copy of the form's numbers.

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>
#include <utility>
#include <vector>

namespace qv::test {

namespace detail {

// Measured against the room the style leaves beside the indicator: a check or radio box's size
// hint adds slack for the focus frame, which is no measure of fitting.
inline bool boxTextFits(const QAbstractButton& box, QStyle::SubElement contents) {
    QStyleOptionButton option;
    option.initFrom(&box);
    option.text = box.text();
    const int room = box.style()->subElementRect(contents, &option, &box).width();
    return box.fontMetrics().horizontalAdvance(QString(box.text()).remove(u'&')) <= room;
}

inline bool textFits(const QWidget& widget) {
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        return label->fontMetrics().horizontalAdvance(label->text()) <= label->width();
    }
    if (const auto* push = qobject_cast<const QPushButton*>(&widget)) {
        // The text and the style's margins; a push button's size hint adds a minimum width of
        // its own, which is no measure of fitting.
        const int margin = push->style()->pixelMetric(QStyle::PM_ButtonMargin);
        const QString shown = QString(push->text()).remove(u'&');
        return push->fontMetrics().horizontalAdvance(shown) + 2 * margin <= push->width();
    }
    if (const auto* box = qobject_cast<const QCheckBox*>(&widget)) {
        return boxTextFits(*box, QStyle::SE_CheckBoxContents);
    }
    if (const auto* radio = qobject_cast<const QRadioButton*>(&widget)) {
        return boxTextFits(*radio, QStyle::SE_RadioButtonContents);
    }
    return true;
}

} // namespace detail

// Every fault among the controls, one line each: a control that leaves its parent, two
// controls of one parent that overlap, a text that does not fit its control. Empty when sound.
inline QString formFaults(const std::vector<const QWidget*>& controls) {
    QStringList faults;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const QWidget& control = *controls[i];
        if (!control.parentWidget()->rect().contains(control.geometry())) {
            faults << control.objectName() + " leaves its parent";
        }
        if (!detail::textFits(control)) {
            faults << control.objectName() + " is too narrow for its text";
        }
        for (std::size_t j = i + 1; j < controls.size(); ++j) {
            const QWidget& other = *controls[j];
            if (other.parentWidget() == control.parentWidget() &&
                control.geometry().intersects(other.geometry())) {
                faults << control.objectName() + " overlaps " + other.objectName();
            }
        }
    }
    return faults.join(u"; ");
}

// The captions that do not sit before their control on the control's row.
inline QString
misplacedCaptions(const std::vector<std::pair<const QWidget*, const QWidget*>>& captionAndControl) {
    QStringList faults;
    for (const auto& [caption, control] : captionAndControl) {
        const QRect label = caption->geometry();
        const QRect target = control->geometry();
        if (label.right() >= target.left() || label.top() >= target.bottom() ||
            target.top() >= label.bottom()) {
            faults << caption->objectName() + " is not before " + control->objectName();
        }
    }
    return faults.join(u"; ");
}

} // namespace qv::test
