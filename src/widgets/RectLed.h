#pragma once
// A rectangular indicator lamp: lit in its colour (red unless told otherwise), dark grey when off.

#include <QColor>
#include <QWidget>

namespace talvo {

class RectLed : public QWidget {
    Q_OBJECT
public:
    explicit RectLed(QWidget *parent = nullptr);

    bool isActive() const { return active_; }
    void setActive(bool active);

    QColor activeColor() const { return activeColor_; }
    void setActiveColor(const QColor &color);

    QSize sizeHint() const override { return {28, 14}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool active_ = false;
    QColor activeColor_{220, 30, 30};
};

}  // namespace talvo
