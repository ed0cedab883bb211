#pragma once
// The PEQ editor of both channels, free of widgets: what the one "LEFT PEQ" / "RIGHT PEQ"
// window shows and everything it sends. The window forwards its plot's mouse events, the three
// sliders, the band table, the band selector, the FLAT boxes and "Reset" to the operations
// below and shows what the model reports; talvoctl and the tests drive the same operations.
//
// Every change goes through one refresh (Refresh with a reason): it rounds the gains and Qs to
// tenths, rewrites the texts, moves the sliders to the selected band, recomputes the curve and,
// for an interactive change, sends the selected band. Interactive changes (a drag, a slider
// step) send only while no frame is pending, so the link never queues more than one band
// frame; a completed change (release, typed value, the timer's countdown) always sends.
//
// The bands being edited live in AppState's PEQ state (workingBands while the window is open,
// leftBands / rightBands otherwise); the FLAT flags are stored the moment a box is clicked.
// Everything runs on the main thread; the sends let pending events through, and `plotReady`
// drops a repaint that arrives in the middle of another refresh.

#include <array>
#include <cstdint>

#include <QObject>
#include <QString>

#include "peq/PeqResponse.h"

namespace talvo {

struct AppState;
class EditorTimer;
class Link;

// The three sliders: frequency (ktrack1), gain (ktrack2) and Q (ktrack3).
enum class PeqSlider { Freq = 0, Gain = 1, Q = 2 };
inline constexpr int kPeqSliderCount = 3;

inline constexpr int kPeqFreqSliderMax = kPeqGridSize - 1;  // positions are grid indices
inline constexpr int kPeqGainSliderMax = 240;               // (position - 120) / 10 dB
inline constexpr int kPeqQSliderMax = 1280;                 // position / 10, at least 0.4
inline constexpr int kPeqGainSliderZero = 120;
// Keyboard steps: frequency 1, gain and Q 2 positions per arrow key; 10 per page for all.
inline constexpr std::array<int, kPeqSliderCount> kPeqArrowSteps{1, 2, 2};
inline constexpr int kPeqPageStep = 10;

// What `selectedBand` holds besides a band number 1..3.
inline constexpr int kPeqPressedFlatBand = 5;  // the pressed marker belongs to a FLAT band
inline constexpr int kPeqPressedNoBand = 10;   // pressed on the plot where no marker is

// Refresh reasons.
inline constexpr int kRefreshRepaint = 0;     // the plot only
inline constexpr int kRefreshControls = 20;   // also the texts and the sliders
inline constexpr int kRefreshChanging = 100;  // also sends the band when no frame is pending
inline constexpr int kRefreshChanged = 200;   // also sends the band in every case

inline constexpr double kPeqRepaintMs = 200;
inline constexpr double kPeqTickMs = 400;

// The default bands Reset puts back: 30, 270 and 1560 Hz at 0 dB, Q 3.
const PeqBands &PeqResetBands();

// Command of band b (1..3) on a channel (kLeftChannel / kRightChannel): 5 x b, + 96 on the right.
std::uint8_t PeqBandCommand(int channel, int band);
// The reset command: 6 / 102.
std::uint8_t PeqResetCommand(int channel);
// The eight data bytes of a band frame: the band limited to what the amplifier takes
// (19..20200 Hz, -12..+12 dB, Q 0.4..128) in the program record's band layout.
std::array<std::uint8_t, 8> PeqBandBytes(const PeqBand &band);
// The flat frame's bytes: frequency and Q as they are, the three gain bytes 0.
std::array<std::uint8_t, 8> PeqFlatBytes(const PeqBand &band);

// Slider scales.
int PeqSliderPosition(PeqSlider slider, const PeqBand &band);
// Writes a slider position into a band (a fractional position counts as the next one up).
void WritePeqSlider(PeqSlider slider, double position, PeqBand &band);

// Texts: "19.7Hz", "1.56KHz"; "-3.50dB" (table) / "-3.50" (selected band's field); "3.0".
QString PeqFrequencyText(double freq);
QString PeqGainText(double gain, bool withUnit);
QString PeqQText(double q);

// A typed frequency taken to the grid: text that does not read as a number gives -1; below 10
// counts as 19.7 and above 20200 as 20200, then the first grid entry not below it.
int PeqTypedFrequencyColumn(const QString &text);

class PeqEditorModel : public QObject {
    Q_OBJECT
public:
    PeqEditorModel(AppState &state, Link &link, QObject *parent = nullptr);
    ~PeqEditorModel() override;

