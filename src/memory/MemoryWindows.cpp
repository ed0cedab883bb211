#include "memory/MemoryWindows.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QTimer>
#include <QToolBox>
#include <QVBoxLayout>

#include "memory/MemoryController.h"
#include "state/AppState.h"

namespace talvo {

namespace {

constexpr int kTimerMs = 100;
const QString kOpenFilter = QStringLiteral("VELK File(*.VKP;*.DMP) (*.VKP *.DMP)");
const QStringList kSaveFilters{QStringLiteral("VELK File(*.VKP) (*.VKP)"), QStringLiteral("VELK File(*.DMP) (*.DMP)")};
const QString kManageMemoryFilter = QStringLiteral("*.DMP(VELK Memory Precinct) (*.DMP)");
const QString kManageProgramFilter = QStringLiteral("*.VKP (*.VKP)");

QTableWidget *MakeGrid(QWidget *parent, int programWidth)
{
    auto *grid = new QTableWidget(kMemorySlotCount, 2, parent);
    grid->setObjectName(QStringLiteral("StringGrid1"));
    grid->setHorizontalHeaderLabels({QStringLiteral("Program"), QStringLiteral("Name")});
    grid->verticalHeader()->setVisible(false);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setColumnWidth(0, programWidth);
    grid->setColumnWidth(1, 140);
    grid->verticalHeader()->setDefaultSectionSize(20);
    grid->setMinimumSize(programWidth + 140 + 24, 21 * 20 + 4);
    for (int r = 0; r < kMemorySlotCount; ++r) {
        grid->setItem(r, 0, new QTableWidgetItem(QString::number(r + 1)));
        grid->setItem(r, 1, new QTableWidgetItem(QString()));
    }
    return grid;
}

QPushButton *MakeButton(QWidget *parent, const char *objectName, const char *text)
{
    auto *b = new QPushButton(QString::fromUtf8(text), parent);
    b->setObjectName(QLatin1String(objectName));
    b->setMinimumWidth(96);
    return b;
}

void SetCell(QTableWidget *grid, int slot, int column, const QString &text)
{
    if (QTableWidgetItem *item = grid->item(slot - 1, column))
        item->setText(text);
}

}  // namespace

MemoryFileDialogs MemoryFileDialogs::Defaults()
{
    MemoryFileDialogs d;
    d.open = [](QWidget *parent, const QString &caption, const QString &filter) {
        return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
    };
    d.save = [](QWidget *parent, const QString &caption, const QStringList &filters) {
        // The dialog opens with an empty file name every time.
        QFileDialog dialog(parent, caption);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters(filters);
        // The overwrite question is the program's own, asked once the extension is added.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.selectFile(QString());
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::pair<QString, int>{QString(), 0};
        return std::pair<QString, int>{dialog.selectedFiles().first(),
                                       static_cast<int>(filters.indexOf(dialog.selectedNameFilter()))};
    };
    return d;
}

// ---- TForm19

ProgramNameDialog::ProgramNameDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm19"));
    setWindowTitle(QString::fromLatin1(kProgramNameCaption));
    setModal(true);
    label1_ = new QLabel(QStringLiteral("Enter Program Name:"), this);
    label1_->setObjectName(QStringLiteral("Label1"));
    edit1_ = new QLineEdit(QString::fromLatin1(kDefaultProgramName), this);
    edit1_->setObjectName(QStringLiteral("Edit1"));
    edit1_->setMaxLength(kNameSize);
    radioButton1_ = new QRadioButton(QStringLiteral("Select Program Volume"), this);
    radioButton1_->setObjectName(QStringLiteral("RadioButton1"));
    radioButton2_ = new QRadioButton(QStringLiteral("Mute"), this);
    radioButton2_->setObjectName(QStringLiteral("RadioButton2"));
    radioButton2_->setChecked(true);
    fd2_ = new QPushButton(QStringLiteral("OK"), this);
    fd2_->setObjectName(QStringLiteral("fd2"));
    fd2_->setDefault(true);
    connect(fd2_, &QPushButton::clicked, this, &ProgramNameDialog::fd2Click);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label1_);
    layout->addWidget(edit1_);
    layout->addWidget(radioButton1_);
    layout->addWidget(radioButton2_);
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(fd2_);
    layout->addLayout(row);
}

void ProgramNameDialog::Ask(ProgramNameState &state)
{
    state_ = &state;
    edit1_->setText(state.name);
    radioButton1_->setEnabled(state.volumeEnabled);
    radioButton2_->setEnabled(true);
    (state.muteTicked ? radioButton2_ : radioButton1_)->setChecked(true);
    edit1_->setFocus();
    exec();
    // The name field and the options are kept between uses, OK or not.
    state.name = edit1_->text();
    state.muteTicked = radioButton2_->isChecked();
    state_ = nullptr;
}

