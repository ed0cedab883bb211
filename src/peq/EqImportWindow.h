#pragma once
// The window File > Import EQ... ends with: which file went into which channel's PEQ, whether
// the bands went to the amplifier, the fit figure, the response the file asks for and the one
// the bands give on one plot, and every change made. It only shows an outcome the import
// (peq/EqImport.h) produced.

#include <QDialog>
#include <QImage>

#include "peq/EqImport.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace talvo {

// The two curves with their gain and frequency captions and a legend.
class EqFitPlotView : public QWidget {
    Q_OBJECT
public:
    explicit EqFitPlotView(QWidget *parent = nullptr);

    // Where plot pixel (0, 0) lies in the view.
    static QPoint PlotOrigin();
    QSize sizeHint() const override;
    void Show(const EqImportPlan &plan);
    const QImage &bitmap() const { return bitmap_; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage bitmap_;
};

class EqImportWindow : public QDialog {
    Q_OBJECT
public:
    explicit EqImportWindow(QWidget *parent = nullptr);

    // Fills the window from a successful import.
    void ShowOutcome(const EqImportOutcome &outcome);

    QLabel *heading() const { return heading_; }
    QLabel *fit() const { return fit_; }
    EqFitPlotView *plot() const { return plot_; }
    QPlainTextEdit *report() const { return report_; }
    QPushButton *okButton() const { return ok_; }

private:
    QLabel *heading_;
    QLabel *fit_;
    EqFitPlotView *plot_;
    QPlainTextEdit *report_;
    QPushButton *ok_;
};

}  // namespace talvo
