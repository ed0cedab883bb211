#include "widgets/PanelStatusBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QEvent>

namespace talvo {

PanelStatusBar::PanelStatusBar(const QList<int> &panelWidths, QWidget *parent) : QStatusBar(parent) {
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    for (int i = 0; i < panelWidths.size(); ++i) {
        auto *label = new QLabel(row);
        label->setObjectName(QStringLiteral("panel%1").arg(i));
        label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        label->setTextFormat(Qt::PlainText);
        const bool last = i == panelWidths.size() - 1;
        if (last) {
            label->setMinimumWidth(panelWidths[i]);
            label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        } else {
            label->setFixedWidth(panelWidths[i]);
        }
        layout->addWidget(label, last ? 1 : 0);
        label->installEventFilter(this);
        panels_.append(label);
    }
    addWidget(row, 1);
}

QLabel *PanelStatusBar::panel(int index) const {
    return index >= 0 && index < panels_.size() ? panels_[index] : nullptr;
}

QString PanelStatusBar::panelText(int index) const {
    const QLabel *label = panel(index);
    return label ? label->text() : QString();
}

void PanelStatusBar::setPanelText(int index, const QString &text) {
    QLabel *label = panel(index);
    if (!label || label->text() == text) return;
    label->setText(text);
    fitTooltip(label);
}

bool PanelStatusBar::eventFilter(QObject *watched, QEvent *event) {
    // The last panel takes the room left: how much of its text shows changes with its width.
    if (event->type() == QEvent::Resize)
        if (auto *label = qobject_cast<QLabel *>(watched); label && panels_.contains(label)) fitTooltip(label);
    return QStatusBar::eventFilter(watched, event);
}

void PanelStatusBar::fitTooltip(QLabel *label) {
    const QString &text = label->text();
    const bool cut = label->fontMetrics().horizontalAdvance(text) > label->contentsRect().width() - 2 * label->margin();
    label->setToolTip(cut ? text : QString());
}

}  // namespace talvo
