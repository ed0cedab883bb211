#include "shell/MainWindow.h"

#include <algorithm>
#include <exception>

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeySequence>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "devices/ConnectWindow.h"
#include "devices/SearchWindow.h"
#include "link/Clock.h"
#include "link/Connection.h"
#include "link/Link.h"
#include "link/Settings.h"
#include "editors/EditorModels.h"
#include "editors/GainModel.h"
#include "programs/ProgramFile.h"
#include "shell/AboutBox.h"
#include "shell/AppIcon.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"
#include "shell/ComSetupDialog.h"
#include "shell/HelpFile.h"
#include "shell/InterfaceTexts.h"
#include "shell/SignalFlowPanel.h"
#include "widgets/BlockButton.h"
#include "widgets/PanelStatusBar.h"
#include "widgets/RectLed.h"

namespace talvo {

namespace {

// Free pixels beside a diagram block's caption, both sides together, beyond the block's own
// minimum, at the smallest size the window may take.
constexpr int kCaptionRoom = 6;

struct ActionSpec {
    const char *name;
    const char *caption;         // as ApplyTexts writes it
    const char *builtinCaption;  // before the first ApplyTexts
    const char *hint;            // toolbar hint as ApplyTexts writes it (null: not on the toolbar)
    const char *builtinHint;
    std::initializer_list<const char *> themeIcons;
    QStyle::StandardPixmap fallbackIcon;
    // Whether the action's work exists in this program yet. The others stay disabled rather
    // than pretend: their windows and procedures come with later work, which enables them.
    bool available;
};

const ActionSpec kActions[] = {
    {"New1", "New", "New", "New", "NEW", {"document-new"}, QStyle::SP_FileIcon, true},
    {"Open1", "Open...", "Open...", "Open", "OPEN", {"document-open"}, QStyle::SP_DialogOpenButton, true},
    {"Save1", "Save...", "Save...", "Save", "SAVE", {"document-save"}, QStyle::SP_DialogSaveButton, true},
    {"ImportEq1", "Import EQ...", "Import EQ...", nullptr, nullptr, {"document-import"}, QStyle::SP_CustomBase, true},
    {"Memory1", "Memory...", "Memory...", "Memory", "MEMORAY", {"media-flash", "drive-removable-media", "media-memory"},
     QStyle::SP_DriveHDIcon, true},
    {"Exit1", "Exit", "Exit", "Exit", "EXIT", {"application-exit"}, QStyle::SP_DialogCloseButton, true},
    {"Stereo1", "Stereo", "Stereo", nullptr, nullptr, {}, QStyle::SP_CustomBase, true},
    {"Bridge1", "Bridge", "Bridge", nullptr, nullptr, {}, QStyle::SP_CustomBase, true},
    {"Mono1", "Mono", "Mono", nullptr, nullptr, {}, QStyle::SP_CustomBase, true},
    {"SineTest1", "Sine Test", "Sine Test ", nullptr, nullptr, {}, QStyle::SP_CustomBase, true},
    {"NoiseTest1", "Noise Test", "Noise Test", nullptr, nullptr, {}, QStyle::SP_CustomBase, true},
    {"COMSetup1", "COM Setup...", "COM Setup...", nullptr, nullptr, {"preferences-system", "document-properties"},
     QStyle::SP_ComputerIcon, true},
    {"Search1", "Search... ", "Search...", nullptr, nullptr, {"system-search", "edit-find"},
     QStyle::SP_FileDialogContentsView, true},
    {"Connect1", "Connect", "Connect", "Connect", "CONNTECT", {"network-connect", "network-transmit-receive", "network-wired"},
     QStyle::SP_DriveNetIcon, true},
    {"Disconnect1", "Disconnect", "Disconnect", "Disconnect", "DISCONNECT",
     {"network-disconnect", "network-offline", "network-wired-disconnected"}, QStyle::SP_BrowserStop, true},
    {"RoomRemote1", "Room Remote...", "Room Remote...", nullptr, nullptr, {"network-wireless", "phone", "smartphone"},
     QStyle::SP_DriveNetIcon, true},
    {"Content1", "Content", "Content", nullptr, nullptr, {"help-contents", "help-browser"},
     QStyle::SP_DialogHelpButton, true},
    {"About1", "About...", "About...", "About", "ABOUT", {"help-about"}, QStyle::SP_MessageBoxInformation, true},
};

struct MenuSpec {
    const char *name;
    const char *caption;
    std::initializer_list<const char *> items;  // "-" is a separator
};

const MenuSpec kMenus[] = {
    {"File1", "File", {"New1", "Open1", "Save1", "-", "ImportEq1", "-", "Memory1", "-", "Exit1"}},
    {"Mode1", "Mode", {"Stereo1", "Bridge1", "Mono1"}},
    {"Test1", "Test", {"SineTest1", "NoiseTest1"}},
    {"Tools1", "Tools", {"COMSetup1", "Search1", "-", "Connect1", "Disconnect1", "-", "RoomRemote1"}},
    {"Help1", "Help", {"Content1", "-", "About1"}},
};

// Toolbar positions 1..11; null is a separator.
const char *const kToolBar[] = {"New1",    "Open1", "Save1", nullptr, "Connect1", "Disconnect1",
                                nullptr,   "Memory1", nullptr, "About1", "Exit1"};

constexpr QSize kToolButtonSize{25, 30};

QIcon ThemeIcon(std::initializer_list<const char *> names, QStyle::StandardPixmap fallback, const QStyle *style) {
    for (const char *name : names)
        if (QIcon::hasThemeIcon(QString::fromLatin1(name))) return QIcon::fromTheme(QString::fromLatin1(name));
    return fallback == QStyle::SP_CustomBase ? QIcon() : style->standardIcon(fallback);
}

}  // namespace

QString FirmwareText(int major, int minor) {
    return QStringLiteral("     MCU Firmware Version: DSP VS-%1.%2").arg(major).arg(minor);
}

MainWindow::MainWindow(AppState &state, InterfaceTexts &texts, LinkController &link, QWidget *parent)
    : QMainWindow(parent), state_(state), texts_(texts), link_(link), prompts_(ShellPrompts::Defaults()) {
    setObjectName(QStringLiteral("TForm1"));
    setWindowTitle(QString::fromLatin1(kMainCaption));
    setWindowIcon(AppIcon());

    buildActions();
    buildMenus();
    buildRecentMenu();
    buildToolBar();
    buildCentre();

    stt_ = new PanelStatusBar({150, 150, 50}, this);
    stt_->setObjectName(QStringLiteral("stt"));
    setStatusBar(stt_);

    // The status texts of the link are refreshed from here, every 20 ms for the whole run.
    timer4_ = new QTimer(this);
    timer4_->setObjectName(QStringLiteral("Timer4"));
    timer4_->setInterval(Clock::toRealCeilMs(kStatusTimerMs));
    connect(timer4_, &QTimer::timeout, &link_, &LinkController::Timer4Timer);
    timer4_->start();

    connect(&link_.link(), &Link::statusText, stt_, &PanelStatusBar::setPanelText);
    connect(&link_.link(), &Link::progressChanged, progst1_, &QProgressBar::setValue);
    connect(&link_, &LinkController::indicatorChanged, this, [this](bool lit, const QString &text) {
        lineled_->setActive(lit);
        linetext_->setText(text);
    });
    connect(&link_, &LinkController::openError, this, &MainWindow::showOpenError);
    // A lost port ends the connection as a disconnect does; the message waits for whatever
    // handler is running to return first.
    connect(&link_, &LinkController::linkLost, this, &MainWindow::disconnecting, Qt::QueuedConnection);
    connect(&link_, &LinkController::portLost, this, &MainWindow::showOpenError, Qt::QueuedConnection);

    texts_.Register(this, [this] { WriteOwnTexts(); });
}

MainWindow::~MainWindow() = default;

void MainWindow::buildActions() {
    for (const ActionSpec &spec : kActions) {
        auto *a = new QAction(QString::fromLatin1(spec.builtinCaption), this);
        a->setObjectName(QString::fromLatin1(spec.name));
        if (spec.builtinHint) a->setToolTip(QString::fromLatin1(spec.builtinHint));
        a->setIcon(ThemeIcon(spec.themeIcons, spec.fallbackIcon, style()));
        a->setEnabled(spec.available);
    }
    // Handlers as queued calls: a modal window or a wait that keeps the interface alive then
    // never runs inside the menu's own event handling.
    auto bind = [this](const char *name, void (MainWindow::*handler)()) {
        connect(action(name), &QAction::triggered, this, handler, Qt::QueuedConnection);
    };
    bind("Connect1", &MainWindow::Connect1Click);
    bind("Search1", &MainWindow::Search1Click);
    bind("Disconnect1", &MainWindow::Disconnect1Click);
    bind("COMSetup1", &MainWindow::COMSetup1Click);
    bind("Content1", &MainWindow::Content1Click);
    bind("About1", &MainWindow::About1Click);
    bind("New1", &MainWindow::New1Click);
    bind("Open1", &MainWindow::Open1Click);
    bind("Save1", &MainWindow::Save1Click);
    bind("ImportEq1", &MainWindow::ImportEq1Click);
    action("New1")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    action("Open1")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    action("Save1")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(action("Exit1"), &QAction::triggered, this, &QWidget::close, Qt::QueuedConnection);
}

void MainWindow::buildMenus() {
    for (const MenuSpec &spec : kMenus) {
        QMenu *m = menuBar()->addMenu(QString::fromLatin1(spec.caption));
        m->setObjectName(QString::fromLatin1(spec.name));
        for (const char *item : spec.items) {
            if (QByteArrayView(item) == "-")
                m->addSeparator();
            else
                m->addAction(action(item));
        }
    }
}

void MainWindow::buildRecentMenu() {
    QMenu *file = menu("File1");
    recent_ = new QMenu(QStringLiteral("Open Recent"), file);
    recent_->setObjectName(QStringLiteral("OpenRecent1"));
    file->insertMenu(action("Save1"), recent_);
    // Read when it opens: another copy of the program may have opened or saved files meanwhile.
    connect(recent_, &QMenu::aboutToShow, this, &MainWindow::fillRecentMenu);
    // It opens files as Open... does, so it is usable exactly when Open... is.
    connect(action("Open1"), &QAction::enabledChanged, recent_->menuAction(), &QAction::setEnabled);
    fillRecentMenu();
}

void MainWindow::fillRecentMenu() {
    recent_->clear();
    const QStringList files = Settings::RecentProgramFiles();
    int number = 0;
    for (const QString &path : files) {
        ++number;
        const QFileInfo info(path);
        QString text = QDir::toNativeSeparators(path);
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        if (number < 10) text = QStringLiteral("&%1 ").arg(number) + text;
        QAction *item = recent_->addAction(text);
        item->setObjectName(QStringLiteral("OpenRecentFile%1").arg(number));
        // A file that has gone (a removed stick, a renamed folder) stays listed, greyed out, so
        // the operator sees what was there.
        const bool present = info.isFile();
        item->setEnabled(present);
        item->setToolTip(present ? QDir::toNativeSeparators(path) : QStringLiteral("Missing: ") + QDir::toNativeSeparators(path));
        connect(item, &QAction::triggered, this, [this, path] { OpenProgramFile(path); }, Qt::QueuedConnection);
    }
    if (files.isEmpty()) recent_->addAction(QStringLiteral("(none)"))->setEnabled(false);
}

void MainWindow::buildToolBar() {
    toolBar_ = addToolBar(QStringLiteral("ToolBar1"));
    toolBar_->setObjectName(QStringLiteral("ToolBar1"));
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    toolBar_->setIconSize(QSize(20, 20));
    toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolBar_->setContextMenuPolicy(Qt::PreventContextMenu);
    int position = 0;
    for (const char *name : kToolBar) {
        ++position;
        if (!name) {
            toolBar_->addSeparator();
            continue;
        }
        QAction *a = action(name);
        toolBar_->addAction(a);
        if (QWidget *button = toolBar_->widgetForAction(a)) {
            button->setObjectName(QStringLiteral("ToolButton%1").arg(position));
            button->setFixedSize(kToolButtonSize);
        }
    }
}

void MainWindow::buildCentre() {
    auto *centre = new QWidget(this);
    centre->setObjectName(QStringLiteral("Centre"));
    auto *layout = new QVBoxLayout(centre);
    layout->setContentsMargins(6, 6, 6, 4);
    layout->setSpacing(5);

    panel_ = new SignalFlowPanel(centre);
    layout->addWidget(panel_, 1);
    // The window shrinks no further than the diagram with room beside every block's caption;
    // narrower, the captions run into the blocks' edges. (At the restored size all fits.)
    for (BlockButton *block : panel_->findChildren<BlockButton *>())
        block->setMinimumWidth(std::max(block->minimumWidth(), block->minimumSizeHint().width() + kCaptionRoom));
    connect(panel_, &SignalFlowPanel::closeRequested, this, &QWidget::close, Qt::QueuedConnection);
    // Every block first brings the interface texts up to date; the editors it opens come with
    // their own work and connect to the same signal.
    connect(panel_, &SignalFlowPanel::blockClicked, this, [this] { ApplyTexts(); });

    auto *strip = new QHBoxLayout(panel_->linkStrip());
    strip->setContentsMargins(0, 2, 0, 0);
    strip->setSpacing(8);
    lineled_ = new RectLed(panel_->linkStrip());
    lineled_->setObjectName(QStringLiteral("lineled"));
    lineled_->setFixedSize(30, 14);
    linetext_ = new QLabel(QStringLiteral("OFFLINE"), panel_->linkStrip());
    linetext_->setObjectName(QStringLiteral("linetext"));
    QFont bold = linetext_->font();
    bold.setBold(true);
    linetext_->setFont(bold);
    linetext_->setMinimumWidth(linetext_->fontMetrics().horizontalAdvance(QStringLiteral("OFFLINE")) + 6);
    label15_ = new QLabel(QStringLiteral("ID:1"), panel_->linkStrip());
    label15_->setObjectName(QStringLiteral("Label15"));
    label15_->setMinimumWidth(label15_->fontMetrics().horizontalAdvance(QStringLiteral("ID:255")) + 6);
    strip->addWidget(lineled_);
    strip->addWidget(linetext_);
    strip->addSpacing(10);
    strip->addWidget(label15_);
    strip->addSpacing(20);
    label16_ = new QLabel(QString::fromLatin1(kOpenedFilePrefix), panel_->linkStrip());
    label16_->setObjectName(QStringLiteral("Label16"));
    strip->addWidget(label16_, 1);

    progst1_ = new QProgressBar(centre);
    progst1_->setObjectName(QStringLiteral("progst1"));
    progst1_->setRange(0, 100);
    progst1_->setValue(0);
    progst1_->setTextVisible(false);
    progst1_->setFixedHeight(14);
    layout->addWidget(progst1_);

    setCentralWidget(centre);
}

QAction *MainWindow::action(const char *objectName) const {
    return findChild<QAction *>(QString::fromLatin1(objectName), Qt::FindDirectChildrenOnly);
}

QMenu *MainWindow::menu(const char *objectName) const {
    return menuBar()->findChild<QMenu *>(QString::fromLatin1(objectName));
}

void MainWindow::placeOnScreen() {
    resize(kRestoredSize);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), kRestoredSize);
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void MainWindow::ApplyTexts() { texts_.ApplyTexts(); }

