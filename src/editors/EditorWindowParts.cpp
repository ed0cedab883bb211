#include "editors/EditorWindowParts.h"

#include <QDialog>
#include <QPushButton>
#include <QSignalBlocker>

#include "devices/WindowLook.h"
#include "widgets/ArrowLamp.h"
#include "widgets/TrackSlider.h"
#include "widgets/ValueBox.h"

namespace talvo {

void SetUpEditorWindow(QDialog *window, const char *objectName) {
    window->setObjectName(QString::fromLatin1(objectName));
    window->setModal(true);
    ApplyTealLook(window);
}

TrackSlider *MakeEditorSlider(QWidget *parent, const QString &name, Qt::Orientation orientation, int min, int max,
                              int wheelStep) {
    auto *slider = new TrackSlider(orientation, parent);
    slider->setObjectName(name);
    slider->setRange(min, max);
    slider->setSingleStep(1);
    slider->setPageStep(10);
    slider->setWheelStep(wheelStep);
    slider->setTickPosition(QSlider::NoTicks);
    return slider;
}

ValueBox *MakeValueBox(QWidget *parent, const QString &name, const QString &unit, double min, double max,
                       const QString &widestText) {
    auto *box = new ValueBox(parent);
    box->setObjectName(name);
    box->setUnit(unit);
    box->setRange(min, max);
    UsePlainLook(box);
    box->setFixedWidth(box->fontMetrics().horizontalAdvance(widestText) + 18);
    return box;
}

QPushButton *MakeEditorButton(QWidget *parent, const QString &name) {
    auto *button = new QPushButton(parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    UsePlainLook(button);
    button->setMinimumWidth(64);
    return button;
}

ArrowLamp *MakeButtonLamp(QWidget *parent) {
    auto *lamp = new ArrowLamp(ArrowLamp::Direction::Right, parent);
    lamp->setObjectName(QStringLiteral("led"));
    lamp->setLitColor(QColor(230, 30, 30));
    lamp->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    lamp->setFixedSize(30, 18);
    return lamp;
}

void ShowSliderPosition(TrackSlider *slider, int position) {
    if (slider->value() == position) return;
    const QSignalBlocker quiet(slider);
    slider->setValue(position);
}

}  // namespace talvo
