#include "shell/SignalFlowPanel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

#include "widgets/ArrowLamp.h"
#include "widgets/BlockButton.h"

namespace talvo {

namespace {

// Grid columns of a chain row; arrows sit between the blocks.
enum Column {
    kChainLabelCol = 0,
    kInputCol = 1,
    kFirstArrowCol = 2,  // arrows at 2, 4, ..., 12; blocks at 3, 5, ..., 13
    kOutputArrowCol = 14,
    kOutputCol = 15,
};

constexpr int kBlockHeight = 46;
constexpr int kPhaseBlockHeight = 62;

const char *kStageCaption[] = {"Gain", "PEQ", "XOVER", "Delay", "", "LIMIT"};

QString BlockName(SignalFlowPanel::Channel channel, int stageIndex) {
    // The right chain's limiter has always been called FD7.
    if (channel == SignalFlowPanel::Channel::Right && stageIndex == 5) return QStringLiteral("FD7");
    // Gain..Delay are 1..4; the phase group's backdrop is 6 (its "180" box is 5); LIMIT is 7.
    const int number = stageIndex < 4 ? stageIndex + 1 : stageIndex == 4 ? 6 : 7;
    return QStringLiteral("%1%2").arg(channel == SignalFlowPanel::Channel::Left ? "fe" : "fd").arg(number);
}

QLabel *MakeTag(const QString &name, const QString &text, const QString &role, QWidget *parent) {
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setProperty("role", role);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

// A thin light cross that reads on the dark plate in every widget style.
QIcon CloseIcon() {
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(225, 232, 240), 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5, 5), QPointF(19, 19));
    p.drawLine(QPointF(19, 5), QPointF(5, 19));
    return QIcon(pixmap);
}

}  // namespace

SignalFlowPanel::SignalFlowPanel(QWidget *parent) : QFrame(parent) {
    setObjectName(QStringLiteral("Panel2"));
    setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    // A dark front plate, like the amplifier's own; only the panel and its labels are styled,
    // the blocks and arrows draw themselves.
    setStyleSheet(QStringLiteral(
        "#Panel2 { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #35404d, stop:1 #222a33);"
        "          border: 1px solid #151a20; border-radius: 6px; }"
        "#Panel2 QLabel { color: #e8eef4; background: transparent; }"
        "#Panel2 QLabel[role=\"channel\"] { font-weight: bold; font-size: 13pt; color: #9fd3ff; }"
        "#Panel2 QLabel[role=\"jack\"] { font-weight: bold; border: 2px solid #8a98a8; border-radius: 18px;"
        "          background: #1a2028; min-width: 50px; min-height: 32px; padding: 0 4px; }"
        "#Panel2 QGroupBox { color: #ffffff; font-weight: bold; border: 1px solid rgba(255,255,255,110);"
        "          border-radius: 4px; margin-top: 8px; padding-top: 2px; background: transparent; }"
        "#Panel2 QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"
        "#Panel2 QCheckBox { color: #ffffff; background: transparent; font-weight: bold; spacing: 4px; }"
        "#Panel2 QCheckBox:disabled { color: #b4bec8; }"
        "#Panel2 QCheckBox::indicator { width: 12px; height: 12px; border: 1px solid #aeb8c4; border-radius: 2px;"
        "          background: #161b22; }"
        "#Panel2 QCheckBox::indicator:checked { background: #3ccf5a; border-color: #e8f5ea; }"
        "#Panel2 QCheckBox::indicator:disabled { border-color: #7d8894; }"
        "#Panel2 QToolButton#PanelClose { background: transparent; border: none; }"
        "#Panel2 QToolButton#PanelClose:hover { background: rgba(255,255,255,40); border-radius: 3px; }"));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(12, 8, 8, 12);
    outer->setSpacing(0);

    auto *header = new QHBoxLayout;
    header->setSpacing(6);
    linkStrip_ = new QWidget(this);
    linkStrip_->setObjectName(QStringLiteral("LinkStrip"));
    header->addWidget(linkStrip_);
    header->addStretch(1);
    close_ = new QToolButton(this);
    close_->setObjectName(QStringLiteral("PanelClose"));
    close_->setIcon(CloseIcon());
    close_->setAutoRaise(true);
    close_->setIconSize(QSize(12, 12));
    close_->setFixedSize(22, 22);
    // Only a click closes: with keyboard focus, a Space meant for the window would end the program.
    close_->setFocusPolicy(Qt::NoFocus);
    connect(close_, &QToolButton::clicked, this, &SignalFlowPanel::closeRequested);
    header->addWidget(close_, 0, Qt::AlignTop);
    outer->addLayout(header);
    outer->addStretch(2);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(6);
    outer->addLayout(grid);
    outer->addStretch(2);

    for (int n = 1; n <= 19; ++n) {
        // 15..19 run from the left output down to the right one (bridge and mono routing).
        const bool down = n == 15 || n == 16 || n == 18 || n == 19;
        auto *a = new ArrowLamp(down ? ArrowLamp::Direction::Down : ArrowLamp::Direction::Right, this);
        a->setObjectName(QStringLiteral("iLedArrow%1").arg(n));
        arrows_[n] = a;
    }

    buildChain(Channel::Left, grid, 0);
    buildChain(Channel::Right, grid, 2);

    // Output routing between the rows; shown only in bridge and mono operation.
    auto *routing = new QVBoxLayout;
    routing->setSpacing(0);
    routing->addWidget(arrows_[16], 0, Qt::AlignHCenter);
    routing->addWidget(arrows_[19], 1, Qt::AlignHCenter);
    routing->addWidget(arrows_[18], 0, Qt::AlignHCenter);
    grid->addLayout(routing, 1, kOutputArrowCol);
    grid->addWidget(arrows_[15], 1, kOutputCol, Qt::AlignHCenter);
    grid->addWidget(arrows_[17], 2, kOutputArrowCol);
    for (int n = 15; n <= 19; ++n) arrows_[n]->hide();
    grid->setRowMinimumHeight(1, 44);

    // The test signal replaces both inputs while a sine or noise test runs.
    sindd_ = new BlockButton(QStringLiteral("Noise"), this);
    sindd_->setObjectName(QStringLiteral("SINDD"));
    sindd_->setBaseColor(QColor(150, 90, 30));
    sindd_->hide();
    grid->addWidget(sindd_, 0, kInputCol, 3, 1, Qt::AlignVCenter);
    connect(sindd_, &BlockButton::clicked, this, &SignalFlowPanel::testSignalClicked);
    testLamp_ = new ArrowLamp(ArrowLamp::Direction::Right, this);
    testLamp_->setObjectName(QStringLiteral("TestSignalLamp"));
    testLamp_->setLit(true);
    testLamp_->hide();
    grid->addWidget(testLamp_, 0, kChainLabelCol, 3, 1, Qt::AlignVCenter | Qt::AlignRight);

    for (int col = kFirstArrowCol; col <= kOutputArrowCol; col += 2) grid->setColumnStretch(col, 1);
    for (int col = kFirstArrowCol + 1; col < kOutputArrowCol; col += 2) grid->setColumnStretch(col, 2);
}

