#pragma once
// Applying a program record: the one entry point through which a record (read from a file,
// from the amplifier at connection, recalled from memory, or the default program) reaches the
// editors.
//
// Applying works on the application state only and sends nothing itself: every caller keeps
// sending disabled for the duration (sendEnabled 0 or linkActive 0). The parts applied here
// are the operating mode's value, the PEQ band tables and both input gains with their muted
// states. Everything else of the record (delays, phase, limiters, crossovers) is taken by the
// editors, which listen to programApplied and take their stage from the decoded program; the
// mode switch's own steps join through SetModeSteps (EditorModels joins both). All on the
// main thread.

#include <functional>

#include <QObject>
#include <QString>

#include "programs/ProgramFile.h"
#include "programs/ProgramRecord.h"

namespace talvo {

struct AppState;

inline constexpr int kGainPositionMin = -600;  // -60.0 dB: the gain slider's lowest position
inline constexpr int kGainPositionMax = 60;    // +6.0 dB
inline constexpr int kLeftChannel = 0;
inline constexpr int kRightChannel = 1;

// The gain slider position for a gain in dB (tenths of a dB, rounded half to even, limited to
// the slider's range).
int GainPosition(double gainDb);
// A gain from its three wire bytes: whole dB, hundredths, sign (0x55 negative).
double GainFromBytes(std::uint8_t whole, std::uint8_t hundredths, std::uint8_t sign);

class ProgramApplier : public QObject {
    Q_OBJECT
public:
    explicit ProgramApplier(AppState &state, QObject *parent = nullptr);

    // Applies the record held in programBuffer (apply from memory).
    void ApplyProgram();
    // Applies a program file: exactly 112 bytes go into programBuffer and are applied; a file
    // of any other length applies the default program instead. A file with a value no editor
    // produces (ValueOutOfRange) applies nothing. The result says which.
    FileResult ApplyProgramFile(const QString &path);
    // programBuffer := the default program, applied. While sending is enabled the port is
    // closed for the duration and reopened afterwards (see SetPortControl).
    void LoadDefaultProgram();

    // One gain editor (kLeftChannel / kRightChannel) set to a gain: -60.1 dB or below puts it
    // into the muted state at -60.0 dB, anything else shows the gain, not muted.
    void SetInputGain(int channel, double gainDb);
    // One gain editor into the muted state.
    void MuteInput(int channel);

    // The mode switch's steps for a mode (the signal-flow panel, the mode commands, resetting
    // the gain editors), run where applying reaches the mode. None until the editors join.
    void SetModeSteps(std::function<void(Mode)> steps) { modeSteps_ = std::move(steps); }
    // How LoadDefaultProgram closes and reopens the serial port while sending is enabled.
    // Without it the port is left alone and only sending is held off.
    void SetPortControl(std::function<void()> closePort, std::function<bool()> openPort)
    {
        closePort_ = std::move(closePort);
        openPort_ = std::move(openPort);
    }

signals:
    // A gain editor's new state: slider position (tenths of a dB) and whether it is muted.
    void inputGainChanged(int channel, int position, bool muted);
    // The operating mode taken from the record.
    void modeApplied(talvo::Mode mode);
    // The whole record, decoded, after the parts above were applied: the editor windows show
    // their stages from it.
    void programApplied(const talvo::Program &program);

private:
    AppState &state_;
    std::function<void(Mode)> modeSteps_;
    std::function<void()> closePort_;
    std::function<bool()> openPort_;
};

}  // namespace talvo
