#pragma once
// The main window (TForm1): menus, toolbar, the signal-flow panel, the link indicators, the
// progress bar and the status bar. It is a view over the application's AppState like every
// other window; the link work behind the Tools menu is done by the link runtime.

#include <functional>

#include <QMainWindow>

#include "shell/ShellPrompts.h"

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QTimer;
class QToolBar;

namespace talvo {

struct AppState;
class AboutBox;
class ComSetupDialog;
class ConnectWindow;
class SearchWindow;
class EditorModels;
class InterfaceTexts;
class ProgramApplier;
class Link;
class LinkController;
class PanelStatusBar;
class RectLed;
class SignalFlowPanel;

inline constexpr const char *kMainCaption = "TALVO";
inline constexpr const char *kExitQuestionText = "Exit this program,Save the change to a file?";
inline constexpr QSize kRestoredSize{799, 557};
inline constexpr const char *kProgram21Text = "NO.21 PROGRAM Can not be Refresh... ";
inline constexpr const char *kProgram21Caption = "DOWNLOAD PROGRAM";
inline constexpr const char *kOverwriteQuestion = " already exist, Overwrite this file?";
inline constexpr const char *kSaveCaption = "Save file";
inline constexpr const char *kOpenedFilePrefix = "OPENED FILE:";
// The amplifier program that New and Open must not replace while it runs.
inline constexpr int kLockedProgram = 21;

// Status panel 2 while an amplifier is connected.
QString FirmwareText(int major, int minor);

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // The link runtime reports its texts, lamp and progress through signals, shown here.
    MainWindow(AppState &state, InterfaceTexts &texts, LinkController &link, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Wiring done once by the application after every window exists.
    void setComSetup(ComSetupDialog *dialog) { comSetup_ = dialog; }
    void setAboutBox(AboutBox *box) { about_ = box; }
    void setConnectWindow(ConnectWindow *window) { connect_ = window; }
    void setSearchWindow(SearchWindow *window) { search_ = window; }
    void setPrograms(ProgramApplier *applier, EditorModels *models) { applier_ = applier; models_ = models; }
    // The offer to download the opened program into the amplifier's current program; until
    // the memory window provides it, New and Open call an empty step here.
    void setOfferCurrentDownload(std::function<void()> offer) { offerCurrentDownload_ = std::move(offer); }
    // Open hands the opened program's stored name to the program-name dialog's name field.
    void setProgramNameField(std::function<void(const QString &)> set) { programNameField_ = std::move(set); }
    // File > Import EQ...'s work once the file and the channel (kEqChannelLeft ...) are chosen.
    void setEqImport(std::function<void(const QString &path, int channel)> import) { importEq_ = std::move(import); }
    ShellPrompts &prompts() { return prompts_; }

    // Restored size, centred on the screen; the caller then shows the window maximised.
    void placeOnScreen();

    // The interface texts of every window (the main window's own are one routine among them).
    void ApplyTexts();
    // The main window's own part of ApplyTexts.
    void WriteOwnTexts();

    // Start-up step run when the window is first shown: the remembered port, the language
    // value, then ApplyTexts (skipped, leaving the built-in texts, when the value is missing).
    void StartUp();

    // Menu handlers.
    void Connect1Click();
    void Search1Click();
    void Disconnect1Click();
    void COMSetup1Click();
    void Content1Click();
    void About1Click();
    void New1Click();
    void Open1Click();
    void Save1Click();
    // A filter file, then the channel, then the import (its window shows what it did).
    void ImportEq1Click();
    // Open... with the file already chosen: File > Open Recent and a file named at start-up.
    void OpenProgramFile(const QString &path);
    // The file the editors were last filled from ("OPENED FILE:...").
    QLabel *openedFileLabel() const { return label16_; }

    // The exit question: true when the window may close.
    bool ConfirmClose();

    QString statusText(int panel) const;

    QAction *action(const char *objectName) const;
    QMenu *menu(const char *objectName) const;
    QToolBar *toolBar() const { return toolBar_; }
    SignalFlowPanel *signalFlow() const { return panel_; }
    RectLed *lineLed() const { return lineled_; }
    QLabel *lineText() const { return linetext_; }
    QLabel *idLabel() const { return label15_; }
    QProgressBar *progressBar() const { return progst1_; }
    PanelStatusBar *statusPanels() const { return stt_; }
    QTimer *statusTimer() const { return timer4_; }

signals:
    // Disconnect clears the connect state that other windows keep (the Connect window's
    // current program, the memory window's list); they listen here.
    void disconnecting();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildActions();
    void buildMenus();
    void buildRecentMenu();
    void fillRecentMenu();
    void buildToolBar();
    void buildCentre();
    void showOpenError(const QString &caption, const QString &text);
    bool refuseLockedProgram();
    // Open's steps, with the file chosen by choose() (empty: nothing chosen).
    void openProgram(const std::function<QString()> &choose);
    void OfferCurrentDownload();
    // After a download offer: both gain editors muted, New and Open usable again.
    void finishDownloadOffer();

    AppState &state_;
    InterfaceTexts &texts_;
    LinkController &link_;
    ComSetupDialog *comSetup_ = nullptr;
    AboutBox *about_ = nullptr;
    ConnectWindow *connect_ = nullptr;
    SearchWindow *search_ = nullptr;
    ShellPrompts prompts_;

    QToolBar *toolBar_ = nullptr;
    SignalFlowPanel *panel_ = nullptr;
    RectLed *lineled_ = nullptr;
    QLabel *linetext_ = nullptr;
    QLabel *label15_ = nullptr;
    QLabel *label16_ = nullptr;
    QMenu *recent_ = nullptr;
    ProgramApplier *applier_ = nullptr;
    EditorModels *models_ = nullptr;
    std::function<void()> offerCurrentDownload_;
    std::function<void(const QString &)> programNameField_;
    std::function<void(const QString &, int)> importEq_;
    QProgressBar *progst1_ = nullptr;
    PanelStatusBar *stt_ = nullptr;
    QTimer *timer4_ = nullptr;

    bool startedUp_ = false;
    bool closing_ = false;
};

}  // namespace talvo
