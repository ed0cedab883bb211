#include "devices/SearchWindow.h"

#include <exception>

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "devices/BusSearch.h"
#include "devices/WindowLook.h"

namespace talvo {

namespace {

constexpr int kResultRows = kSearchGridRows - 1;  // rows 1..255 under the header
constexpr int kCountColumnWidth = 60;
constexpr int kTextColumnWidth = 78;
constexpr int kRowHeight = 16;
constexpr int kVisibleRows = 13;

}  // namespace

SearchWindow::SearchWindow(SearchController &controller, QWidget *parent)
    : QDialog(parent), controller_(controller) {
    setObjectName(QStringLiteral("TForm18"));
    setModal(true);
    ApplyTealLook(this);

    grid_ = new QTableWidget(kResultRows, 2, this);
    grid_->setObjectName(QStringLiteral("StringGrid1"));
    ApplyGridLook(grid_);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setFocusPolicy(Qt::NoFocus);
    grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setWordWrap(false);
    grid_->verticalHeader()->hide();
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->horizontalHeader()->setHighlightSections(false);
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // The row and column sizes of the grid, widened where this font's texts would not fit.
    const QFontMetrics fm = grid_->fontMetrics();
    const int rowHeight = std::max(kRowHeight, fm.height() + 4);
    grid_->verticalHeader()->setDefaultSectionSize(rowHeight);
    const int countWidth = std::max(kCountColumnWidth, fm.horizontalAdvance(QLatin1String(kSearchHeaderCount)) + 16);
    const int textWidth = std::max(kTextColumnWidth, fm.horizontalAdvance(FoundText(255)) + 16);
    grid_->setColumnWidth(0, countWidth);
    grid_->setColumnWidth(1, textWidth);
    for (int row = 0; row < kResultRows; ++row) {
        auto *count = new QTableWidgetItem;
        count->setTextAlignment(Qt::AlignCenter);
        grid_->setItem(row, 0, count);
        grid_->setItem(row, 1, new QTableWidgetItem);
    }
    grid_->setHorizontalHeaderItem(0, new QTableWidgetItem);
    grid_->setHorizontalHeaderItem(1, new QTableWidgetItem);
    grid_->setFixedWidth(countWidth + textWidth + grid_->verticalScrollBar()->sizeHint().width() +
                         2 * grid_->frameWidth());
    // Whole rows only, under the header row.
    grid_->setFixedHeight(grid_->horizontalHeader()->sizeHint().height() + rowHeight * kVisibleRows +
                          2 * grid_->frameWidth());

    auto *ranges = new QButtonGroup(this);
    auto *rangeColumn = new QVBoxLayout;
    rangeColumn->setSpacing(6);
    for (int i = 0; i < kSearchRangeCount; ++i) {
        auto *radio = new QRadioButton(SearchRangeCaption(i), this);
        radio->setObjectName(QStringLiteral("RadioButton%1").arg(i + 1));
        ranges->addButton(radio, i);
        rangeColumn->addWidget(radio);
        radio_[static_cast<size_t>(i)] = radio;
    }
    radio_[0]->setChecked(true);
    rangeColumn->addStretch(1);

    dxButton1_ = new QPushButton(this);
    dxButton1_->setObjectName(QStringLiteral("dxButton1"));
    dxButton1_->setDefault(true);
    dxButton2_ = new QPushButton(this);
    dxButton2_->setObjectName(QStringLiteral("dxButton2"));
    for (QPushButton *b : {dxButton1_, dxButton2_}) {
        UsePlainLook(b);
        rangeColumn->addWidget(b);
    }
    // Beside the list it works on: every amplifier the last search found, backed up in one go.
    dxButton3_ = new QPushButton(this);
    dxButton3_->setObjectName(QStringLiteral("dxButton3"));
    dxButton3_->setEnabled(false);
    UsePlainLook(dxButton3_);
    rangeColumn->addSpacing(12);
    rangeColumn->addWidget(dxButton3_);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 10, 12, 10);
    layout->setSpacing(14);
    layout->addWidget(grid_);
    layout->addLayout(rangeColumn);

