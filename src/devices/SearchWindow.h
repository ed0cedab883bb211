#pragma once
// The "Search Amplifier" window (TForm18): picks one of four ID ranges, runs the bus search and
// lists the IDs that answered. The search itself is the search controller's; this window shows
// its grid cells, its progress and its "Search" button state.

#include <array>
#include <vector>

#include <QDialog>

class QPushButton;
class QRadioButton;
class QTableWidget;

namespace talvo {

class SearchController;

inline constexpr const char *kSearchCaption = "Search Amplifier";

class SearchWindow : public QDialog {
    Q_OBJECT
public:
    explicit SearchWindow(SearchController &controller, QWidget *parent = nullptr);

    void ApplyTexts();

    // The range of the ticked radio button, 0..3.
    int RangeIndex() const;

    // The buttons.
    void SearchClick();
    void OkClick();

    // Grid row 0..255 (0 the fixed header), column 0 or 1.
    QString CellText(int row, int column) const;
    // The selected result row (1..255), 0 when none.
    int SelectedRow() const;

    QTableWidget *grid() const { return grid_; }
    QRadioButton *rangeButton(int index) const { return radio_.at(static_cast<size_t>(index)); }
    QPushButton *searchButton() const { return dxButton1_; }
    QPushButton *okButton() const { return dxButton2_; }
    QPushButton *backUpAllButton() const { return dxButton3_; }

signals:
    // "Back Up All...": the amplifiers the last search found are to be backed up.
    void backUpAllRequested(const std::vector<int> &found);

public slots:
    // Closing by any means ("OK", the close box, Escape): the controller restores the link
    // fields and a running search stops.
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void SetCell(int row, int column, const QString &text);
    void SelectRow(int row);

    SearchController &controller_;
    QTableWidget *grid_;
    std::array<QRadioButton *, 4> radio_{};
    QPushButton *dxButton1_;
    QPushButton *dxButton2_;
    QPushButton *dxButton3_;
};

}  // namespace talvo