void ProgramNameDialog::fd2Click()
{
    if (state_) {
        state_->muteOption = radioButton2_->isChecked() ? 1 : 0;
        state_->nameAccepted = kYes;
    }
    accept();
}

// ---- TForm31

ManageWindow::ManageWindow(QWidget *parent) : QDialog(parent), dialogs_(MemoryFileDialogs::Defaults())
{
    setObjectName(QStringLiteral("TForm31"));
    setWindowTitle(QString::fromLatin1(kManageCaption));
    setModal(true);
    ask_ = [](QWidget *p, const QString &caption, const QString &text) {
        return QMessageBox::warning(p, caption, text, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    };
    tell_ = [](QWidget *p, const QString &caption, const QString &text) { QMessageBox::critical(p, caption, text); };

    grid_ = MakeGrid(this, 67);
    for (int r = 1; r <= kMemorySlotCount; ++r)
        SetCell(grid_, r, 1, QString());
    auto *label = new QLabel(QStringLiteral("Program Name"), this);
    label->setObjectName(QStringLiteral("Label1"));
    edit1_ = new QLineEdit(QString::fromLatin1(kDefaultProgramName), this);
    edit1_->setObjectName(QStringLiteral("Edit1"));
    edit1_->setMaxLength(kNameSize);

    // The outlook bar: the memory file's page and the program's page, the latter shown first.
    outlook_ = new QToolBox(this);
    outlook_->setObjectName(QStringLiteral("OutlookBar"));
    const auto page = [this](const QString &title, const std::vector<std::pair<QString, std::function<void()>>> &items) {
        auto *w = new QWidget(outlook_);
        auto *l = new QVBoxLayout(w);
        for (const auto &[text, action] : items) {
            auto *b = new QPushButton(text, w);
            b->setFlat(true);
            b->setObjectName(title.trimmed() + QLatin1Char('_') + QString(text).remove(QLatin1Char(' ')));
            connect(b, &QPushButton::clicked, this, action);
            l->addWidget(b);
        }
        l->addStretch();
        outlook_->addItem(w, title);
    };
    page(QStringLiteral("Memory Precinct"), {{QStringLiteral("New"), [this] { NewClick(); }},
                                             {QStringLiteral("Refresh"), [this] { RefreshClick(); }},
                                             {QStringLiteral("Open"), [this] { OpenClick(); }},
                                             {QStringLiteral("Save As"), [this] { SaveMemoryAsClick(); }}});
    page(QStringLiteral("Program "), {{QStringLiteral("Add"), [this] { AddClick(); }},
                                      {QStringLiteral("Save As"), [this] { SaveProgramAsClick(); }},
                                      {QStringLiteral("Delete"), [this] { DeleteClick(); }},
                                      {QStringLiteral("Delete All"), [this] { DeleteAllClick(); }}});
    outlook_->setCurrentIndex(1);
    outlook_->setMinimumWidth(170);

    // The buttons; "Open", "Save" and "Add" do what the outlook bar's items of that name do.
    auto *buttons = new QGridLayout;
    const struct {
        const char *name;
        const char *text;
        void (ManageWindow::*handler)();
    } kButtons[] = {{"dxButton1", "New", &ManageWindow::NewClick},         {"dxButton2", "Open", &ManageWindow::OpenClick},
                    {"dxButton3", "Save", &ManageWindow::SaveMemoryAsClick}, {"dxButton4", "Add", &ManageWindow::AddClick},
                    {"dxButton5", "Delete", &ManageWindow::DeleteClick},   {"dxButton7", "Modify", &ManageWindow::ModifyClick},
                    {"dxButton8", "Refresh", &ManageWindow::RefreshClick}, {"dxButton6", "OK", nullptr}};
    int i = 0;
    for (const auto &b : kButtons) {
        QPushButton *button = MakeButton(this, b.name, b.text);
        if (b.handler)
            connect(button, &QPushButton::clicked, this, b.handler);
        else
            connect(button, &QPushButton::clicked, this, &QDialog::accept);
        buttons->addWidget(button, i / 2, i % 2);
        ++i;
    }

    auto *right = new QVBoxLayout;
    right->addWidget(label);
    right->addWidget(edit1_);
    right->addLayout(buttons);
    right->addStretch();
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(outlook_);
    layout->addWidget(grid_, 1);
    layout->addLayout(right);

    connect(grid_, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (row >= 0)
            edit1_->setText(grid_->item(row, 1)->text());
    });
    grid_->selectRow(0);

    timer1_ = new QTimer(this);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    connect(timer1_, &QTimer::timeout, this, &ManageWindow::Timer1Timer);
    timer1_->start(kTimerMs);
    Timer1Timer();
}

