#pragma once
// A numeric value box: a line edit that shows whatever text its editor writes (for example
// "-12.5dB" or "3.50MS") and lets the operator type a number. A typed number, with or without
// the unit text after it, is limited to the box's range and reported by valueEntered; text that
// does not read as a number puts the last shown text back and reports nothing.

#include <optional>

#include <QLineEdit>

namespace talvo {

class ValueBox : public QLineEdit {
    Q_OBJECT
public:
    explicit ValueBox(QWidget *parent = nullptr);

    // The unit the box's texts end with (may be empty); typed numbers may carry it.
    QString unit() const { return unit_; }
    void setUnit(const QString &unit) { unit_ = unit; }
    double minimum() const { return minimum_; }
    double maximum() const { return maximum_; }
    void setRange(double minimum, double maximum);
    void setMaximum(double maximum) { setRange(minimum_, maximum); }

    // The text the editor shows (not a user entry).
    void showText(const QString &text);

    // What valueEntered would report for this typed text (limited to the range), or nothing.
    std::optional<double> readTyped(const QString &text) const;

signals:
    // The operator entered a value (Enter, or leaving the box after typing).
    void valueEntered(double value);

protected:
    void focusOutEvent(QFocusEvent *event) override;

private:
    void take();

    QString unit_;
    QString shown_;
    double minimum_ = 0.0;
    double maximum_ = 0.0;
};

}  // namespace talvo
