#pragma once
// A processing block of the signal-flow diagram: a push button drawn as a raised gradient tile
// with its caption centred, so that the diagram reads as a chain of hardware stages.

#include <QColor>
#include <QPushButton>

namespace talvo {

class BlockButton : public QPushButton {
    Q_OBJECT
public:
    explicit BlockButton(const QString &text = {}, QWidget *parent = nullptr);

    void setBaseColor(const QColor &color);
    QColor baseColor() const { return base_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    QColor base_{38, 92, 150};
    bool hovered_ = false;
};

}  // namespace talvo
