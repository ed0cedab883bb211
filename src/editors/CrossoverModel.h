#pragma once
// The crossover of one channel, free of widgets: what the "LEFT XOVER" / "RIGHT XOVER" windows
// show and send. The window edits one filter at a time ("HIGH PASS" / "LOW PASS"); each filter
// is a slope type and a scroll position in CrossoverTable. The high-pass corner is kept at or
// below the low-pass corner (and below 16 kHz, the low-pass above 35.1 Hz) by the scroll
// limits taken when the operator switches filters.
//
// Changes are not sent as they happen: they mark the filter pending, and the 400 ms send timer
// (running while the window is shown) sends each pending filter once, with SendCommand, unless
// 3 or more frames are already queued (then that send is skipped, not retried). So a burst of
// changes between two ticks makes one frame, and while the operator holds the thumb the
// current value goes out on every tick. Because a mouse release can be missed, the drag flags
// are also cleared when the cursor has stood still for four ticks or a key was let go.
//
// The curve is drawn from a snapshot of the two positions and slopes that the 200 ms curve
// timer (running while the editor is open) refreshes from the controls before every redraw;
// drags, slope clicks and the send steps refresh their part of it at once.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include <QObject>
#include <QPoint>
#include <QString>

#include "editors/CrossoverCurve.h"

namespace talvo {

struct AppState;
struct CrossoverFilter;
class EditorTimer;
class Link;

enum class XoverFilter { HighPass = 0, LowPass = 1 };

inline constexpr double kCrossoverSendTimerMs = 400;
inline constexpr double kCrossoverCurveTimerMs = 200;
// A send is skipped while this many frames (or more) are queued.
inline constexpr int kCrossoverSkipPending = 3;
// The cursor standing still for more than this many send ticks ends a drag.
inline constexpr int kCrossoverStillTicks = 3;

struct CrossoverEditorTraits {
    const char *objectName;     // "TForm7" / "TForm8"
    const char *caption;        // "LEFT XOVER" / "RIGHT XOVER"
    std::uint8_t highPassCommand;  // 40 / 136
    std::uint8_t lowPassCommand;   // 20 / 116
};
const CrossoverEditorTraits &CrossoverTraits(int channel);

// The frame data of a filter: slope index, whole hertz (high byte, low byte), hundredths.
std::array<std::uint8_t, 4> CrossoverFilterBytes(int slope, double hz);

// One filter as the window shows it.
struct XoverFilterState {
    int slope = 0;        // SlopeType index; -1 = no valid selection (an odd record's slope)
    int position = 0;     // scroll position, an index into CrossoverTable
    int minimum = 0;      // scroll limits
    int maximum = 0;
    bool enabled = false; // the filter's group, list, scroll bar and box
    QString text;         // edit1 / edit2
    int pending = 0;      // 1 = changed, sent on the next send tick
    bool dragging = false;
};

class CrossoverModel : public QObject {
    Q_OBJECT
public:
    CrossoverModel(int channel, AppState &state, Link &link, QObject *parent = nullptr);
    ~CrossoverModel() override;

    int channel() const { return channel_; }
    const CrossoverEditorTraits &traits() const { return CrossoverTraits(channel_); }

    // ---- What the window shows.
    const XoverFilterState &filter(XoverFilter which) const { return filters_[index(which)]; }
    XoverFilter editing() const { return editing_; }
    // Label4: the high-pass upper limit ("16KHz" at first); Label5: the low-pass lower limit
    // ("35.1Hz" at first). Label3 "10Hz" and Label6 "20.0kHz" never change.
    const QString &highPassLimitText() const { return highPassLimit_; }
    const QString &lowPassLimitText() const { return lowPassLimit_; }
    // What the curve is drawn from.
    const CrossoverCurveInput &curveSnapshot() const { return snapshot_; }
    // The main window's crossover-editor-open flag of this channel.
    bool editorOpen() const { return editorOpen_; }
    bool isShown() const { return shown_; }

    // ---- Opening from the signal-flow panel: the curve timer runs and the open flag is set
    // while the window is open.
    void EditorOpening();
    void EditorClosed();

