#include "widgets/ValueBox.h"

#include <algorithm>
#include <cmath>

#include <QFocusEvent>

namespace talvo {

ValueBox::ValueBox(QWidget *parent) : QLineEdit(parent) {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(this, &QLineEdit::returnPressed, this, &ValueBox::take);
}

void ValueBox::setRange(double minimum, double maximum) {
    minimum_ = std::min(minimum, maximum);
    maximum_ = std::max(minimum, maximum);
}

void ValueBox::showText(const QString &text) {
    shown_ = text;
    setText(text);
}

std::optional<double> ValueBox::readTyped(const QString &typed) const {
    QString t = typed.trimmed();
    if (!unit_.isEmpty() && t.endsWith(unit_, Qt::CaseInsensitive)) t.chop(unit_.size());
    t = t.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return std::clamp(v, minimum_, maximum_);
}

void ValueBox::take() {
    if (text() == shown_) return;  // nothing typed
    const std::optional<double> v = readTyped(text());
    if (!v) {
        setText(shown_);
        return;
    }
    emit valueEntered(*v);
    // The editor normally writes the new value's text; if it did not, the box still shows a
    // value rather than what was typed.
    if (text() != shown_) setText(shown_);
}

void ValueBox::focusOutEvent(QFocusEvent *event) {
    if (isEnabled() && event->reason() != Qt::PopupFocusReason) take();
    QLineEdit::focusOutEvent(event);
}

}  // namespace talvo