void MainWindow::WriteOwnTexts() {
    static const QString kFamily = QStringLiteral("MS Sans Serif");
    if (font().family() != kFamily) {
        QFont f = font();
        f.setFamily(kFamily);
        setFont(f);
    }
    for (const MenuSpec &spec : kMenus)
        if (QMenu *m = menu(spec.name)) m->setTitle(QString::fromLatin1(spec.caption));
    for (const ActionSpec &spec : kActions) {
        QAction *a = action(spec.name);
        a->setText(QString::fromLatin1(spec.caption));
        if (spec.hint) a->setToolTip(QString::fromLatin1(spec.hint));
    }
    panel_->ApplyTexts(state_.testMode == kTestModeSine);
    label15_->setText(QStringLiteral("ID:%1").arg(state_.link.chosenId));
    linetext_->setText(state_.link.linkActive != 0 ? QStringLiteral("ONLINE") : QStringLiteral("OFFLINE"));
    stt_->setPanelText(2, state_.link.linkActive == 0 ? QString()
                                                     : FirmwareText(state_.firmwareMajor, state_.firmwareMinor));
}

void MainWindow::StartUp() {
    link_.link().LoadPortNumber();
    // The language value has no effect on the texts (they are always English); reading it
    // only decides whether the texts are written now. A first run has no value yet.
    if (Settings::Language().has_value()) ApplyTexts();
}

