#pragma once
// The windows of the amplifier's program memory: the memory window (TForm17, "Memory
// Precinct"), the manage window (TForm31, "Memory Precinct Manage") and the program-name
// dialog (TForm19, "Program Name"). They present and edit; the transfers are the memory
// controller's and the offline image is MemoryManage's.

#include <array>
#include <functional>
#include <utility>

#include <QDialog>

#include "memory/MemoryManage.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QTimer;
class QToolBox;

namespace talvo {

class MemoryController;
struct ProgramNameState;
struct AppState;

inline constexpr const char *kMemoryWindowCaption = "Memory Precinct";
inline constexpr const char *kManageCaption = "Memory Precinct Manage";
inline constexpr const char *kProgramNameCaption = "Program Name";

// The file dialogs the memory windows show; tests replace them. Each gives the chosen path (empty
// when cancelled); the save dialogs also give the index of the filter chosen.
struct MemoryFileDialogs {
    std::function<QString(QWidget *parent, const QString &caption, const QString &filter)> open;
    std::function<std::pair<QString, int>(QWidget *parent, const QString &caption, const QStringList &filters)> save;
    static MemoryFileDialogs Defaults();
};

// TForm19: the name under which a program is written, and whether it is stored muted.
class ProgramNameDialog : public QDialog {
    Q_OBJECT
public:
    explicit ProgramNameDialog(QWidget *parent = nullptr);

    // Shows the dialog modally over `state`: its name, options and which may be chosen. On OK
    // the state takes muteOption and nameAccepted 100; the name field is kept in any case.
    void Ask(ProgramNameState &state);
    void fd2Click();

    QLineEdit *nameEdit() const { return edit1_; }
    QRadioButton *volumeButton() const { return radioButton1_; }
    QRadioButton *muteButton() const { return radioButton2_; }
    QPushButton *okButton() const { return fd2_; }

private:
    QLabel *label1_;
    QLineEdit *edit1_;
    QRadioButton *radioButton1_;
    QRadioButton *radioButton2_;
    QPushButton *fd2_;
    ProgramNameState *state_ = nullptr;
};

// TForm31: edits a memory image offline.
class ManageWindow : public QDialog {
    Q_OBJECT
public:
    explicit ManageWindow(QWidget *parent = nullptr);

    MemoryManage &manage() { return manage_; }
    void SetFileDialogs(MemoryFileDialogs dialogs) { dialogs_ = std::move(dialogs); }
    // Questions and notices (warning OK / Cancel); true for OK.
    void SetAsk(std::function<bool(QWidget *, const QString &caption, const QString &text)> ask) { ask_ = std::move(ask); }
    void SetTell(std::function<void(QWidget *, const QString &caption, const QString &text)> tell) { tell_ = std::move(tell); }

    void ShowSlot(int r);
    int CurrentRow() const;
    void SelectRow(int r);

    // The buttons and the outlook bar's items.
    void NewClick();
    void RefreshClick();
    void OpenClick();
    void SaveMemoryAsClick();
    void AddClick();
    void SaveProgramAsClick();
    void DeleteClick();
    void DeleteAllClick();
    void ModifyClick();
    void Timer1Timer();

    QTableWidget *grid() const { return grid_; }
    QLineEdit *nameEdit() const { return edit1_; }
    QToolBox *outlookBar() const { return outlook_; }
    QPushButton *button(const char *objectName) const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Asks before replacing an existing file; false when declined. Appends `extension` when the
    // name has none.
    bool confirmTarget(QString &path, const char *extension);
    void report(const FileResult &result);

    MemoryManage manage_;
    MemoryFileDialogs dialogs_;
    std::function<bool(QWidget *, const QString &, const QString &)> ask_;
    std::function<void(QWidget *, const QString &, const QString &)> tell_;
    QTableWidget *grid_;
    QLineEdit *edit1_;
    QToolBox *outlook_;
    QTimer *timer1_;
};

// TForm17: the amplifier's twenty slots and the transfers between them, the editors and files.
class MemoryWindow : public QDialog {
    Q_OBJECT
public:
    MemoryWindow(MemoryController &controller, AppState &state, QWidget *parent = nullptr);

    void SetFileDialogs(MemoryFileDialogs dialogs) { dialogs_ = std::move(dialogs); }
    void SetManageWindow(ManageWindow *manage) { manage_ = manage; }

    // File > Memory...: the heading, then the window modally.
    void Memory1Click();
    // The heading and the buttons as FormShow leaves them (for callers that show it otherwise).
    void PrepareToShow();
    // The interface texts: the caption as the text routine writes it ("Memory precinct") and
    // the buttons but Manage.
    void ApplyTexts();

    void dxButton1Click();  // Refresh
    void dxButton2Click();  // Upload
    void dxButton3Click();  // File Down
    void dxButton4Click();  // Setup Down
    void dxButton5Click();  // Delete
    void dxButton6Click();  // Delete All
    void dxButton7Click();  // Save
    void dxButton8Click();  // OK
    void dxButton9Click();  // Manage
    void Timer1Timer();

    QTableWidget *grid() const { return grid_; }
    QLabel *heading() const { return label1_; }
    QPushButton *button(int n) const { return buttons_.at(static_cast<std::size_t>(n - 1)); }
    QString CellText(int row, int column) const;

public slots:
    void done(int result) override;

private:
    void setTransferButtons(bool enabled);

    MemoryController &controller_;
    AppState &state_;
    MemoryFileDialogs dialogs_;
    ManageWindow *manage_ = nullptr;
    QTableWidget *grid_;
    QLabel *label1_;
    std::array<QPushButton *, 9> buttons_{};
    QTimer *timer1_;
};

}  // namespace talvo
