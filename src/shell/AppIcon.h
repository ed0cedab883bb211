#pragma once
// The program's own icon, drawn rather than loaded so that it needs no image plug-in.

#include <QIcon>
#include <QPixmap>

namespace talvo {

QPixmap AppIconPixmap(int size);
QIcon AppIcon();

}  // namespace talvo