void MainWindow::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    if (!startedUp_) {
        startedUp_ = true;
        StartUp();
    }
}

void MainWindow::showOpenError(const QString &caption, const QString &text) {
    prompts_.tell(this, QMessageBox::Critical, caption, text);
}

void MainWindow::Connect1Click() {
    ApplyTexts();
    // A port that cannot be opened is reported through openError, shown above.
    if (!link_.ConnectLinkSteps()) return;
    if (!connect_) return;
    connect_->PrepareToShow();
    connect_->exec();
}

void MainWindow::Search1Click() {
    ApplyTexts();
    if (!link_.SearchLinkSteps()) return;
    if (search_) search_->exec();
}

void MainWindow::Disconnect1Click() {
    ApplyTexts();
    emit disconnecting();
    link_.Disconnect();
}

void MainWindow::COMSetup1Click() {
    ApplyTexts();
    if (comSetup_) comSetup_->exec();
}

void MainWindow::Content1Click() {
    const QString path = LocateHelpFile(QDir::currentPath(), Settings::InstallPath());
    if (path.isEmpty()) {
        prompts_.tell(this, QMessageBox::Warning, QString::fromLatin1(kMainCaption),
                      QString::fromLatin1(kHelpMissingText));
        return;
    }
    // When the desktop has no handler for the file, nothing is shown, as when a help viewer
    // is missing.
    prompts_.openFile(path);
}

