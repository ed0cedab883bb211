#pragma once
// A status bar divided into fixed text panels, like the classic desktop status bar:
// each panel has its own width, and the last one also takes whatever room is left.

#include <QList>
#include <QStatusBar>

class QLabel;

namespace talvo {

class PanelStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit PanelStatusBar(const QList<int> &panelWidths, QWidget *parent = nullptr);

    int panelCount() const { return int(panels_.size()); }
    // Out-of-range panels are ignored (reads give an empty text).
    QString panelText(int index) const;
    // A text longer than its panel shows whole in the panel's tooltip.
    void setPanelText(int index, const QString &text);
    QLabel *panel(int index) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    static void fitTooltip(QLabel *label);

    QList<QLabel *> panels_;
};

}  // namespace talvo
