#pragma once
// The window over a fleet run (the Search window's "Back Up All..."): a line saying what runs,
// a progress bar over the amplifiers, the summary as each amplifier finishes (ID, result, what
// was done, seconds), "Stop" while it runs and "Close" once it is over. The run is the fleet
// runner's; the window only presents it and passes "Stop" on.

#include <QDialog>
#include <QPointer>

#include "devices/Fleet.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace talvo {

class FleetWindow : public QDialog {
    Q_OBJECT
public:
    explicit FleetWindow(QWidget *parent = nullptr);

    // Shows the runner's progress and results from now on (under `heading`); the window's
    // "Stop" stops it. The runner outlives the window's showing.
    void Present(FleetRunner &runner, const QString &caption, const QString &heading);

    QLabel *heading() const { return heading_; }
    QProgressBar *progress() const { return progress_; }
    QTableWidget *summary() const { return summary_; }
    QPushButton *stopButton() const { return stop_; }
    QPushButton *closeButton() const { return close_; }

public slots:
    // Closing while the run goes on asks it to stop; the window stays until it is over.
    void reject() override;

private:
    void addRow(const FleetResult &result);
    void runFinished();

    QPointer<FleetRunner> runner_;
    QLabel *heading_;
    QProgressBar *progress_;
    QTableWidget *summary_;
    QPushButton *stop_;
    QPushButton *close_;
};

}  // namespace talvo