void MainWindow::About1Click() {
    ApplyTexts();
    if (!about_) return;
    about_->PrepareToShow();
    about_->exec();
}

bool MainWindow::ConfirmClose() {
    if (state_.link.unsavedChanges != kYes) return true;
    const QMessageBox::StandardButton answer =
        prompts_.ask(this, QMessageBox::Question, QString::fromLatin1(kMainCaption),
                     QString::fromLatin1(kExitQuestionText), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer == QMessageBox::Yes) {
        // File > Save..., when this program has it; whatever the save dialog's outcome, the
        // program then closes.
        QAction *save = action("Save1");
        // Run here, not queued: the save must be done before the window goes.
        if (save->isEnabled()) Save1Click();
        return true;
    }
    return answer == QMessageBox::No;
}

void MainWindow::closeEvent(QCloseEvent *event) {
    // A close asked for while the closing disconnect is still running is the same close.
    if (closing_ || !ConfirmClose()) {
        event->ignore();
        return;
    }
    closing_ = true;
    // The closing disconnect keeps the interface alive for its progress bar; nothing else
    // may start meanwhile.
    menuBar()->setEnabled(false);
    toolBar_->setEnabled(false);
    panel_->setEnabled(false);
    emit disconnecting();
    link_.Shutdown();
    timer4_->stop();
    event->accept();
}

