#pragma once
// The operating modes and the phase switches, free of widgets: the Mode menu's whole mode
// change, the mode steps that applying a program runs, the connect-and-199 exchange with its
// progress, resetting the gain editors, and the phase commands of the "180" boxes.
//
// What the signal-flow panel shows comes out as a PanelDiagram (which elements are shown or
// enabled) with diagramChanged; the Mode menu's check mark with modeChanged; Panel2's enabled
// state with panelEnabledChanged. The progress bar follows Link::progressChanged, like every
// other link activity. Everything runs on the main thread; the waits keep the event loop
// running, so other handlers may run inside a mode change (the panel is disabled meanwhile).

#include <array>
#include <cstdint>

#include <QObject>
#include <QString>

#include "link/PortFailure.h"
#include "programs/ProgramRecord.h"

namespace talvo {

struct AppState;
class GainModel;
class Link;
class ProgramApplier;

inline constexpr std::uint8_t kPhaseCommandLeft = 95;
inline constexpr std::uint8_t kPhaseCommandRight = 191;
inline constexpr std::uint8_t kPhaseInverted = 180;
inline constexpr std::uint8_t kModeConnectCommand = 220;  // with data 100
inline constexpr std::uint8_t kModePrepareCommand = 199;  // with data 100
inline constexpr std::uint8_t kModeAnnounceCommand = 198; // with data 100
inline constexpr std::uint8_t kModeCommand = 195;         // with the mode 0, 1, 2
inline constexpr std::uint8_t kModeCommandData = 100;
inline constexpr double kModeReplyWaitMs = 200;           // after 198 and 195, and again after a resend

// What the signal-flow panel shows after ShowNormalPanel and a mode's diagram. Arrows are
// iLedArrow1 .. iLedArrow19; 1..6 and 13 belong to the left chain, 7..12 and 14 to the right.
struct PanelDiagram {
    // The right chain: iLedArrow7..12, fd1..fd6, FD7, GB3 and the labels "RIGHT" and "IN B".
    bool rightChainShown = true;
    bool arrow14Shown = true;  // into "OUT 2"
    bool arrow15Shown = false; // bridge: the large arrow between the outputs
    bool arrow16Shown = false; // bridge: below the left output arrow
    bool arrow17Shown = false; // bridge and mono: into "OUT 2"
    bool arrow18Shown = false; // bridge: above the right output
    bool arrow19Shown = false; // mono: from the left output to the right output
    // ShowNormalPanel: every block of both chains, both phase boxes, fe6/fd6 and the right
    // chain's arrows enabled; "IN A", "IN B", "LEFT", "RIGHT" shown; the test-signal block and
    // its arrow hidden.
    bool blocksEnabled = true;
    bool labelsShown = true;
    bool testSignalShown = false;

    // Whether iLedArrow<n> (1..19) is shown.
    bool ArrowShown(int n) const;

    friend bool operator==(const PanelDiagram &, const PanelDiagram &) = default;
};
// The diagram of a mode after ShowNormalPanel.
PanelDiagram DiagramFor(Mode mode);

class ModeController : public QObject {
    Q_OBJECT
public:
    // The gain editors are reset by every mode change; the applier loads the default program.
    ModeController(AppState &state, Link &link, ProgramApplier &applier, GainModel &leftGain, GainModel &rightGain,
                   QObject *parent = nullptr);

    Mode mode() const;
    const PanelDiagram &diagram() const { return diagram_; }
    bool panelEnabled() const { return panelEnabled_; }
    bool IsChangingMode() const { return changing_; }
    // While another whole change of the panel runs (entering a test mode), the Mode menu's
    // changes are ignored as a second mode change is.
    void HoldModeChanges(bool held) { held_ = held; }
    bool ModeChangesHeld() const { return held_; }
    // Whether the channel's "180" box is ticked (kLeftChannel / kRightChannel).
    bool phaseInverted(int channel) const;

    // Stereo1Click / Bridge1Click / Mono1Click: the panel disabled; the default program
    // loaded; the check mark and the diagram of the mode; PrepareModeChange; 198/100 and
    // 195/mode, each resent once after 200 ms without a reply; the gain editors reset; the panel
    // enabled. Asked for while one runs (or while held): ignored. A port lost under the change
    // leaves the windows in the new mode; when modeChangeCutShort is connected, it tells the
    // loss in place of the link's own message.
    void ChangeMode(Mode mode);
    // The mode steps applying a program runs: the check mark, ShowNormalPanel, the diagram, the
    // 198 and 195 frames with their waits and resends, ResetGainEditors. No panel disabling, no
    // default program, no PrepareModeChange.
    void ModeSteps(Mode mode);
    // Only while an amplifier is connected: 500 ms, connect 220/100, 20 %, 500 ms, 199/100, the
    // progress at 40, 60, 80 (1 s each), 90 and 80 while no reply came (1 s each), and when still
    // none, 199 again with 60, 80, 100 (4 s, 1 s, 1 s); progress 0 and 100 ms to end.
    void PrepareModeChange();
    // Both gain editors muted at -60.0 dB with their sliders disabled; nothing goes out
    // (linkActive is 0 for the duration and restored afterwards).
    void ResetGainEditors();
    // Leaves any test, shows the normal panel (keeps the right chain's visibility to the mode).
    void ShowNormalPanel();
    // The test layout (testMode already set): every block shown, only the Gain blocks usable,
    // the chain and input labels hidden, the test-signal block and its indicator shown.
    void ShowTestPanel();
    // Panel2 enabled or disabled (the test-mode entry disables it for its whole run).
    void SetPanelEnabled(bool enabled) { setPanelEnabled(enabled); }

    // fe5Click / fd5Click: the box is now `ticked`; 95 (left) or 191 (right) with 180 or 0,
    // SendCommand.
    void PhaseClicked(int channel, bool ticked);
    // Applying: the box unticked, then ticked when `phase` is 180. Nothing sent.
    void ApplyPhase(int channel, int phase);
    // Headless (talvoctl set): the phase frame for 0 or 180 with SendCommand.
    void CommitPhase(int channel, int phase) { PhaseClicked(channel, phase == kPhaseInverted); }

signals:
    void panelEnabledChanged(bool enabled);
    // The Mode menu's check mark moves to this mode's item (the test items lose theirs).
    void modeChanged(talvo::Mode mode);
    void diagramChanged(const talvo::PanelDiagram &diagram);
    void phaseChanged(int channel, bool inverted);
    // A whole mode change (ChangeMode) is over.
    void modeChangeFinished(talvo::Mode mode);
    // The port was lost under a mode change: show this message with the error icon (it says
    // that the change did not complete).
    void modeChangeCutShort(const QString &caption, const QString &text);

private:
    void setPanelEnabled(bool enabled);
    void setDiagram(const PanelDiagram &diagram);
    void markMode(Mode mode);
    // SendCommand after clearing replyAddress, wait; once more and wait again without a reply.
    void sendAcknowledged(std::uint8_t command, std::uint8_t data);
    void progress(int percent);

    AppState &state_;
    Link &link_;
    ProgramApplier &applier_;
    std::array<GainModel *, 2> gains_;
    PanelDiagram diagram_;
    std::array<bool, 2> phase_{};
    bool panelEnabled_ = true;
    bool changing_ = false;
    bool held_ = false;
    PortFailure lostDuringChange_;  // kind None unless the port was lost under this change
};

}  // namespace talvo