    connect(dxButton1_, &QPushButton::clicked, this, &SearchWindow::SearchClick);
    connect(dxButton2_, &QPushButton::clicked, this, &SearchWindow::OkClick);
    connect(dxButton3_, &QPushButton::clicked, this, [this] {
        if (!controller_.IsSearching() && !controller_.Found().empty())
            emit backUpAllRequested(controller_.Found());
    });

    connect(&controller_, &SearchController::cellText, this, &SearchWindow::SetCell);
    connect(&controller_, &SearchController::rowSelected, this, &SearchWindow::SelectRow);
    connect(&controller_, &SearchController::searchEnabled, dxButton1_, &QWidget::setEnabled);
    // Only what a finished search listed can be backed up.
    connect(&controller_, &SearchController::searchEnabled, dxButton3_,
            [this](bool idle) { dxButton3_->setEnabled(idle && !controller_.Found().empty()); });
    connect(&controller_, &SearchController::closeRequested, this, [this] {
        if (isVisible()) done(QDialog::Accepted);
    });

    ApplyTexts();
    SetCell(0, 0, QLatin1String(kSearchHeaderCount));
    SetCell(0, 1, QLatin1String(kSearchHeaderText));
    setFixedSize(sizeHint());
}

void SearchWindow::ApplyTexts() {
    setWindowTitle(QString::fromLatin1(kSearchCaption));
    dxButton1_->setText(QStringLiteral("Search"));
    dxButton2_->setText(QStringLiteral("OK"));
    dxButton3_->setText(QStringLiteral("Back Up All..."));
}

int SearchWindow::RangeIndex() const {
    for (int i = 0; i < kSearchRangeCount; ++i)
        if (radio_[static_cast<size_t>(i)]->isChecked()) return i;
    return 0;
}

void SearchWindow::SearchClick() {
    if (controller_.IsSearching()) return;
    try {
        controller_.Search(RangeIndex());
    } catch (const std::exception &) {
        // The window stays usable whatever went wrong inside.
        dxButton1_->setEnabled(true);
    }
}

void SearchWindow::OkClick() {
    try {
        controller_.Ok();
    } catch (const std::exception &) {
    }
    // The controller asks for the close; should it not, "OK" still closes.
    if (isVisible()) done(QDialog::Accepted);
}

void SearchWindow::done(int result) {
    QDialog::done(result);
    controller_.WindowClosed();
}

void SearchWindow::showEvent(QShowEvent *event) {
    controller_.WindowShown();
    dxButton3_->setEnabled(!controller_.IsSearching() && !controller_.Found().empty());
    QDialog::showEvent(event);
}

QString SearchWindow::CellText(int row, int column) const {
    if (row == 0) {
        const QTableWidgetItem *header = grid_->horizontalHeaderItem(column);
        return header ? header->text() : QString();
    }
    const QTableWidgetItem *cell = grid_->item(row - 1, column);
    return cell ? cell->text() : QString();
}

int SearchWindow::SelectedRow() const {
    const QList<QTableWidgetItem *> selected = grid_->selectedItems();
    return selected.isEmpty() ? 0 : selected.first()->row() + 1;
}

void SearchWindow::SetCell(int row, int column, const QString &text) {
    if (row < 0 || row >= kSearchGridRows || column < 0 || column > 1) return;
    // Row 0 is the grid's fixed header row.
    QTableWidgetItem *cell = row == 0 ? grid_->horizontalHeaderItem(column) : grid_->item(row - 1, column);
    if (cell) cell->setText(text);
}

void SearchWindow::SelectRow(int row) {
    if (row < 1 || row >= kSearchGridRows) {
        grid_->scrollToTop();
        return;
    }
    grid_->selectRow(row - 1);
    grid_->scrollToItem(grid_->item(row - 1, 0));
}

}  // namespace talvo