void SignalFlowPanel::buildChain(Channel channel, QGridLayout *grid, int row) {
    Chain &c = chains_[int(channel)];
    const bool left = channel == Channel::Left;

    c.channelLabel = MakeTag(left ? "LEFT" : "RIGHT", left ? "LEFT" : "RIGHT", "channel", this);
    c.channelLabel->setMinimumWidth(64);
    c.inputLabel = MakeTag(left ? "INA" : "INB", left ? "IN A" : "IN B", "jack", this);
    c.outputLabel = MakeTag(left ? "OUT1" : "OUT2", left ? "OUT 1" : "OUT 2", "jack", this);
    grid->addWidget(c.channelLabel, row, kChainLabelCol);
    grid->addWidget(c.inputLabel, row, kInputCol);
    grid->addWidget(c.outputLabel, row, kOutputCol);

    const int firstArrow = left ? 1 : 7;
    for (int i = 0; i < 6; ++i) {
        grid->addWidget(arrows_[firstArrow + i], row, kFirstArrowCol + 2 * i, Qt::AlignVCenter);

        auto *block = new BlockButton(QString::fromLatin1(kStageCaption[i]), this);
        block->setObjectName(BlockName(channel, i));
        block->setFixedHeight(i == int(Stage::Phase) ? kPhaseBlockHeight : kBlockHeight);
        c.blocks[i] = block;
        grid->addWidget(block, row, kFirstArrowCol + 2 * i + 1);
        const auto stage = static_cast<Stage>(i);
        if (stage != Stage::Phase)
            connect(block, &BlockButton::clicked, this, [this, channel, stage] { emit blockClicked(channel, stage); });
    }
    grid->addWidget(arrows_[left ? 13 : 14], row, kOutputArrowCol, Qt::AlignVCenter);

    // The phase group sits on a caption-less block of its own (fe6 / fd6), which has no action
    // and only moves, shows and hides with its chain.
    BlockButton *backdrop = c.blocks[int(Stage::Phase)];
    backdrop->setBaseColor(QColor(58, 70, 86));
    backdrop->setCursor(Qt::ArrowCursor);
    backdrop->setFocusPolicy(Qt::NoFocus);
    backdrop->setMinimumWidth(84);
    c.phaseGroup = new QGroupBox(QStringLiteral("Phase"), backdrop);
    c.phaseGroup->setObjectName(left ? QStringLiteral("GB2") : QStringLiteral("GB3"));
    c.phaseBox = new QCheckBox(QStringLiteral("180"), c.phaseGroup);
    c.phaseBox->setObjectName(left ? QStringLiteral("fe5") : QStringLiteral("fd5"));
    // Only the operator's clicks send; a program being applied ticks the box without a signal.
    connect(c.phaseBox, &QCheckBox::clicked, this,
            [this, channel](bool checked) { emit phaseClicked(channel, checked); });
    auto *groupLayout = new QHBoxLayout(c.phaseGroup);
    groupLayout->setContentsMargins(8, 4, 4, 2);
    groupLayout->addWidget(c.phaseBox);
    auto *backdropLayout = new QVBoxLayout(backdrop);
    backdropLayout->setContentsMargins(4, 0, 4, 4);
    backdropLayout->addWidget(c.phaseGroup);
}

