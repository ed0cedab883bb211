#pragma once
// A lamp-style arrow that shows the path a signal takes between two blocks.
// Lit while enabled; a disabled arrow is drawn dark, as a path the signal does not take.
// An indicator lamp (for example an editor's mute lamp) is darkened with setLit(false).

#include <QColor>
#include <QWidget>

namespace talvo {

class ArrowLamp : public QWidget {
    Q_OBJECT
public:
    enum class Direction { Right, Down };

    explicit ArrowLamp(Direction direction = Direction::Right, QWidget *parent = nullptr);

    Direction direction() const { return direction_; }
    void setLitColor(const QColor &color);
    bool isLit() const { return lit_; }
    void setLit(bool lit);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    Direction direction_;
    QColor litColor_{40, 200, 70};
    bool lit_ = true;
};

}  // namespace talvo