QPushButton *ManageWindow::button(const char *objectName) const
{
    return findChild<QPushButton *>(QLatin1String(objectName));
}

int ManageWindow::CurrentRow() const
{
    return MemoryManage::Limit(grid_->currentRow() + 1);
}

void ManageWindow::SelectRow(int r)
{
    grid_->selectRow(MemoryManage::Limit(r) - 1);
}

void ManageWindow::ShowSlot(int r)
{
    r = MemoryManage::Limit(r);
    SelectRow(r);
    SetCell(grid_, r, 0, manage_.ProgramCell(r));
    SetCell(grid_, r, 1, manage_.NameCell(r));
    edit1_->setText(manage_.NameField(r));
}

void ManageWindow::NewClick()
{
    manage_.New();
    RefreshClick();
}

void ManageWindow::RefreshClick()
{
    for (int r = 1; r <= kMemorySlotCount; ++r)
        ShowSlot(r);
}

void ManageWindow::OpenClick()
{
    const QString path = dialogs_.open(this, QStringLiteral("Open"), kManageMemoryFilter);
    if (path.isEmpty())
        return;
    report(manage_.Open(path));
    RefreshClick();
}

bool ManageWindow::confirmTarget(QString &path, const char *extension)
{
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1String(extension);
    if (!QFileInfo::exists(path))
        return true;
    return ask_(this, QStringLiteral("Save file"), path + QStringLiteral(" already exist, Overwrite this file?"));
}

void ManageWindow::report(const FileResult &result)
{
    if (!result.ok())
        tell_(this, QString::fromLatin1(kManageCaption), result.message);
}

void ManageWindow::SaveMemoryAsClick()
{
    QString path = dialogs_.save(this, QStringLiteral("Save As"), {kManageMemoryFilter}).first;
    if (path.isEmpty() || !confirmTarget(path, kMemoryFileExtension))
        return;
    report(manage_.SaveAs(path));
}

void ManageWindow::AddClick()
{
    const int r = CurrentRow();
    const QString path = dialogs_.open(this, QStringLiteral("Add"), kManageProgramFilter);
    if (!path.isEmpty())
        report(manage_.Add(r, path));
    ShowSlot(r);
}

void ManageWindow::SaveProgramAsClick()
{
    const int r = CurrentRow();
    QString path = dialogs_.save(this, QStringLiteral("Save As"), {kManageProgramFilter}).first;
    if (path.isEmpty() || !confirmTarget(path, kProgramFileExtension))
        return;
    report(manage_.SaveSlotAs(r, path));
}

void ManageWindow::DeleteClick()
{
    const int r = CurrentRow();
    if (manage_.InUse(r) &&
        ask_(this, QString::fromLatin1(kManageCaption), QStringLiteral("Delete current Program?")))
        manage_.Delete(r);
    ShowSlot(r);
}

void ManageWindow::DeleteAllClick()
{
    if (!ask_(this, QString::fromLatin1(kManageCaption), QStringLiteral("Delete All Program?")))
        return;
    for (int r = 1; r <= kMemorySlotCount; ++r) {
        manage_.Delete(r);
        ShowSlot(r);
    }
}

void ManageWindow::ModifyClick()
{
    const int r = CurrentRow();
    if (manage_.InUse(r) &&
        ask_(this, QString::fromLatin1(kManageCaption), QStringLiteral("Modify current Program Name?")))
        manage_.Modify(r, edit1_->text());
    ShowSlot(r);
}

void ManageWindow::Timer1Timer()
{
    const bool inUse = manage_.InUse(CurrentRow());
    button("dxButton7")->setEnabled(inUse);
    button("dxButton5")->setEnabled(inUse);
}

void ManageWindow::showEvent(QShowEvent *event)
{
    setWindowTitle(QString::fromLatin1(kManageCaption));
    QDialog::showEvent(event);
}

// ---- TForm17

namespace {
const char *const kMemoryButtonTexts[9] = {"Refresh", "Upload", "File Down", "Setup Down", "Delete",
                                           "Delete All", "Save", "OK", "Manage"};
}  // namespace

