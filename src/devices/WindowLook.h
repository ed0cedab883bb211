#pragma once
// The look the device windows share: a teal window with white captions, the grids on a light
// green ground.

#include <QColor>
#include <QPalette>
#include <QWidget>

namespace talvo {

inline const QColor kWindowTeal(0, 128, 128);
inline const QColor kGridGreen(204, 255, 204);

inline void ApplyTealLook(QWidget *window) {
    QPalette pal = window->palette();
    pal.setColor(QPalette::Window, kWindowTeal);
    pal.setColor(QPalette::WindowText, Qt::white);
    window->setPalette(pal);
    window->setAutoFillBackground(true);
}

// Buttons, spin boxes and edits keep the ordinary palette so they read as controls.
inline void UsePlainLook(QWidget *control) {
    control->setPalette(QPalette());
    control->setAutoFillBackground(false);
}

inline void ApplyGridLook(QWidget *grid) {
    QPalette pal = QPalette();
    pal.setColor(QPalette::Base, kGridGreen);
    pal.setColor(QPalette::AlternateBase, kGridGreen);
    pal.setColor(QPalette::Text, Qt::black);
    pal.setColor(QPalette::WindowText, Qt::black);
    grid->setPalette(pal);
}

}  // namespace talvo
