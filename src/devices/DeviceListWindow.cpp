#include "devices/DeviceListWindow.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "devices/DeviceEntryDialog.h"
#include "devices/DeviceListLocation.h"
#include "devices/WindowLook.h"

namespace talvo {

namespace {

// What "ADD" offers on an empty row.
const DeviceEntry kNewDevice{true, QStringLiteral("Device A"), 1, 256};

constexpr int kRowHeight = 18;
constexpr int kVisibleRows = 14;

}  // namespace

DeviceListWindow::DeviceListWindow(const QString &listPath, QWidget *parent) : QDialog(parent), list_(listPath) {
    setObjectName(QStringLiteral("TForm28"));
    setModal(true);
    ApplyTealLook(this);

    reportError = [](QWidget *owner, const QString &text) {
        QMessageBox::warning(owner, QString::fromLatin1(kDeviceListCaption), text);
    };

    entry_ = new DeviceEntryDialog(this);

    grid_ = new QTableWidget(kDeviceSlotCount, 3, this);
    grid_->setObjectName(QStringLiteral("StringGrid1"));
    ApplyGridLook(grid_);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setWordWrap(false);
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->verticalHeader()->setDefaultSectionSize(kRowHeight);
    grid_->verticalHeader()->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->horizontalHeader()->setHighlightSections(false);
    grid_->verticalHeader()->setHighlightSections(false);
    grid_->setColumnWidth(0, 150);
    grid_->setColumnWidth(1, 52);
    grid_->setColumnWidth(2, 70);
    for (int row = 0; row < kDeviceSlotCount; ++row)
        for (int column = 0; column < 3; ++column) {
            auto *cell = new QTableWidgetItem;
            if (column > 0) cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grid_->setItem(row, column, cell);
        }
    // Wide and tall enough for the three columns, the row numbers and a screenful of rows.
    const int gridWidth = grid_->verticalHeader()->sizeHint().width() + 150 + 52 + 70 +
                          grid_->verticalScrollBar()->sizeHint().width() + 2 * grid_->frameWidth();
    grid_->setFixedWidth(gridWidth);
    grid_->setMinimumHeight(kRowHeight * (kVisibleRows + 1) + 2 * grid_->frameWidth());

    add_ = new QPushButton(this);
    add_->setObjectName(QStringLiteral("Button1"));
    delete_ = new QPushButton(this);
    delete_->setObjectName(QStringLiteral("Button2"));
    ok_ = new QPushButton(this);
    ok_->setObjectName(QStringLiteral("Button3"));
    ok_->setDefault(true);
    cancel_ = new QPushButton(this);
    cancel_->setObjectName(QStringLiteral("Button4"));

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    for (QPushButton *b : {add_, delete_, ok_, cancel_}) {
        UsePlainLook(b);
        buttons->addWidget(b);
    }
    buttons->insertStretch(2, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(10);
    layout->addWidget(grid_, 1);
    layout->addLayout(buttons);

    connect(add_, &QPushButton::clicked, this, &DeviceListWindow::AddClick);
    connect(delete_, &QPushButton::clicked, this, &DeviceListWindow::DeleteClick);
    connect(ok_, &QPushButton::clicked, this, &DeviceListWindow::OkClick);
    connect(cancel_, &QPushButton::clicked, this, &DeviceListWindow::CancelClick);
    connect(grid_, &QTableWidget::cellDoubleClicked, this, [this] { AddClick(); });

    ApplyTexts();

    // The list file is opened for the whole run; a missing one is created now.
    if (!OpenDeviceList(list_, &openError_) && openError_.isEmpty())
        openError_ = QStringLiteral("Cannot open the device list %1").arg(list_.Path());
    FillGrid();
    SetCurrentSlot(1);
}

void DeviceListWindow::ApplyTexts() {
    setWindowTitle(QString::fromLatin1(kDeviceListCaption));
    grid_->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Add"), QStringLiteral("Sub Add")});
    add_->setText(QStringLiteral("ADD"));
    delete_->setText(QStringLiteral("Delete"));
    ok_->setText(QStringLiteral("OK"));
    cancel_->setText(QStringLiteral("Cancle"));
    entry_->ApplyTexts();
}

void DeviceListWindow::FillGrid() {
    const auto entries = list_.Entries();
    for (int slot = 1; slot <= kDeviceSlotCount; ++slot) {
        const DeviceEntry &e = entries[static_cast<size_t>(slot - 1)];
        const int row = slot - 1;
        grid_->item(row, 0)->setText(e.vi ? e.name : QString());
        grid_->item(row, 1)->setText(e.vi ? QString::number(e.id) : QString());
        grid_->item(row, 2)->setText(e.vi ? QString::number(e.subid) : QString());
    }
}

int DeviceListWindow::CurrentSlot() const {
    const int row = grid_->currentRow();
    return row >= 0 && row < kDeviceSlotCount ? row + 1 : 1;
}

void DeviceListWindow::SetCurrentSlot(int slot) {
    if (slot < 1 || slot > kDeviceSlotCount) return;
    grid_->setCurrentCell(slot - 1, 0);
    grid_->selectRow(slot - 1);
}

void DeviceListWindow::Write(int slot, const DeviceEntry &entry) {
    QString error;
    const bool saved = entry.vi ? list_.WriteSlot(slot, entry, &error) : list_.ClearSlot(slot, &error);
    // A change that did not reach the file must not look saved: the grid keeps showing the
    // list as it is on disk, and the operator is told why.
    if (!saved && reportError) reportError(this, error);
    FillGrid();
}

void DeviceListWindow::AddClick() {
    const int slot = CurrentSlot();
    const DeviceEntry current = list_.Entry(slot);
    entry_->ApplyTexts();
    entry_->SetEntry(current.vi ? current : kNewDevice);
    if (entry_->exec() != QDialog::Accepted) return;
    Write(slot, entry_->Entry());
    SetCurrentSlot(slot);
}

void DeviceListWindow::DeleteClick() {
    const int slot = CurrentSlot();
    Write(slot, DeviceEntry{false, QString(), 1, 1});
    SetCurrentSlot(slot);
}

void DeviceListWindow::OkClick() {
    const DeviceEntry entry = list_.Entry(CurrentSlot());
    if (entry.vi)
        emit deviceChosen(entry);
    else
        emit noDeviceChosen();
    accept();
}

void DeviceListWindow::CancelClick() { reject(); }

void DeviceListWindow::showEvent(QShowEvent *event) {
    // Edits made to the file by hand since the last showing are taken in; when the file has
    // gone, the list as held stays (the next change writes it again).
    QString error;
    if (QFileInfo::exists(list_.Path())) {
        list_.Reload(&error);
    } else if (!openError_.isEmpty() && !openErrorTold_) {
        // The list could not be created at start-up: say so once, before anything is typed
        // into a list that may not be kept.
        error = openError_;
        openErrorTold_ = true;
    }
    FillGrid();
    // Told once the window is up, not from inside its showing.
    if (!error.isEmpty())
        QTimer::singleShot(0, this, [this, error] {
            if (reportError) reportError(this, error);
        });
    QDialog::showEvent(event);
}

}  // namespace talvo
