#pragma once
// What the room remote shows and changes, free of any network: the connected amplifier's
// state as the page and the API see it, and every change they ask for, made through the same
// models the desktop windows drive. A page's slider moves as the window's slider does (a move
// is dropped while a frame is pending, the value let go is sent and resent as its editor does);
// a value set through the API goes out as `talvoctl set` sends it (remote/LiveKeys.h), checked
// whole before anything is sent. So pacing, pending frames and resends hold whichever side
// makes a change, and the desktop windows follow it.
//
// While a connect or disconnect, a mode change, a test-mode entry or a memory transfer runs,
// or a sine or noise test holds the panel, changes are refused with the reason, as the
// desktop's disabled panel refuses them.
//
// Everything runs on the main thread, beside the models.

#include <array>
#include <functional>
#include <optional>
#include <vector>

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include "memory/MemoryController.h"
#include "peq/PeqResponse.h"
#include "remote/LiveKeys.h"

namespace talvo {

struct AppState;
class ConnectController;
class EditorModels;
class Link;
class LinkController;
class PeqEditorModel;
class TestModeController;

// What the remote stands on. The references outlive it; the pointers may be null where the
// program has no such part (talvoctl remote runs no test modes).
struct RemoteModels {
    AppState &state;
    Link &link;
    EditorModels &editors;
    PeqEditorModel &peq;
    MemoryController &memory;
    ConnectController *connect = nullptr;
    LinkController *linkController = nullptr;
    TestModeController *tests = nullptr;
    // The memory window's prompts, put back after a recall the remote asked for (which answers
    // the window's question itself and reports failures to its caller instead of a box).
    MemoryPrompts memoryPrompts;
    // How the port is named in the state ("COM3 (/dev/ttyS2)", "/dev/ttyUSB0",
    // "tcp://10.0.0.20:4001"), asked each time (COM Setup may change it).
    std::function<QString()> portName;
};

// Everything the page shows, compared as a whole to find out whether something changed.
struct RemoteChannelView {
    int gainPosition = 0;
    bool muted = true;
    bool gainEnabled = false;
    bool muteEnabled = true;
    int delayPosition = 0;
    bool limiterOn = false;
    std::array<int, 4> limiter{};  // threshold, hold, attack, decay
    bool phaseInverted = false;
    int highPassSlope = 0;
    int highPassPosition = 0;
    int lowPassSlope = 0;
    int lowPassPosition = 0;
    PeqBands bands{};
    PeqFlats flats{};

    friend bool operator==(const RemoteChannelView &, const RemoteChannelView &) = default;
};

struct RemoteSlotView {
    bool answered = false;
    bool inUse = false;
    QString name;

    friend bool operator==(const RemoteSlotView &, const RemoteSlotView &) = default;
};

struct RemoteView {
    bool online = false;
    QString reason;  // why changes are refused now (empty: they are taken)
    QString busy;    // what runs ("mode change", "memory transfer", ...), or empty
    int id = 0;
    int subAddress = 0;
    int firmwareMajor = 1;
    int firmwareMinor = 0;
    int mode = 0;
    int testMode = 0;
    int currentProgram = 0;
    bool bridgeAvailable = true;
    QString port;
    int progress = 0;
    std::array<RemoteChannelView, 2> channels{};
    std::array<RemoteSlotView, kMemorySlotCount> memorySlots{};

    friend bool operator==(const RemoteView &, const RemoteView &) = default;
};

// A request's outcome: an HTTP status and its JSON body ({"error": "..."} when not ok).
struct RemoteResult {
    int status = 200;
    QJsonObject body;

    bool ok() const { return status >= 200 && status < 300; }
    static RemoteResult Error(int status, const QString &message);
};

// How a page's continuous control changes a value.
enum class RemoteEdit {
    Move,    // while held: dropped while a frame is pending, as the window's slider does
    Finish,  // let go: sent whatever is pending, then resent as its editor resends
};

class RemoteControl : public QObject {
    Q_OBJECT
public:
    explicit RemoteControl(const RemoteModels &models, QObject *parent = nullptr);

    // ---- What is shown.
    RemoteView View() const;
    // The view as JSON: link, busy, test, progress, both channels (with their PEQ curves) and
    // the memory slots; the body of GET state and of the page's "state" messages.
    static QJsonObject StateJson(const RemoteView &view);
    QJsonObject State() const { return StateJson(View()); }
    // The slots as last refreshed: the body of GET memory.
    static QJsonObject MemoryJson(const RemoteView &view);
    // The fixed tables the page draws and snaps with: the crossover frequencies, the slope
    // names, the PEQ grid and the value ranges.
    static QJsonObject Tables();
    // The PEQ curve of a channel in dB, one value per grid column (0..360), as the desktop's
    // plot draws it.
    static QJsonArray CurveJson(const PeqBands &bands, const PeqFlats &flats);

    // Why a change would be refused now (OFFLINE, something running), or nothing.
    std::optional<QString> Refusal() const;

    // ---- Changes.
    // `talvoctl set`'s keys and values (JSON numbers, strings, or true / false for flat),
    // checked whole first: 400 naming the first bad key or value, 409 when refused; then sent
    // in the order of their keys, each with its editor's frame. "mode" is not taken here.
    RemoteResult Set(const QJsonObject &values);
    // A page's slider or marker: the keys of one value, one filter or one band.
    RemoteResult Edit(const QJsonObject &values, RemoteEdit how);
    // The channel's MUTE ("left", "right" or "both") pressed so that it ends `muted`.
    RemoteResult Mute(const QString &channel, bool muted);
    // Memory: the amplifier runs the slot and the editors show it (muted), or the twenty slots
    // are read again. Both take seconds; `done` gets the outcome.
    void Recall(int slot, const std::function<void(const RemoteResult &)> &done);
    void RefreshMemory(const std::function<void(const RemoteResult &)> &done);
    bool memoryRunning() const { return memoryRunning_; }

signals:
    // Something a page shows may have changed (a change made here, progress of a procedure).
    void changed();

private:
    Program liveProgram() const;
    RemoteResult editStep(const LiveStep &step, RemoteEdit how);
    // The values as `talvoctl set` changes; `problem` says what is wrong when empty.
    std::optional<std::vector<LiveChange>> parse(const QJsonObject &values, QString &problem) const;
    void runMemory(const std::function<MemoryOutcome()> &run, const std::function<void(const RemoteResult &)> &done,
                   const std::function<RemoteResult()> &answer);

    RemoteModels m_;
    int progress_ = 0;
    bool memoryRunning_ = false;
};

}  // namespace talvo