void SignalFlowPanel::ApplyTexts(bool sineTest) {
    for (Chain &c : chains_) {
        for (int i = 0; i < 6; ++i)
            if (i != int(Stage::Phase)) c.blocks[i]->setText(QString::fromLatin1(kStageCaption[i]));
        c.phaseGroup->setTitle(QStringLiteral("Phase"));
    }
    chains_[0].outputLabel->setText(QStringLiteral("OUT 1"));
    chains_[1].outputLabel->setText(QStringLiteral("OUT 2"));
    chains_[0].channelLabel->setText(QStringLiteral("LEFT"));
    chains_[1].channelLabel->setText(QStringLiteral("RIGHT"));
    sindd_->setText(sineTest ? QStringLiteral("Sine") : QStringLiteral("Noise"));
}

QList<QWidget *> SignalFlowPanel::rightChainWidgets() const {
    const Chain &right = chains_[int(Channel::Right)];
    QList<QWidget *> widgets{right.channelLabel, right.inputLabel, right.phaseGroup};
    for (BlockButton *b : right.blocks) widgets << b;  // fd1..fd4, fd6 (holding GB3 and fd5), FD7
    for (int n = 7; n <= 12; ++n) widgets << arrows_[n];
    return widgets;
}

void SignalFlowPanel::ShowDiagram(const PanelDiagram &d) {
    sindd_->setVisible(d.testSignalShown);
    testLamp_->setVisible(d.testSignalShown);
    for (Chain &c : chains_) {
        // The Gain blocks stay usable in the test layout: they set the test signal's level.
        for (int i = 0; i < 6; ++i) c.blocks[i]->setEnabled(d.blocksEnabled || i == int(Stage::Gain));
        c.phaseGroup->setEnabled(d.blocksEnabled);
        c.phaseBox->setEnabled(d.blocksEnabled);
    }
    for (int n = 7; n <= 12; ++n) arrows_[n]->setEnabled(d.blocksEnabled);
    for (QWidget *w : rightChainWidgets()) w->setVisible(d.rightChainShown);
    for (int n = 1; n <= 19; ++n) arrows_[n]->setVisible(d.ArrowShown(n));
    const Chain &left = chains_[int(Channel::Left)];
    const Chain &right = chains_[int(Channel::Right)];
    left.inputLabel->setVisible(d.labelsShown);
    left.channelLabel->setVisible(d.labelsShown);
    right.inputLabel->setVisible(d.labelsShown && d.rightChainShown);
    right.channelLabel->setVisible(d.labelsShown && d.rightChainShown);
}

bool SignalFlowPanel::IsReachable(Channel channel, Stage stage) const {
    QWidget *w = stage == Stage::Phase ? static_cast<QWidget *>(phaseBox(channel)) : block(channel, stage);
    // isVisibleTo and isEnabledTo look at the ancestors up to the panel, also before it is shown.
    return isEnabled() && w->isVisibleTo(this) && w->isEnabledTo(this);
}

BlockButton *SignalFlowPanel::block(Channel channel, Stage stage) const {
    return chains_[int(channel)].blocks[int(stage)];
}
QCheckBox *SignalFlowPanel::phaseBox(Channel channel) const { return chains_[int(channel)].phaseBox; }
QGroupBox *SignalFlowPanel::phaseGroup(Channel channel) const { return chains_[int(channel)].phaseGroup; }
BlockButton *SignalFlowPanel::phaseBackdrop(Channel channel) const { return block(channel, Stage::Phase); }
ArrowLamp *SignalFlowPanel::arrow(int number) const {
    return number >= 1 && number <= 19 ? arrows_[number] : nullptr;
}
QLabel *SignalFlowPanel::channelLabel(Channel channel) const { return chains_[int(channel)].channelLabel; }
QLabel *SignalFlowPanel::inputLabel(Channel channel) const { return chains_[int(channel)].inputLabel; }
QLabel *SignalFlowPanel::outputLabel(Channel channel) const { return chains_[int(channel)].outputLabel; }

}  // namespace talvo
