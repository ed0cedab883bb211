#pragma once
// The crossover window of one channel: "LEFT XOVER" (TForm7) or "RIGHT XOVER" (TForm8). A thin
// view over its CrossoverModel: the "HIGH PASS" / "LOW PASS" buttons, the two filter groups
// (slope list, scroll bar with its limit labels, frequency box) and the response plot forward
// their events to the model and show what it reports. Created once at start-up, opened
// modally from the signal-flow panel's XOVER block.

#include <array>
#include <optional>

#include <QDialog>
#include <QImage>

#include "editors/CrossoverCurve.h"

class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QScrollBar;

namespace talvo {

class CrossoverModel;
enum class XoverFilter;

// The plot area `imagessss`: shows the last curve painted into its 394 x 160 image. Each
// redraw paints the whole picture off-screen first and then shows it in one piece, so the
// curve moves without flicker.
class CrossoverPlotView : public QWidget {
    Q_OBJECT
public:
    explicit CrossoverPlotView(QWidget *parent = nullptr);

    void Draw(const CrossoverCurveInput &input);
    const QImage &image() const { return image_; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage image_;
};

class CrossoverWindow : public QDialog {
    Q_OBJECT
public:
    explicit CrossoverWindow(CrossoverModel &model, QWidget *parent = nullptr);

    void ApplyTexts();
    // Shows the window modally until "OK" (the caller runs the opening around it).
    void Open();

    // Handlers, named after their control and event.
    void faClick();  // "HIGH PASS"
    void fbClick();  // "LOW PASS"
    void ListBox3Click(int row);
    void ListBox2Click(int row);
    void ScrollBar1Change(int position);
    void scrollbar2Change(int position);
    void ScrollBar1Scroll(int position);
    void scrollbar2Scroll(int position);
    void edit1KeyDown();  // Enter
    void edit2KeyDown();
    void dxButton1Click();  // OK

    CrossoverModel &model() { return model_; }
    QScrollBar *scrollBar(XoverFilter which) const;
    QListWidget *slopeList(XoverFilter which) const;
    QLineEdit *frequencyBox(XoverFilter which) const;
    QGroupBox *group(XoverFilter which) const;
    QPushButton *filterButton(XoverFilter which) const;
    QLabel *limitLabel(int number) const;  // Label3 .. Label6
    CrossoverPlotView *plot() const { return imagessss_; }
    QPushButton *okButton() const { return dxButton1_; }

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct FilterControls {
        QGroupBox *group = nullptr;
        QLabel *slopeCaption = nullptr;  // Panel2 / Panel4
        QListWidget *slopes = nullptr;
        QScrollBar *bar = nullptr;
        QLineEdit *box = nullptr;
        QLabel *lowLabel = nullptr;   // Label3 / Label5
        QLabel *highLabel = nullptr;  // Label4 / Label6
    };
    FilterControls &controls(XoverFilter which);
    const FilterControls &controls(XoverFilter which) const;
    void buildFilter(XoverFilter which, const char *groupName, const char *slopesName, const char *captionName,
                     const char *barName, const char *boxName, const char *lowLabelName, const char *highLabelName);
    QWidget *buildPlot();
    void showModel();

    CrossoverModel &model_;
    std::array<FilterControls, 2> filters_{};
    QPushButton *fa_;
    QPushButton *fb_;
    QButtonGroup *fcButtonGroup1_;
    CrossoverPlotView *imagessss_ = nullptr;
    QPushButton *dxButton1_;
    bool showing_ = false;  // controls being set from the model: not the operator's doing
    std::optional<XoverFilter> scrolling_;  // the bar whose thumb is reporting a drag
};

}  // namespace talvo
