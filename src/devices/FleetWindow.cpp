#include "devices/FleetWindow.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "devices/Fleet.h"
#include "devices/WindowLook.h"

namespace talvo {

namespace {

enum Column { kIdColumn, kResultColumn, kDoneColumn, kSecondsColumn, kColumnCount };

}  // namespace

FleetWindow::FleetWindow(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FleetWindow"));
    setModal(true);
    ApplyTealLook(this);

    heading_ = new QLabel(this);
    heading_->setObjectName(QStringLiteral("Label1"));
    heading_->setWordWrap(true);

    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("ProgressBar1"));
    progress_->setRange(0, 1);
    progress_->setValue(0);

    summary_ = new QTableWidget(0, kColumnCount, this);
    summary_->setObjectName(QStringLiteral("StringGrid1"));
    ApplyGridLook(summary_);
    summary_->setHorizontalHeaderLabels({QStringLiteral("ID"), QStringLiteral("Result"), QStringLiteral("What was done"),
                                         QStringLiteral("Seconds")});
    summary_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    summary_->setSelectionBehavior(QAbstractItemView::SelectRows);
    summary_->verticalHeader()->hide();
    summary_->horizontalHeader()->setSectionResizeMode(kDoneColumn, QHeaderView::Stretch);
    summary_->setMinimumSize(560, 240);

    stop_ = new QPushButton(QStringLiteral("Stop"), this);
    stop_->setObjectName(QStringLiteral("dxButton1"));
    close_ = new QPushButton(QStringLiteral("Close"), this);
    close_->setObjectName(QStringLiteral("dxButton2"));
    close_->setEnabled(false);
    for (QPushButton *b : {stop_, close_})
        UsePlainLook(b);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(stop_);
    buttons->addWidget(close_);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addWidget(progress_);
    layout->addWidget(summary_, 1);
    layout->addLayout(buttons);

    connect(stop_, &QPushButton::clicked, this, [this] {
        if (runner_ && runner_->IsRunning()) {
            runner_->RequestStop();
            stop_->setEnabled(false);
        }
    });
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
}

void FleetWindow::Present(FleetRunner &runner, const QString &caption, const QString &heading)
{
    if (runner_)
        disconnect(runner_, nullptr, this, nullptr);
    runner_ = &runner;
    setWindowTitle(caption);
    heading_->setText(heading);
    summary_->setRowCount(0);
    progress_->setRange(0, std::max(1, runner.Planned()));
    progress_->setValue(runner.Finished());
    stop_->setEnabled(!runner.IsFinished());
    close_->setEnabled(runner.IsFinished());
    for (const FleetResult &r : runner.Results())
        addRow(r);
    connect(&runner, &FleetRunner::busPlanned, this, [this] { progress_->setRange(0, std::max(1, runner_->Planned())); });
    connect(&runner, &FleetRunner::amplifierFinished, this, [this](const FleetResult &r) {
        addRow(r);
        progress_->setValue(runner_->Finished());
    });
    connect(&runner, &FleetRunner::finished, this, &FleetWindow::runFinished);
    if (runner.IsFinished())
        runFinished();
}

void FleetWindow::addRow(const FleetResult &r)
{
    const int row = summary_->rowCount();
    summary_->insertRow(row);
    QString account = r.done;
    if (!r.problem.isEmpty())
        account = account.isEmpty() ? r.problem : account + QStringLiteral("; ") + r.problem;
    const QString cells[kColumnCount] = {r.amplifier.text(), FleetStatusText(r.status), account,
                                         QString::number(r.seconds, 'f', 1)};
    for (int c = 0; c < kColumnCount; ++c) {
        auto *item = new QTableWidgetItem(cells[c]);
        item->setToolTip(cells[c]);
        summary_->setItem(row, c, item);
    }
    summary_->scrollToItem(summary_->item(row, 0));
}

void FleetWindow::runFinished()
{
    const std::vector<FleetResult> results = runner_->Results();
    const auto done = std::count_if(results.begin(), results.end(),
                                    [](const FleetResult &r) { return r.status == FleetStatus::Done; });
    heading_->setText(heading_->text() + QStringLiteral("\n%1 of %2 done%3")
                                             .arg(done)
                                             .arg(results.size())
                                             .arg(runner_->StopRequested() ? QStringLiteral(" (stopped)") : QString()));
    progress_->setValue(progress_->maximum());
    stop_->setEnabled(false);
    close_->setEnabled(true);
    close_->setDefault(true);
}

void FleetWindow::reject()
{
    if (runner_ && runner_->IsRunning()) {
        runner_->RequestStop();
        stop_->setEnabled(false);
        return;
    }
    QDialog::reject();
}

}  // namespace talvo