bool MainWindow::refuseLockedProgram() {
    if (state_.link.linkActive != kYes || state_.currentProgram != kLockedProgram) return false;
    prompts_.tell(this, QMessageBox::Information, QString::fromLatin1(kProgram21Caption),
                  QString::fromLatin1(kProgram21Text));
    return true;
}

void MainWindow::OfferCurrentDownload() {
    if (offerCurrentDownload_) offerCurrentDownload_();
}

void MainWindow::finishDownloadOffer() {
    if (models_) {
        models_->gain(kLeftChannel).Reset();
        models_->gain(kRightChannel).Reset();
    }
    action("New1")->setEnabled(true);
    action("Open1")->setEnabled(true);
}

void MainWindow::New1Click() {
    if (refuseLockedProgram() || !applier_) return;
    applier_->LoadDefaultProgram();
    label16_->setText(QString::fromLatin1(kOpenedFilePrefix) + QStringLiteral("NEW FILE"));
    if (state_.link.linkActive == kYes) {
        action("Open1")->setEnabled(false);
        action("New1")->setEnabled(false);
        OfferCurrentDownload();
        finishDownloadOffer();
    }
}

void MainWindow::Open1Click() {
    const QString prefix = QString::fromLatin1(kOpenedFilePrefix);
    openProgram([this, prefix] {
        return prompts_.chooseOpenFile(this, [this, prefix](const QString &selected) {
            const QString base = FileBaseName(selected);
            if (base.isEmpty()) return;
            label16_->setText(prefix + base + QString::fromLatin1(kProgramFileExtension) +
                              QStringLiteral("   PROGRAM NAME:") + ReadProgramName(selected));
        });
    });
}