MemoryWindow::MemoryWindow(MemoryController &controller, AppState &state, QWidget *parent)
    : QDialog(parent), controller_(controller), state_(state), dialogs_(MemoryFileDialogs::Defaults())
{
    setObjectName(QStringLiteral("TForm17"));
    setWindowTitle(QString::fromLatin1(kMemoryWindowCaption));
    setModal(true);
    grid_ = MakeGrid(this, 63);
    label1_ = new QLabel(this);
    label1_->setObjectName(QStringLiteral("Label1"));

    void (MemoryWindow::*const handlers[9])() = {
        &MemoryWindow::dxButton1Click, &MemoryWindow::dxButton2Click, &MemoryWindow::dxButton3Click,
        &MemoryWindow::dxButton4Click, &MemoryWindow::dxButton5Click, &MemoryWindow::dxButton6Click,
        &MemoryWindow::dxButton7Click, &MemoryWindow::dxButton8Click, &MemoryWindow::dxButton9Click};
    auto *column = new QVBoxLayout;
    for (int i = 0; i < 9; ++i) {
        const QByteArray name = "dxButton" + QByteArray::number(i + 1);
        buttons_[i] = MakeButton(this, name.constData(), kMemoryButtonTexts[i]);
        // Queued: a transfer runs its own waits, never inside another handler's.
        connect(buttons_[i], &QPushButton::clicked, this, handlers[i], Qt::QueuedConnection);
        column->addWidget(buttons_[i]);
        if (i == 6)
            column->addSpacing(12);
    }
    column->addStretch();

    auto *left = new QVBoxLayout;
    left->addWidget(label1_);
    left->addWidget(grid_, 1);
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(column);

    connect(&controller_, &MemoryController::slotRowChanged, this, [this](int slot, const SlotRow &row) {
        SetCell(grid_, slot, 0, row.program);
        SetCell(grid_, slot, 1, row.name);
    });
    connect(&controller_, &MemoryController::rowSelected, this, [this](int slot) {
        if (grid_->currentRow() != slot - 1)
            grid_->selectRow(slot - 1);
    });
    connect(grid_, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (row >= 0 && controller_.currentRow() != row + 1)
            controller_.SelectRow(row + 1);
    });
    connect(&controller_, &MemoryController::transferButtonsEnabled, this, &MemoryWindow::setTransferButtons);
    connect(&controller_, &MemoryController::amplifierForgotten, label1_, &QLabel::clear);
    connect(&controller_, &MemoryController::closeRequested, this, [this] { dxButton8Click(); });
    grid_->selectRow(0);

    timer1_ = new QTimer(this);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    connect(timer1_, &QTimer::timeout, this, &MemoryWindow::Timer1Timer);
    timer1_->start(kTimerMs);
}

QString MemoryWindow::CellText(int row, int column) const
{
    const QTableWidgetItem *item = grid_->item(row - 1, column);
    return item ? item->text() : QString();
}

void MemoryWindow::setTransferButtons(bool enabled)
{
    for (int i = 0; i < 7; ++i)
        buttons_[i]->setEnabled(enabled);
}

void MemoryWindow::PrepareToShow()
{
    label1_->setText(controller_.CurrentProgramLabel());
    // Rows read from another amplifier than the one connected now (or with none) go.
    controller_.CheckAmplifier();
    setTransferButtons(true);
    Timer1Timer();
}

void MemoryWindow::ApplyTexts()
{
    setWindowTitle(QStringLiteral("Memory precinct"));
    // Manage is not among the texts written.
    for (int n = 1; n <= 8; ++n)
        button(n)->setText(QString::fromLatin1(kMemoryButtonTexts[n - 1]));
}

void MemoryWindow::Memory1Click()
{
    PrepareToShow();
    exec();
}

void MemoryWindow::Timer1Timer()
{
    if (state_.link.linkActive != kYes)
        setTransferButtons(false);
}

void MemoryWindow::dxButton1Click()
{
    controller_.Refresh();
}

void MemoryWindow::dxButton2Click()
{
    controller_.Upload(controller_.currentRow());
}

void MemoryWindow::dxButton3Click()
{
    const QString path = dialogs_.open(this, QStringLiteral("File Down"), kOpenFilter);
    if (!path.isEmpty())
        controller_.FileDown(path);
}

void MemoryWindow::dxButton4Click()
{
    controller_.SetupDown();
}

void MemoryWindow::dxButton5Click()
{
    controller_.Delete(controller_.currentRow());
}

void MemoryWindow::dxButton6Click()
{
    controller_.DeleteAll();
}

void MemoryWindow::dxButton7Click()
{
    for (;;) {
        const auto [path, filter] = dialogs_.save(this, QStringLiteral("Save"), kSaveFilters);
        if (path.isEmpty())
            return;
        const MemoryOutcome outcome =
            filter == 1 ? controller_.SaveMemory(path) : controller_.SaveSlot(controller_.currentRow(), path);
        // A declined overwrite question offers the save dialog again.
        if (!outcome.cancelled)
            return;
    }
}

void MemoryWindow::dxButton8Click()
{
    controller_.Close();
    setTransferButtons(true);
    accept();
}

void MemoryWindow::dxButton9Click()
{
    if (manage_)
        manage_->exec();
}

void MemoryWindow::done(int result)
{
    // Closing by any means ends a running Refresh after its slot.
    controller_.Close();
    QDialog::done(result);
}

}  // namespace talvo
