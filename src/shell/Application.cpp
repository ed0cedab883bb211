#include "shell/Application.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>

#include "devices/BusSearch.h"
#include "devices/ConnectProcedure.h"
#include "devices/ConnectWindow.h"
#include "devices/DeviceListLocation.h"
#include "devices/DeviceListWindow.h"
#include "devices/Fleet.h"
#include "devices/FleetWindow.h"
#include "devices/SearchWindow.h"
#include "editors/EditorModels.h"
#include "editors/GainModel.h"
#include "link/Connection.h"
#include "link/Link.h"
#include "memory/FleetMemory.h"
#include "memory/MemoryController.h"
#include "memory/MemoryWindows.h"
#include "peq/EqImport.h"
#include "peq/EqImportWindow.h"
#include "peq/PeqEditorModel.h"
#include "peq/PeqWindow.h"
#include "remote/RemoteControl.h"
#include "remote/RemoteHost.h"
#include "shell/AboutBox.h"
#include "shell/ComSetupDialog.h"
#include "shell/EditorWindows.h"
#include "shell/MainWindow.h"
#include "shell/RemoteWindow.h"
#include "shell/SignalFlowPanel.h"
#include "shell/TestWindows.h"
#include "state/ProgramApply.h"
#include "testsignal/TestSignalController.h"
#include "widgets/PanelStatusBar.h"
#include "widgets/RectLed.h"