    // ---- Window events.
    // FormShow: nothing pending, no drags, the cursor count reset; on the first show the
    // editor switches to "LOW PASS"; the send timer starts.
    void Shown();
    // "OK": both timers stop.
    void OkClicked();
    // "HIGH PASS" / "LOW PASS" (a click or a change of the group's selection): that filter's
    // controls enabled, the other's disabled, and the limit taken from the other filter.
    void HighPassClicked();
    void LowPassClicked();
    // A slope chosen in a list: kept in the snapshot, the texts in the plain kHz form,
    // the filter pending.
    void SlopeClicked(XoverFilter which, int slope);
    // The scroll position changed by any means (limited to the bar's range): pending, texts.
    void PositionChanged(XoverFilter which, int position);
    // The operator drags the thumb to `position`: dragging, snapshot, texts. The position
    // itself arrives through PositionChanged, as a scroll bar reports it.
    void Scrolled(XoverFilter which, int position);
    // A mouse button pressed on the scroll bar: not dragging, snapshot, texts.
    void ScrollBarMouseDown(XoverFilter which);
    // Keys on a scroll bar: any key ends its drag; letting one go clears both at the next tick.
    void ScrollBarKeyDown(XoverFilter which);
    void ScrollBarKeyUp(XoverFilter which);
    // The mouse moving over the window background, the group boxes or the plot.
    void MouseMovedOutside();
    // Enter in the filter's frequency box.
    void FrequencyEntered(XoverFilter which, const QString &text);

    // What the send tick needs to know of the window: where the cursor is, whether the window
    // is visible, which scroll bar has the keyboard focus. Without one the window counts as
    // visible while shown, the cursor as still and no bar as focused.
    struct ViewState {
        QPoint cursor;
        bool visible = true;
        std::optional<XoverFilter> focused;
    };
    void SetViewProbe(std::function<ViewState()> probe) { probe_ = std::move(probe); }

    // The timers' ticks; the timers are the model's own, so these are public for tests only.
    void SendTick();
    void CurveTick();

    // ---- Send steps: the filter's position into the snapshot, its texts, and the frame sent
    // with SendCommand when fewer than 3 frames are pending.
    void SendHighPass();
    void SendLowPass();
    // The curve redrawn from the snapshot now (applying does this directly).
    void DrawCrossoverCurve();

    // ---- Without sending (applying a program): each slope selected, each stored frequency
    // looked up in CrossoverTable (exactly; a frequency not in the table leaves that scroll bar
    // where it was), the texts refreshed as after a change, and the curve redrawn.
    void Apply(const CrossoverFilter &lowPass, const CrossoverFilter &highPass);

    // ---- Headless (talvoctl set): one filter at a slope and position, sent with SendCommand
    // whatever is queued. The position is limited to the filter's own range (10 Hz..16 kHz,
    // 35.1 Hz..20.2 kHz); keeping the high-pass at or below the low-pass is the caller's part.
    void CommitFilter(XoverFilter which, int slope, int position);
    // A filter moved on a control outside the window (the room remote's page, while its slider
    // is held): set as CommitFilter sets it, sent as the send tick sends, skipped while 3 or
    // more frames are queued. The value let go at the end goes with CommitFilter.
    void EditFilter(XoverFilter which, int slope, int position);

    EditorTimer &sendTimer() { return *sendTimer_; }
    EditorTimer &curveTimer() { return *curveTimer_; }
    int stillTicks() const { return stillTicks_; }

signals:
    // Something the window shows changed (texts, positions, limits, enabled states): read the
    // filters and labels again.
    void controlsChanged();
    // The curve is to be drawn from this input now.
    void curveRedraw(const talvo::CrossoverCurveInput &input);

private:
    static std::size_t index(XoverFilter w) { return static_cast<std::size_t>(w); }
    XoverFilterState &mut(XoverFilter w) { return filters_[index(w)]; }
    enum class TextForm { AfterChange, AfterDrag, AfterSlope };
    void refreshTexts(XoverFilter which, TextForm form);
    void takeIntoSnapshot(XoverFilter which);  // the position
    void takeSlopeIntoSnapshot(XoverFilter which);
    // Sets a position within the bar's limits; a change runs PositionChanged.
    void setPosition(XoverFilter which, int position);
    void setLimits(XoverFilter which, int minimum, int maximum);
    void select(XoverFilter which);
    void sendFilter(XoverFilter which, bool whateverIsQueued);
    // CommitFilter's and EditFilter's part before the send.
    void setFilter(XoverFilter which, int slope, int position);

    int channel_;
    AppState &state_;
    Link &link_;
    EditorTimer *sendTimer_;
    EditorTimer *curveTimer_;
    std::array<XoverFilterState, 2> filters_{};
    XoverFilter editing_ = XoverFilter::LowPass;
    QString highPassLimit_;
    QString lowPassLimit_;
    CrossoverCurveInput snapshot_;
    std::function<ViewState()> probe_;
    QPoint lastCursor_;
    int stillTicks_ = 0;
    bool keyReleased_ = false;
    bool firstShowDone_ = false;
    bool shown_ = false;
    bool editorOpen_ = false;
};

}  // namespace talvo
