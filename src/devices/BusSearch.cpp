#include "devices/BusSearch.h"

#include <array>

#include "link/Link.h"

namespace talvo {

namespace {

constexpr std::uint8_t kSearchCommand = 220;
constexpr std::uint8_t kFirstProbe = 110;
constexpr std::uint8_t kSecondProbe = 90;

// Between the two copies of the first probe, and after them; after the last ID of a range the
// last answers get longer. Each probe frame is at least 108 ms on the wire (13 bytes 6 ms
// apart and 30 ms of pacing), so these waits are what keeps one ID's answers from the next.
constexpr double kFirstProbeGapMs = 100;
constexpr double kLastIdExtraMs = 300;
constexpr int kFirstProbeTailWaits = 4;
constexpr double kFirstProbeTailMs = 30;
constexpr double kSecondProbeWaitMs = 200;
constexpr int kSecondProbeTailWaits = 3;
constexpr double kSecondProbeTailMs = 40;
constexpr double kEndPauseMs = 30;

constexpr std::array<IdRange, kSearchRangeCount> kRanges{{{1, 64}, {65, 128}, {129, 192}, {193, 255}}};

}  // namespace

IdRange SearchRange(int index)
{
    if (index < 0 || index >= kSearchRangeCount)
        index = 0;
    return kRanges[static_cast<std::size_t>(index)];
}

QString SearchRangeCaption(int index)
{
    const IdRange range = SearchRange(index);
    return QStringLiteral("%1~%2").arg(range.first).arg(range.last);
}

QString FoundText(int id)
{
    return QString::number(id) + QStringLiteral("........OK");
}

int SearchProgress(int k)
{
    // The ceiling of 1.4 k in whole numbers: 1.4 * 5 in floating point is a hair above 7.
    return (14 * k + 9) / 10;
}

SearchController::SearchController(Link &link, QObject *parent) : QObject(parent), link_(link), run_(link) {}

void SearchController::WindowShown()
{
    const LinkState &s = link_.state();
    // A search of an earlier showing saved an address that has been connected away from since:
    // only a search of this showing may put its saved address back.
    searchRan_ = false;
    savedSubAddressLow_ = s.outFrame.subAddressLow;
    savedSubAddressHigh_ = s.outFrame.subAddressHigh;
    emit rowSelected(1);
    linkWasActive_ = s.linkActive == kYes ? kYes : 0;
    emit cellText(0, 0, QLatin1String(kSearchHeaderCount));
    emit cellText(0, 1, QLatin1String(kSearchHeaderText));
}

bool SearchController::pause(double ms)
{
    const bool goOn = run_.Wait(ms);
    // Probing the rest of the range on a port that is gone would take a minute and find nothing.
    lostPort_ = lostPort_ || link_.PortLost();
    return goOn && !lostPort_;
}

void SearchController::Search(int rangeIndex)
{
    if (!run_.Begin())
        return;
    stopped_ = false;
    lostPort_ = false;
    searchRan_ = true;
    found_.clear();
    LinkState &s = link_.state();

    emit rowSelected(1);
    emit searchEnabled(false);
    int lastFound = 0;

    // The send operations pass only an active link.
    const bool activated = s.linkActive != kYes;
    if (activated)
        s.linkActive = kYes;
    savedAddress_ = s.outFrame.address;
    const std::uint8_t subHigh = s.outFrame.subAddressHigh;
    const std::uint8_t subLow = s.outFrame.subAddressLow;

    const IdRange range = SearchRange(rangeIndex);
    for (int row = 1; row < kSearchGridRows; ++row) {
        emit cellText(row, 0, QString());
        emit cellText(row, 1, QString());
    }

    link_.ShowProgress(0);
    int k = 0;
    int resultRow = 1;
    for (int id = range.first; id <= range.last; ++id) {
        if (run_.StopRequested())
            break;
        ++k;
        link_.ShowProgress(SearchProgress(k));
        emit cellText(resultRow, 1, QLatin1String(kSearchingText));

        const auto sendProbe = [&](std::uint8_t probe) {
            // Set afresh for every copy: handlers that ran during a wait may have used outFrame.
            s.outFrame.address = static_cast<std::uint8_t>(id);
            s.outFrame.subAddressHigh = 0;
            s.outFrame.subAddressLow = 0;
            s.outFrame.set(kSearchCommand, {probe});
            link_.SendCommand();
        };

        // First probe, twice.
        s.reply.replyAddress = 0;
        sendProbe(kFirstProbe);
        if (!pause(kFirstProbeGapMs) || !pause(kFirstProbeGapMs))
            break;
        sendProbe(kFirstProbe);
        if (id == range.last && !pause(kLastIdExtraMs))
            break;
        bool stop = false;
        for (int i = 0; i < kFirstProbeTailWaits && !stop; ++i) {
            stop = !pause(kFirstProbeTailMs);
            Link::ProcessMessages();
        }
        if (stop)
            break;
        if (s.reply.replyAddress == 0)
            emit cellText(resultRow, 1, QLatin1String(kNoDeviceText));

        // Second probe.
        sendProbe(kSecondProbe);
        if (!pause(kSecondProbeWaitMs))
            break;
        for (int i = 0; i < kSecondProbeTailWaits && !stop; ++i) {
            stop = !pause(kSecondProbeTailMs);
            Link::ProcessMessages();
        }
        if (stop)
            break;
        const int answer = s.reply.replyAddress;
        if (answer == 0)
            emit cellText(resultRow, 1, QLatin1String(kNoDeviceText));

        // Listed only above the last ID listed: a late answer for the previous ID (or a second
        // answer for this one) is not listed again.
        if (answer > 0 && answer > lastFound) {
            emit cellText(resultRow, 0, QString::number(resultRow));
            emit rowSelected(resultRow + 1);
            emit cellText(resultRow, 1, FoundText(answer));
            ++resultRow;
            lastFound = answer;
            found_.push_back(answer);
            emit deviceFound(answer);
        }
    }
    stopped_ = run_.StopRequested();

    // The probes went out without a sub-address, to the IDs of the range; the connected
    // amplifier's address comes back.
    s.outFrame.address = static_cast<std::uint8_t>(savedAddress_);
    s.outFrame.subAddressHigh = subHigh;
    s.outFrame.subAddressLow = subLow;
    if (activated)
        s.linkActive = 0;

    link_.ShowProgress(100);
    link_.WaitPumping(kEndPauseMs);
    link_.ShowProgress(0);
    run_.End();
    emit searchEnabled(true);
    emit finished(found_, stopped_);
}

void SearchController::restoreAddress()
{
    LinkState &s = link_.state();
    s.outFrame.subAddressLow = static_cast<std::uint8_t>(savedSubAddressLow_);
    s.outFrame.subAddressHigh = static_cast<std::uint8_t>(savedSubAddressHigh_);
    if (searchRan_)
        s.outFrame.address = static_cast<std::uint8_t>(savedAddress_);
}

void SearchController::Ok()
{
    LinkState &s = link_.state();
    restoreAddress();
    if (linkWasActive_ == kYes)
        s.linkActive = kYes;
    run_.RequestStop();
    emit closeRequested();
    if (s.sendEnabled.load() == 0)
        s.sendEnabled.store(1);
}

void SearchController::WindowClosed()
{
    // A search still running when the window goes (its close box) would go on probing unseen
    // and later put its saved address back over whatever was connected meanwhile.
    run_.RequestStop();
    link_.ShowProgress(0);
    emit rowSelected(1);
    restoreAddress();
}

}  // namespace talvo
