#pragma once
// The bus search behind the Search window, free of widgets: every ID of one of four ranges is
// probed with the two search commands, and each ID that answers is listed.
//
// The window's grid (row 0 the header, rows 1..255 the results; column 0 the count, column 1
// the text) is described cell by cell through cellText, so the window only presents. The
// progress bar goes through the Link's progressChanged like every other link activity. Main
// thread only; the waits keep the event loop running, so "OK" and closing the window work
// while a search runs.

#include <vector>

#include <QObject>
#include <QString>

#include "link/ProcedureRun.h"

namespace talvo {

struct IdRange {
    int first = 1;
    int last = 64;
};

inline constexpr int kSearchRangeCount = 4;
// Range 0..3: 1..64, 65..128, 129..192, 193..255. Anything else is the first range.
IdRange SearchRange(int index);
// The radio buttons' captions: "1~64", "65~128", "129~192", "193~255".
QString SearchRangeCaption(int index);

inline constexpr int kSearchGridRows = 256;  // header and 255 result rows
inline constexpr const char *kSearchHeaderCount = "Device Count";
inline constexpr const char *kSearchHeaderText = "ID+Message";
inline constexpr const char *kSearchingText = "Search...";
inline constexpr const char *kNoDeviceText = "No device...";
// Column 1 of a found row: the ID followed by "........OK".
QString FoundText(int id);
// The progress bar for the k-th ID probed: the ceiling of 1.4 k.
int SearchProgress(int k);

class SearchController : public QObject {
    Q_OBJECT
public:
    explicit SearchController(Link &link, QObject *parent = nullptr);

    // The window is shown: remembers the sub-address and whether an amplifier was connected,
    // writes the header row, shows row 1. No search has run in this showing yet.
    void WindowShown();
    // The "Search" button: probes range `rangeIndex` (0..3) and returns when done or stopped.
    // Asked for while a search runs: ignored.
    void Search(int rangeIndex);
    // The "OK" button: restores the link fields (the address only when a search ran since the
    // window was shown), stops a running search and asks the window to close
    // (closeRequested); sending is enabled again if it was not.
    void Ok();
    // The window closed by any means (OK included): progress 0, row 1 selected, the
    // sub-address restored, and the address as "OK" restores it; a search still running stops.
    void WindowClosed();
    // The amplifier connected when the window was shown has been disconnected meanwhile (the
    // backup of the amplifiers found lets every one of them go): "OK" leaves the link offline.
    void ConnectionEnded() { linkWasActive_ = 0; }

    bool IsSearching() const { return run_.IsRunning(); }
    // The IDs listed by the last (or the running) search, in order.
    const std::vector<int> &Found() const { return found_; }
    // The last search ended because it was stopped rather than at the end of its range.
    bool WasStopped() const { return stopped_; }
    // The last search ended because the port was lost; what it found before counts.
    bool LostPort() const { return lostPort_; }

signals:
    // One cell of the grid: row 0..255, column 0 or 1.
    void cellText(int row, int column, const QString &text);
    // Select a grid row (and scroll it into view).
    void rowSelected(int row);
    // The "Search" button.
    void searchEnabled(bool enabled);
    // Each ID listed, as it is found.
    void deviceFound(int id);
    // A search ended; `stopped` when it ended before the end of its range.
    void finished(const std::vector<int> &found, bool stopped);
    // "OK" asks the window to close.
    void closeRequested();

private:
    void probe(int id, bool lastOfRange);
    // Waits ms with the event loop running; ends early when the search is stopped.
    bool pause(double ms);
    // The sub-address as the window was shown; the address as the last search of this showing
    // found it.
    void restoreAddress();

    Link &link_;
    ProcedureRun run_;  // one search at a time; OK, closing the window and a lost port end it
    bool stopped_ = false;
    bool lostPort_ = false;
    bool searchRan_ = false;
    int linkWasActive_ = 0;
    int savedAddress_ = 0;
    int savedSubAddressHigh_ = 0;
    int savedSubAddressLow_ = 0;
    std::vector<int> found_;
};

}  // namespace talvo