    // ---- What the window shows.
    int channel() const;                     // kLeftChannel / kRightChannel (peqChannel)
    QString caption() const;                 // "LEFT PEQ" / "RIGHT PEQ"
    const PeqBands &bands() const;           // workingBands
    PeqFlats flats() const;                  // FLAT flags of the edited channel
    bool flatBox(int band) const { return flatBoxes_[static_cast<std::size_t>(band - 1)]; }
    int selectedBand() const { return selectedBand_; }
    int selectorPosition() const { return selector_; }  // the band selector, 1..3
    int sliderPosition(PeqSlider s) const { return sliders_[index(s)]; }
    // The sliders and the selected band's fields are usable unless the selected band is FLAT;
    // a table row's fields unless its band is FLAT.
    bool slidersEnabled() const { return !flats()[static_cast<std::size_t>(selector_ - 1)]; }
    bool rowEnabled(int band) const { return !flats()[static_cast<std::size_t>(band - 1)]; }
    // Band table row texts (band 1..3) and the selected band's fields.
    QString rowFrequencyText(int band) const { return rowTexts_[static_cast<std::size_t>(band - 1)][0]; }
    QString rowGainText(int band) const { return rowTexts_[static_cast<std::size_t>(band - 1)][1]; }
    QString rowQText(int band) const { return rowTexts_[static_cast<std::size_t>(band - 1)][2]; }
    QString selectedFrequencyText() const { return selectedTexts_[0]; }
    QString selectedGainText() const { return selectedTexts_[1]; }
    QString selectedQText() const { return selectedTexts_[2]; }
    // The curve as the last refresh drew it, with the bands and flags it was drawn from.
    const PeqCurve &curve() const { return curve_; }
    const PeqBands &drawnBands() const { return drawnBands_; }
    const PeqFlats &drawnFlats() const { return drawnFlats_; }

    int plotReady() const { return plotReady_; }
    int plotDragging() const { return plotDragging_; }
    bool userDriven(PeqSlider s) const { return userDriven_[index(s)]; }
    bool sliderHeld(PeqSlider s) const { return sliderHeld_[index(s)]; }
    int finishCountdown(PeqSlider s) const { return finishCountdown_[index(s)]; }
    bool isShown() const { return shown_; }

    // ---- Opening and closing.
    // The PEQ block of a channel (kLeftChannel / kRightChannel): the channel's bands into
    // workingBands, the sliders to the selected band, the FLAT boxes to the channel's flags
    // (a box that changes runs its click action with sending held off). Starts the repaint
    // timer; the window then shows itself modally.
    void Open(int channel);
    // FormShow: no countdowns, drags or held sliders; a full refresh; the 400 ms timer on.
    void Shown();
    // Every close (OK or the title bar): the bands back into the channel's table, timers off.
    void Closed();

    // ---- The one refresh.
    void Refresh(int reason);

    // ---- Sends.
    // The selected band (1..3): a FLAT band goes out as the flat frame.
    void SendPeqBand();
    void SendPeqFlat(int band);
    // "Reset": the default bands, the reset command, a refresh. The FLAT flags stay.
    void SendPeqReset();

    // ---- The plot (x, y in plot pixels).
    int PickBandAt(int x, int y) const;  // 0 when no marker is there
    bool IsOverMarker(int x, int y) const { return PickBandAt(x, y) != 0; }
    void PlotPressed(int x, int y);
    void PlotMoved(int x, int y);
    void PlotReleased();

