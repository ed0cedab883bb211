#pragma once
// The block diagram of the amplifier's two processing chains in the middle of the main window
// (`Panel2`): left chain on the upper row from "IN A" to "OUT 1", right chain on the lower row
// from "IN B" to "OUT 2", each block a button that opens the editor of its stage.
//
// The widgets carry their diagram names as object names (fe1..fe7, fd1..FD7, GB3,
// iLedArrow1..19, SINDD), so the editors and the mode switch find them by name.

#include <array>

#include <QFrame>

#include "editors/ModeController.h"

class QCheckBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QToolButton;

namespace talvo {

class ArrowLamp;
class BlockButton;

class SignalFlowPanel : public QFrame {
    Q_OBJECT
public:
    enum class Channel { Left = 0, Right = 1 };
    // The stages in chain order; Phase is the group with its "180" box.
    enum class Stage { Gain, Peq, Crossover, Delay, Phase, Limiter };

    explicit SignalFlowPanel(QWidget *parent = nullptr);

    // The panel's own texts (block captions, chain and output labels, test-signal caption).
    void ApplyTexts(bool sineTest);

    // Shows a diagram: in Stereo both chains; in Bridge and Mono the right chain hidden (the
    // amplifier does not use it) and the routing arrows showing how the left chain reaches both
    // outputs; the test-signal block and the blocks' enabled state as the diagram says.
    void ShowDiagram(const PanelDiagram &diagram);
    // Whether a block can be reached by the operator right now (shown and enabled, the panel
    // included).
    bool IsReachable(Channel channel, Stage stage) const;

    BlockButton *block(Channel channel, Stage stage) const;
    QCheckBox *phaseBox(Channel channel) const;
    QGroupBox *phaseGroup(Channel channel) const;
    BlockButton *phaseBackdrop(Channel channel) const;  // fe6 / fd6
    ArrowLamp *arrow(int number) const;                 // iLedArrow1..19
    BlockButton *testSignalButton() const { return sindd_; }
    // The lit arrow into the test-signal button: the test signal replaces both inputs.
    ArrowLamp *testSignalLamp() const { return testLamp_; }
    QLabel *channelLabel(Channel channel) const;
    QLabel *inputLabel(Channel channel) const;
    QLabel *outputLabel(Channel channel) const;
    QToolButton *closeButton() const { return close_; }
    // The lamp, status word and ID of the link, shown in the panel's header.
    QWidget *linkStrip() const { return linkStrip_; }

signals:
    // A block was pressed (the editors connect here).
    void blockClicked(talvo::SignalFlowPanel::Channel channel, talvo::SignalFlowPanel::Stage stage);
    void testSignalClicked();
    // The operator clicked a "180" box; `inverted` is its new state.
    void phaseClicked(talvo::SignalFlowPanel::Channel channel, bool inverted);
    void closeRequested();

private:
    struct Chain {
        QLabel *channelLabel = nullptr;
        QLabel *inputLabel = nullptr;
        QLabel *outputLabel = nullptr;
        std::array<BlockButton *, 6> blocks{};  // by Stage; Phase holds the backdrop fe6/fd6
        QGroupBox *phaseGroup = nullptr;
        QCheckBox *phaseBox = nullptr;
    };

    void buildChain(Channel channel, QGridLayout *grid, int row);
    // The widgets that show and hide with the right chain in the mode diagrams.
    QList<QWidget *> rightChainWidgets() const;

    std::array<Chain, 2> chains_;
    std::array<ArrowLamp *, 20> arrows_{};  // [1..19]
    BlockButton *sindd_ = nullptr;
    ArrowLamp *testLamp_ = nullptr;
    QToolButton *close_ = nullptr;
    QWidget *linkStrip_ = nullptr;
};

}  // namespace talvo