void MainWindow::OpenProgramFile(const QString &path) {
    openProgram([path] { return path; });
}

void MainWindow::openProgram(const std::function<QString()> &choose) {
    if (refuseLockedProgram() || !applier_) return;
    LinkState &link = state_.link;
    // Continuous updates hold off while anything is pending; the port stays closed for the
    // dialog and the applying, so nothing half-applied can reach the amplifier.
    link.pendingFrames += 10;
    const bool reopen = link.sendEnabled.load() == 1;
    if (reopen) {
        link_.link().ClosePort();
        link.sendEnabled.store(0);
    }
    const QString prefix = QString::fromLatin1(kOpenedFilePrefix);
    label16_->setText(prefix);
    const QString path = choose();
    label16_->setText(prefix);
    bool applied = false;
    if (!path.isEmpty()) {
        const FileResult result = applier_->ApplyProgramFile(path);
        const bool wrongLength = result.status == FileResult::Status::WrongLength;
        if (!result.ok() && !wrongLength) {
            // Unreadable, or a value no editor produces: nothing was applied.
            prompts_.tell(this, QMessageBox::Critical, QStringLiteral("Open file"), result.message);
        } else {
            applied = true;
            if (wrongLength) {
                // The default program stands in for it, and the operator is told so; a file that
                // is no program file is not offered again under Open Recent.
                prompts_.tell(this, QMessageBox::Warning, QStringLiteral("Open file"),
                              QStringLiteral("%1 is not a program file: it is %2 bytes long, and a program file is "
                                             "exactly %3. The default program was loaded.")
                                  .arg(path)
                                  .arg(result.lengthFound)
                                  .arg(result.lengthExpected));
            } else {
                Settings::RememberProgramFile(QFileInfo(path).absoluteFilePath());
            }
            const QString base = FileBaseName(path);
            if (!base.isEmpty()) {
                label16_->setText(prefix + base + QString::fromLatin1(kProgramFileExtension));
                if (programNameField_) programNameField_(ReadProgramName(path));
            }
        }
    }
    if (reopen) {
        link_.link().OpenPort();  // a port that does not open shows when the next frame cannot be written
        link.sendEnabled.store(1);
    }
    link.pendingFrames -= 10;
    if (applied && link.linkActive == kYes) {
        action("New1")->setEnabled(false);
        action("Open1")->setEnabled(false);
        OfferCurrentDownload();
        link.linkActive = 0;
        finishDownloadOffer();
        for (int i = 0; i < 2; ++i) {
            link_.link().WaitPumping(1);
            QCoreApplication::processEvents();
        }
        link.linkActive = kYes;
    }
}

void MainWindow::Save1Click() {
    if (!models_) return;
    for (;;) {
        QString path = prompts_.chooseSaveFile(this);
        if (path.isEmpty()) return;
        // A name without an extension gets the program file's own.
        if (QFileInfo(path).suffix().isEmpty()) path += QString::fromLatin1(kProgramFileExtension);
        if (QFileInfo::exists(path)) {
            const QMessageBox::StandardButton answer =
                prompts_.ask(this, QMessageBox::Warning, QString::fromLatin1(kSaveCaption),
                             path + QString::fromLatin1(kOverwriteQuestion), QMessageBox::Ok | QMessageBox::Cancel);
            if (answer != QMessageBox::Ok) continue;  // another name, or cancel
        }
        const FileResult result = models_->WriteProgramFile(path);
        if (result.ok())
            Settings::RememberProgramFile(QFileInfo(path).absoluteFilePath());
        else
            prompts_.tell(this, QMessageBox::Critical, QString::fromLatin1(kSaveCaption), result.message);
        return;
    }
}

void MainWindow::ImportEq1Click() {
    if (!importEq_) return;
    const QString path = prompts_.chooseFilterFile(this);
    if (path.isEmpty()) return;
    const int channel = prompts_.chooseEqChannel(this);
    if (channel == kEqChannelCancelled) return;
    importEq_(path, channel);
}

QString MainWindow::statusText(int panel) const { return stt_->panelText(panel); }

}  // namespace talvo
