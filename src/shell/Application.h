#pragma once
// The application: owns the one AppState, the link runtime and every window, creates the
// windows once at start-up (the main window first) and hands them the state by reference.

#include <memory>
#include <vector>

#include <QString>

#include "state/AppState.h"
#include "shell/InterfaceTexts.h"

namespace talvo {

class AboutBox;
class ComSetupDialog;
class ConnectController;
class ConnectWindow;
class DeviceListWindow;
class EditorModels;
class EditorWindows;
class FleetWindow;
class EqImportWindow;
class Link;
class LinkController;
class MainWindow;
class ManageWindow;
class MemoryController;
class MemoryWindow;
class ProgramNameDialog;
class PeqEditorModel;
class PeqWindow;
class ProgramApplier;
class RemoteControl;
class RemoteHost;
class RemoteWindow;
class SearchController;
class SearchWindow;
class SineGenerator;
class TestModeController;
class TestWindows;

struct ApplicationOptions {
    // For this run every port number opens this device (the demonstration bus's terminal);
    // the remembered port number stays as it is. Empty: the ports as configured.
    QString deviceOverride;
    // A line for status panel 1 naming what the override is (empty: nothing).
    QString deviceNote;
};

class Application {
public:
    explicit Application(const ApplicationOptions &options = {});
    ~Application();
    Application(const Application &) = delete;
    Application &operator=(const Application &) = delete;

    // Creates the link and every window.
    void Create();
    // Shows the main window maximised (centred at its restored size underneath).
    void ShowMainWindow();

    // The Search window's "Back Up All...": a folder, then a memory file there for each
    // amplifier `found` on the program's port (COMn-ID012.DMP), shown in the fleet window.
    // The program's own link lets go of the port meanwhile; an amplifier connected before is
    // disconnected first (after a question), since the backup lets every amplifier go.
    void BackUpAll(const std::vector<int> &found);

    AppState &state() { return state_; }
    InterfaceTexts &texts() { return texts_; }
    Link &link() { return *link_; }
    LinkController &linkController() { return *controller_; }
    MainWindow &mainWindow() { return *main_; }
    ComSetupDialog &comSetup() { return *comSetup_; }
    AboutBox &aboutBox() { return *about_; }
    ProgramApplier &programApplier() { return *applier_; }
    ConnectController &connectController() { return *connectController_; }
    SearchController &searchController() { return *searchController_; }
    ConnectWindow &connectWindow() { return *connectWindow_; }
    SearchWindow &searchWindow() { return *searchWindow_; }
    // The window of the Search window's "Back Up All...".
    FleetWindow &fleetWindow() { return *fleetWindow_; }
    DeviceListWindow &deviceListWindow() { return *deviceList_; }
    EditorModels &editorModels() { return *editorModels_; }
    EditorWindows &editorWindows() { return *editorWindows_; }
    PeqEditorModel &peqModel() { return *peqModel_; }
    PeqWindow &peqWindow() { return *peqWindow_; }
    TestModeController &testModes() { return *testModes_; }
    SineGenerator &sineGenerator() { return *sineGenerator_; }
    TestWindows &testWindows() { return *testWindows_; }
    MemoryController &memoryController() { return *memory_; }
    MemoryWindow &memoryWindow() { return *memoryWindow_; }
    ManageWindow &manageWindow() { return *manageWindow_; }
    ProgramNameDialog &programNameDialog() { return *programName_; }
    RemoteControl &remoteControl() { return *remoteControl_; }
    RemoteHost &remoteHost() { return *remoteHost_; }
    RemoteWindow &remoteWindow() { return *remoteWindow_; }
    EqImportWindow &eqImportWindow() { return *eqImport_; }

    // File > Import EQ... once the file and the channel (kEqChannelLeft, kEqChannelRight,
    // kEqChannelBoth) are chosen: the bands into the PEQ through its model (sent when an
    // amplifier is connected), then the import window with what was done; a refused file, or a
    // channel whose PEQ block cannot be opened now, is said in a message box and changes nothing.
    void ImportEq(const QString &path, int channel);

private:
    ApplicationOptions options_;
    AppState state_;
    InterfaceTexts texts_;
    // Destroyed in reverse order: the windows first, then the link (closing the port).
    std::unique_ptr<Link> link_;
    std::unique_ptr<LinkController> controller_;
    std::unique_ptr<ProgramApplier> applier_;
    std::unique_ptr<ConnectController> connectController_;
    std::unique_ptr<SearchController> searchController_;
    std::unique_ptr<EditorModels> editorModels_;
    std::unique_ptr<PeqEditorModel> peqModel_;
    std::unique_ptr<MemoryController> memory_;
    std::unique_ptr<MainWindow> main_;
    std::unique_ptr<EditorWindows> editorWindows_;
    std::unique_ptr<TestModeController> testModes_;
    std::unique_ptr<SineGenerator> sineGenerator_;
    std::unique_ptr<TestWindows> testWindows_;
    // The room remote: stopped before the models it drives go.
    std::unique_ptr<RemoteControl> remoteControl_;
    std::unique_ptr<RemoteHost> remoteHost_;
    // Owned by the main window:
    ComSetupDialog *comSetup_ = nullptr;
    AboutBox *about_ = nullptr;
    DeviceListWindow *deviceList_ = nullptr;
    ConnectWindow *connectWindow_ = nullptr;
    SearchWindow *searchWindow_ = nullptr;
    FleetWindow *fleetWindow_ = nullptr;
    PeqWindow *peqWindow_ = nullptr;
    MemoryWindow *memoryWindow_ = nullptr;
    ManageWindow *manageWindow_ = nullptr;
    ProgramNameDialog *programName_ = nullptr;
    RemoteWindow *remoteWindow_ = nullptr;
    EqImportWindow *eqImport_ = nullptr;
};

}  // namespace talvo
