#pragma once
// The look the device windows share: a teal window with white captions, the grids on a light
// green ground.

#include <QColor>
#include <QGuiApplication>
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

// Buttons, spin boxes and edits keep the ordinary palette so they read as controls. Every
// role is set explicitly: a role left unset would be taken from the teal window (white arrows
// on white spin buttons).
inline QPalette PlainPalette() {
    QPalette pal = QGuiApplication::palette();
    for (int group = 0; group < QPalette::NColorGroups; ++group)
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto g = static_cast<QPalette::ColorGroup>(group);
            const auto r = static_cast<QPalette::ColorRole>(role);
            if (r == QPalette::NoRole) continue;
            pal.setBrush(g, r, pal.brush(g, r));
        }
    return pal;
}

inline void UsePlainLook(QWidget *control) {
    control->setPalette(PlainPalette());
    control->setAutoFillBackground(false);
}

inline void ApplyGridLook(QWidget *grid) {
    QPalette pal = PlainPalette();
    pal.setColor(QPalette::Base, kGridGreen);
    pal.setColor(QPalette::AlternateBase, kGridGreen);
    pal.setColor(QPalette::Text, Qt::black);
    pal.setColor(QPalette::WindowText, Qt::black);
    grid->setPalette(pal);
}

}  // namespace talvo
