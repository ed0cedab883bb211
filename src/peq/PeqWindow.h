#pragma once
// The PEQ editor window, TForm13: "LEFT PEQ" or "RIGHT PEQ", one window for both channels. A
// thin view over PeqEditorModel: the band table (frequency, gain and Q per band with its FLAT
// box), the 360 x 150 plot with its captions, and the group "PEQ" with "Reset", the band
// selector, the three sliders and the selected band's fields. Created once at start-up and
// opened modally from the signal-flow panel's PEQ blocks.

#include <array>

#include <QDialog>
#include <QImage>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace talvo {

class PeqEditorModel;
class TrackSlider;
class ValueBox;

// The plot with its gain and frequency captions, painting the model's bitmap and passing the
// mouse on in plot pixels.
class PeqPlotView : public QWidget {
    Q_OBJECT
public:
    explicit PeqPlotView(PeqEditorModel &model, QWidget *parent = nullptr);

    // Where plot pixel (0, 0) lies in the view.
    static QPoint PlotOrigin();
    QSize sizeHint() const override;
    const QImage &bitmap() const { return bitmap_; }

    // Paints the model's last refresh into the bitmap and shows it.
    void Redraw();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    QPoint plotPoint(const QMouseEvent *event) const;

    PeqEditorModel &model_;
    QImage bitmap_;
};

class PeqWindow : public QDialog {
    Q_OBJECT
public:
    explicit PeqWindow(PeqEditorModel &model, QWidget *parent = nullptr);

    void ApplyTexts();
    // fe2Click / fd2Click after the texts: the channel's bands in, then shown modally.
    void Open(int channel);

    PeqEditorModel &model() { return model_; }
    PeqPlotView *plot() const { return plot_; }
    TrackSlider *slider(int index) const { return ktrack_[static_cast<std::size_t>(index)]; }
    QSlider *bandSelector() const { return TrackBar1_; }
    QLineEdit *rowFrequency(int band) const { return rowFreq_[static_cast<std::size_t>(band - 1)]; }
    ValueBox *rowGain(int band) const { return rowGain_[static_cast<std::size_t>(band - 1)]; }
    ValueBox *rowQ(int band) const { return rowQ_[static_cast<std::size_t>(band - 1)]; }
    QCheckBox *flatBox(int band) const { return flat_[static_cast<std::size_t>(band - 1)]; }
    QLineEdit *selectedFrequency() const { return edit1_; }
    ValueBox *selectedGain() const { return edit2_; }
    ValueBox *selectedQ() const { return edit3_; }
    QPushButton *resetButton() const { return dxButton2_; }
    QPushButton *okButton() const { return dxButton1_; }

    void dxButton1Click();  // OK
    void dxButton2Click();  // Reset

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showControls();

    PeqEditorModel &model_;
    PeqPlotView *plot_;
    std::array<TrackSlider *, 3> ktrack_{};
    std::array<QLabel *, 3> sliderCaptions_{};
    std::array<QLabel *, 3> headers_{};
    std::array<QLabel *, 3> rowNumbers_{};
    std::array<QLineEdit *, 3> rowFreq_{};
    std::array<ValueBox *, 3> rowGain_{};
    std::array<ValueBox *, 3> rowQ_{};
    std::array<QCheckBox *, 3> flat_{};
    QGroupBox *group_;
    QSlider *TrackBar1_;
    QLabel *bandNumber_;
    QLineEdit *edit1_;
    ValueBox *edit2_;
    ValueBox *edit3_;
    QPushButton *dxButton2_;
    QPushButton *dxButton1_;
};

}  // namespace talvo