    // ---- The sliders.
    void SliderMouseDown(PeqSlider s);
    void SliderMouseUp(PeqSlider s);
    void SliderKeyDown(PeqSlider s);
    void SliderKeyUp(PeqSlider s);
    // The operator moved the slider (the window shows the model's own moves without reporting
    // them back).
    void SliderMoved(PeqSlider s, double position);
    void SliderMovementFinished(PeqSlider s);

    // ---- Typed values. Row 0 is the selected band's field, rows 1..3 the band table.
    // A key pressed in a table row's frequency field selects that row's band.
    void RowFrequencyKeyPressed(int row);
    // Enter in a frequency field: a frequency that reads is sent whatever is pending; text
    // that does not read as a number changes nothing and the field shows the band's
    // frequency again.
    void FrequencyEntered(int row, const QString &text);
    void GainEntered(int row, double gain);
    void QEntered(int row, double q);

    // ---- FLAT boxes and the band selector.
    void FlatClicked(int band, bool ticked);
    void BandSelectorChanged(int position);

    // ---- The timers' ticks (public for tests that tick by hand).
    void RepaintTick();
    void Tick();
    EditorTimer &repaintTimer() { return *repaintTimer_; }
    EditorTimer &tickTimer() { return *tickTimer_; }

    // ---- Headless (talvoctl set): one band of a channel set and sent as the editor sends it,
    // with SendCommand: a FLAT band as the flat frame, otherwise the band frame.
    // While the window shows that channel, the window shows the band too (and keeps it when it
    // closes).
    void CommitBand(int channel, int band, const PeqBand &value, bool flat);
    // A band moved on a control outside the window (the room remote's page): set as CommitBand
    // sets it; a move goes out only while no frame is pending, as the editor's own drags do,
    // and the value let go at the end (`finished`) always goes.
    void EditBand(int channel, int band, const PeqBand &value, bool flat, bool finished);

    // ---- Bands from outside (File > Import EQ...): all three bands of a channel and their
    // FLAT flags stored as the editor keeps them (the program changed), and, with sending
    // enabled, each band sent as the editor sends it: a FLAT band as the flat frame.
    void ImportBands(int channel, const PeqBands &bands, const PeqFlats &flats);

signals:
    // Texts, slider positions, enabled states or the selection changed: read them again.
    void controlsChanged();
    // The curve was redrawn.
    void plotChanged();

private:
    static std::size_t index(PeqSlider s) { return static_cast<std::size_t>(s); }
    PeqBand *selected();
    std::array<bool, kPeqBandCount> &flagsOf(int channel);
    void writeSlider(PeqSlider s);
    void moveSelector(int position);
    void operatorMoved(PeqSlider s);
    void writeTexts();
    void sendBand(int band);
    void sendFlat(int band);
    void sendBytes(int ch, int band, const std::array<std::uint8_t, 8> &bytes);
    // A band of a channel set from outside the window: the channel's table and FLAT flag, and
    // the window's bands and box while it shows that channel.
    void storeBand(int ch, int band, const PeqBand &value, bool flat);

    AppState &state_;
    Link &link_;
    EditorTimer *repaintTimer_;
    EditorTimer *tickTimer_;

    int selectedBand_ = 1;
    int selector_ = 1;
    std::array<int, kPeqSliderCount> sliders_{};
    std::array<bool, kPeqSliderCount> userDriven_{};
    std::array<bool, kPeqSliderCount> sliderHeld_{};
    std::array<int, kPeqSliderCount> finishCountdown_{};
    std::array<bool, kPeqBandCount> flatBoxes_{};
    int plotReady_ = 100;
    int plotDragging_ = 0;
    bool shown_ = false;

    std::array<std::array<QString, 3>, kPeqBandCount> rowTexts_;
    std::array<QString, 3> selectedTexts_;
    PeqCurve curve_{};
    PeqBands drawnBands_{};
    PeqFlats drawnFlats_{};
};

}  // namespace talvo