namespace talvo {

Application::Application(const ApplicationOptions &options) : options_(options) {}

Application::~Application() {
    // The room remote stops first: its pages must not reach models that are going.
    remoteHost_.reset();
    remoteControl_.reset();
    // Dialogs belong to the main window; it goes before the link it shows.
    testWindows_.reset();
    editorWindows_.reset();
    main_.reset();
    sineGenerator_.reset();
    testModes_.reset();
    memory_.reset();
    peqModel_.reset();
    editorModels_.reset();
    searchController_.reset();
    connectController_.reset();
    applier_.reset();
    controller_.reset();
    link_.reset();
}

void Application::Create() {
    link_ = std::make_unique<Link>(state_.link);
    controller_ = std::make_unique<LinkController>(*link_);
    if (!options_.deviceOverride.isEmpty()) link_->SetDeviceOverride(options_.deviceOverride);
    applier_ = std::make_unique<ProgramApplier>(state_);
    applier_->SetPortControl([this] { link_->ClosePort(); }, [this] { return link_->OpenPort(); });
    connectController_ = std::make_unique<ConnectController>(state_, *link_, *controller_, *applier_);
    searchController_ = std::make_unique<SearchController>(*link_);
    editorModels_ = std::make_unique<EditorModels>(state_, *link_, *applier_);
    peqModel_ = std::make_unique<PeqEditorModel>(state_, *link_);
    testModes_ = std::make_unique<TestModeController>(state_, *link_, *applier_, editorModels_->modes(),
                                                      editorModels_->gain(kLeftChannel), editorModels_->gain(kRightChannel));
    sineGenerator_ = std::make_unique<SineGenerator>(state_, *link_);
    memory_ = std::make_unique<MemoryController>(state_, *link_, *applier_);
    memory_->SetGather([this] { editorModels_->GatherProgram(); });

    // The main window first, then every other window, once for the whole run.
    main_ = std::make_unique<MainWindow>(state_, texts_, *controller_);
    comSetup_ = new ComSetupDialog(state_, *link_, texts_, main_.get());
    about_ = new AboutBox(texts_, main_.get());
    main_->setComSetup(comSetup_);
    main_->setAboutBox(about_);
    // Creating the device list window creates the list file when it is missing.
    deviceList_ = new DeviceListWindow(DeviceListFilePath(), main_.get());
    connectWindow_ = new ConnectWindow(*connectController_, main_.get());
    connectWindow_->SetDeviceList(deviceList_);
    searchWindow_ = new SearchWindow(*searchController_, main_.get());
    main_->setConnectWindow(connectWindow_);
    main_->setSearchWindow(searchWindow_);
    main_->setPrograms(applier_.get(), editorModels_.get());
    texts_.Register(connectWindow_, [w = connectWindow_] { w->ApplyTexts(); });
    texts_.Register(searchWindow_, [w = searchWindow_] { w->ApplyTexts(); });
    fleetWindow_ = new FleetWindow(searchWindow_);
    // Queued: the button's click is over before the backup's window opens.
    QObject::connect(searchWindow_, &SearchWindow::backUpAllRequested, searchWindow_,
                     [this](const std::vector<int> &found) { BackUpAll(found); }, Qt::QueuedConnection);
    editorWindows_ = std::make_unique<EditorWindows>(*editorModels_, *main_, texts_);
    peqWindow_ = new PeqWindow(*peqModel_, main_.get());
    testWindows_ = std::make_unique<TestWindows>(*testModes_, *sineGenerator_, *main_, texts_);
    texts_.Register(peqWindow_, [w = peqWindow_] { w->ApplyTexts(); });
    // The PEQ blocks (fe2 / fd2) open the one PEQ window on their channel; queued like the
    // other blocks, so the window opens after the click's own handling.
    SignalFlowPanel *panel = main_->signalFlow();
    QObject::connect(panel, &SignalFlowPanel::blockClicked, peqWindow_,
                     [this, panel](SignalFlowPanel::Channel channel, SignalFlowPanel::Stage stage) {
                         if (stage == SignalFlowPanel::Stage::Peq && panel->IsReachable(channel, stage))
                             peqWindow_->Open(int(channel));
                     },
                     Qt::QueuedConnection);

    // What the connect procedure shows in the main window; its progress and status texts come
    // through the link like every other link activity.
    MainWindow *m = main_.get();
    QObject::connect(connectController_.get(), &ConnectController::indicatorChanged, m,
                     [m](bool lit, const QString &text) {
                         m->lineLed()->setActive(lit);
                         m->lineText()->setText(text);
                     });
    QObject::connect(connectController_.get(), &ConnectController::idLabelChanged, m->idLabel(), &QLabel::setText);
    // The Connect window's "Disconnect" is the main window's; every disconnect clears the
    // connect state.
    connectController_->SetDisconnectRunner([m] { m->Disconnect1Click(); });
    QObject::connect(m, &MainWindow::disconnecting, connectController_.get(), &ConnectController::ClearConnectState);
    EditorWindows *editors = editorWindows_.get();
    editors->SetBridgeAvailable(state_.bridgeAvailable);
    QObject::connect(connectController_.get(), &ConnectController::bridgeAvailableChanged, editors,
                     &EditorWindows::SetBridgeAvailable);

    // The amplifier's program memory: File > Memory..., and the offer after New and Open.
    programName_ = new ProgramNameDialog(main_.get());
    manageWindow_ = new ManageWindow(main_.get());
    memoryWindow_ = new MemoryWindow(*memory_, state_, main_.get());
    memoryWindow_->SetManageWindow(manageWindow_);
    texts_.Register(memoryWindow_, [w = memoryWindow_] { w->ApplyTexts(); });
    MemoryPrompts memoryPrompts;
    {
        const auto over = [this]() -> QWidget * {
            QWidget *modal = QApplication::activeModalWidget();
            return modal ? modal : main_.get();
        };
        MemoryPrompts prompts;
        prompts.ask = [this, over](const QString &caption, const QString &text, bool warning) {
            const QMessageBox::StandardButtons buttons =
                warning ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Yes | QMessageBox::No;
            const QMessageBox::StandardButton answer = main_->prompts().ask(
                over(), warning ? QMessageBox::Warning : QMessageBox::Question, caption, text, buttons);
            return answer == QMessageBox::Ok || answer == QMessageBox::Yes;
        };
        prompts.tell = [this, over](const QString &caption, const QString &text, bool error) {
            main_->prompts().tell(over(), error ? QMessageBox::Critical : QMessageBox::Information, caption, text);
        };
        prompts.askName = [this](ProgramNameState &dialog) { programName_->Ask(dialog); };
        memory_->SetPrompts(prompts);
        memoryPrompts = prompts;
    }
    QObject::connect(m->action("Memory1"), &QAction::triggered, memoryWindow_, &MemoryWindow::Memory1Click,
                     Qt::QueuedConnection);
    QObject::connect(connectController_.get(), &ConnectController::memoryHeadingChanged, memoryWindow_->heading(),
                     &QLabel::setText);
    // The memory window's rows and heading belong to the amplifier they were read from: every
    // disconnect clears them, the one a connect to another amplifier runs first and the one a
    // lost port makes included.
    QObject::connect(m, &MainWindow::disconnecting, memory_.get(), &MemoryController::ForgetAmplifier);
    main_->setOfferCurrentDownload([this] { memory_->OfferCurrentDownload(); });
    main_->setProgramNameField([this](const QString &name) { memory_->nameDialog().name = name; });

    // Tools > "Room Remote...": the page and API over the same models as the windows.
    RemoteModels remote{state_, *link_, *editorModels_, *peqModel_, *memory_};
    remote.connect = connectController_.get();
    remote.linkController = controller_.get();
    remote.tests = testModes_.get();
    remote.memoryPrompts = memoryPrompts;
    remote.portName = [this] {
        const int port = state_.link.portNumber;
        const QString device = link_->DevicePathFor(port);
        return device.isEmpty() ? QStringLiteral("COM%1").arg(port) : QStringLiteral("COM%1 (%2)").arg(port).arg(device);
    };
    remoteControl_ = std::make_unique<RemoteControl>(remote);
    remoteHost_ = std::make_unique<RemoteHost>(*remoteControl_);
    remoteWindow_ = new RemoteWindow(*remoteHost_, main_.get());
    QObject::connect(m->action("RoomRemote1"), &QAction::triggered, remoteWindow_, &RemoteWindow::Open, Qt::QueuedConnection);
    // File > Import EQ...
    eqImport_ = new EqImportWindow(main_.get());
    main_->setEqImport([this](const QString &path, int channel) { ImportEq(path, channel); });

    if (!options_.deviceNote.isEmpty()) main_->statusPanels()->setPanelText(1, options_.deviceNote);
}

void Application::BackUpAll(const std::vector<int> &found) {
    if (found.empty() || fleetWindow_->isVisible()) return;
    static const QString kCaption = QStringLiteral("Back Up All");
    QWidget *over = searchWindow_->isVisible() ? static_cast<QWidget *>(searchWindow_) : main_.get();
    LinkState &s = state_.link;
    const bool connected = s.linkActive == kYes;
    if (connected) {
        const QMessageBox::StandardButton answer = main_->prompts().ask(
            over, QMessageBox::Question, kCaption,
            QStringLiteral("Back Up All connects to each amplifier found in turn and lets it go. ID %1, connected now, "
                           "is disconnected first. Go on?")
                .arg(s.outFrame.address),
            QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes) return;
    }
    const QString folder = main_->prompts().chooseFolder(over, QStringLiteral("Back Up All: folder for the memory files"));
    if (folder.isEmpty()) return;
    if (connected) {
        connectController_->Disconnect();
        searchController_->ConnectionEnded();
    }

    FleetBus bus;
    bus.port = QStringLiteral("COM%1").arg(s.portNumber);
    bus.device = link_->DevicePathFor(s.portNumber);
    for (int id : found) bus.amplifiers.push_back(FleetAddress{id, std::nullopt});
    FleetPlan plan;
    plan.buses.push_back(bus);
    // The backup opens the port on a link of its own; the program's link lets go of it meanwhile.
    const bool wasOpen = link_->IsPortOpen();
    link_->ClosePort();
    FleetRunner runner(plan, FleetBackupFactory(plan, folder));
    fleetWindow_->Present(runner, kCaption,
                          QStringLiteral("Backing up %1 amplifier%2 on %3 into %4")
                              .arg(found.size())
                              .arg(found.size() == 1 ? QString() : QStringLiteral("s"))
                              .arg(bus.port, folder));
    runner.Start();
    fleetWindow_->exec();
    // The window closes only once the run is over.
    if (wasOpen) link_->OpenPort();
}

void Application::ImportEq(const QString &path, int channel) {
    const EqChannels which = channel == kEqChannelLeft    ? EqChannels::Left
                             : channel == kEqChannelRight ? EqChannels::Right
                                                          : EqChannels::Both;
    // The import edits the PEQ as its editor would, so only where the editor can be opened now:
    // not in a test mode (the panel's blocks are locked), not on the right channel while bridge
    // or mono hides it.
    SignalFlowPanel *panel = main_->signalFlow();
    for (const SignalFlowPanel::Channel side : {SignalFlowPanel::Channel::Left, SignalFlowPanel::Channel::Right}) {
        const bool chosen = side == SignalFlowPanel::Channel::Left ? which != EqChannels::Right : which != EqChannels::Left;
        if (chosen && !panel->IsReachable(side, SignalFlowPanel::Stage::Peq)) {
            main_->prompts().tell(main_.get(), QMessageBox::Warning, QStringLiteral("Import EQ"),
                                  QStringLiteral("The %1 PEQ cannot be edited now (its block in the main window is not "
                                                 "available). Nothing was changed or sent.")
                                      .arg(EqChannelName(side == SignalFlowPanel::Channel::Left ? kLeftChannel : kRightChannel)));
            return;
        }
    }
    const EqImportOutcome outcome = ImportMeasuredEq(path, which, state_, *peqModel_);
    if (!outcome.ok()) {
        main_->prompts().tell(main_.get(), QMessageBox::Critical, QStringLiteral("Import EQ"),
                              outcome.error + QStringLiteral("\nNothing was changed or sent."));
        return;
    }
    eqImport_->ShowOutcome(outcome);
    eqImport_->open();
}

void Application::ShowMainWindow() {
    main_->placeOnScreen();
    main_->showMaximized();
}

}  // namespace talvo
