#pragma once
// One simulated TALVO amplifier: its settings, its twenty memory slots, the program it runs,
// and what it does with each command frame that reaches it.
//
// The amplifier knows nothing about bytes on the line or time: the bus hands it decoded
// frames and puts its replies on the line (with the line faults configured here).

#include <array>
#include <cstdint>
#include <optional>
#include <random>

#include <QByteArray>
#include <QString>

#include "link/CommandFrame.h"
#include "programs/ProgramRecord.h"

namespace talvo::sim {

inline constexpr int kSlotCount = 20;
inline constexpr int kLiveProgram = 100;        // program number of what the amplifier runs now
inline constexpr int kReservedProgram = 21;     // a program the operator may not overwrite
inline constexpr int kCurrentProgramTarget = 150;  // header target: download into the running program

// Reply frame: 250 251 252, ID, length, command, 16 data bytes, closing byte.
inline constexpr std::array<std::uint8_t, 3> kReplySync{250, 251, 252};
inline constexpr int kReplyDataSize = 16;
inline constexpr int kReplyFrameSize = 3 + 3 + kReplyDataSize + 1;

// A real amplifier's microcontroller needs a moment after the end mark before it answers.
inline constexpr double kDefaultReplyDelayMs = 5.0;

struct AmplifierReply {
    std::uint8_t id = 0;
    std::uint8_t command = 0;
    std::array<std::uint8_t, kReplyDataSize> data{};

    // The closing byte: byte sum of ID, length, command and data, like the command checksum.
    std::uint8_t closingByte() const;
    QByteArray wireBytes() const;
};

// Line faults to rehearse with; all off by default.
struct Faults {
    bool noAnswer = false;           // carries out commands but never answers
    double dropShare = 0.0;          // 0..1: share of replies that never reach the line
    double replyDelayMs = kDefaultReplyDelayMs;  // from the frame's last byte to the reply
    int garbageBytes = 0;            // random bytes put on the line before each reply
    int cutShortTo = -1;             // keep only this many bytes of each reply; < 0 = whole reply
    bool program21 = false;          // report program 21 as running until a program is selected
    std::uint32_t seed = 0;          // for dropping and garbage; 0 = derived from the address

    friend bool operator==(const Faults &, const Faults &) = default;
};

struct AmplifierConfig {
    std::uint8_t id = 1;
    std::uint16_t subAddress = 1;
    std::uint8_t firmwareMajor = 2;
    std::uint8_t firmwareMinor = 5;
    bool bridgeAvailable = true;
    int runningProgram = 1;  // 1..20; the program loaded as the live program at power-up
    std::array<RecordImage, kSlotCount> slotRecords;  // slot n at index n - 1
    Faults faults;

    AmplifierConfig();  // the demonstration programs in slots 1..4
};

enum class TestMode : std::uint8_t { None = 0, Sine = 1, Noise = 2 };

// What the amplifier made of one frame addressed to it.
struct CommandOutcome {
    bool accepted = false;
    QString note;  // what was done, or why the frame was refused
    std::optional<AmplifierReply> reply;  // every accepted frame is answered
};

class Amplifier {
public:
    explicit Amplifier(const AmplifierConfig &config = AmplifierConfig());

    // ID equal, and the frame's sub-address equal to ours or 0 (0 reaches every sub-address).
    bool isAddressedBy(const CommandFrame &frame) const;

    // Carries out one frame addressed to this amplifier. Frames with an unknown command, a
    // length the command does not have or a value out of range are refused and not answered.
    CommandOutcome handle(const CommandFrame &frame);

    std::uint8_t id() const { return config_.id; }
    std::uint16_t subAddress() const { return config_.subAddress; }
    std::uint8_t firmwareMajor() const { return config_.firmwareMajor; }
    std::uint8_t firmwareMinor() const { return config_.firmwareMinor; }
    bool bridgeAvailable() const { return config_.bridgeAvailable; }

    const RecordImage &slot(int n) const { return slots_.at(n - 1); }  // n = 1..20
    void setSlot(int n, const RecordImage &record) { slots_.at(n - 1) = record; }
    const RecordImage &liveProgram() const { return live_; }
    int runningProgram() const { return runningProgram_; }
    // The six bytes of block 8: left gain (whole, hundredths, sign), then the right one.
    std::array<std::uint8_t, 6> liveGains() const;
    bool outputMuted(int channel) const { return muted_.at(channel); }  // 0 left, 1 right
    Mode mode() const { return static_cast<Mode>(live_[10]); }
    TestMode testMode() const { return testMode_; }
    double sineFrequencyHz() const { return sineFrequencyHz_; }
    bool connected() const { return connected_; }
    bool modeChangePrepared() const { return modeChangePrepared_; }
    // The download into the running program (header 150) waiting for the reload command.
    bool downloadPending() const { return downloadTarget_ == kCurrentProgramTarget && downloadDirty_; }

    Faults &faults() { return config_.faults; }
    const Faults &faults() const { return config_.faults; }
    // Uniform in [0, 1), from the amplifier's own seeded generator (reproducible drills).
    double nextUnit();
    std::uint8_t nextByte();

private:
    CommandOutcome channelCommand(const CommandFrame &f, int channel, int base);
    CommandOutcome linkCommand(const CommandFrame &f);
    CommandOutcome writeBlock(const CommandFrame &f);
    CommandOutcome readBlock(const CommandFrame &f);
    CommandOutcome statusReply() const;
    const RecordImage *programFor(int number) const;
    void loadLive(const RecordImage &record, int programNumber);

    AmplifierConfig config_;
    std::array<RecordImage, kSlotCount> slots_;
    RecordImage live_{};
    int runningProgram_ = 1;
    std::array<bool, 2> muted_{false, false};
    TestMode testMode_ = TestMode::None;
    double sineFrequencyHz_ = 1000.0;
    bool connected_ = false;
    bool modeChangePrepared_ = false;
    // Program writes: the target of the last header block (0 = none) and, for 150, the
    // record being assembled until the reload command takes it over.
    int downloadTarget_ = 0;
    bool downloadDirty_ = false;
    RecordImage download_{};
    std::mt19937 rng_;
};

// The twenty slots the demonstration amplifier comes with: a few named programs, the rest blank.
std::array<RecordImage, kSlotCount> DemoSlots();

// Reads a memory file (exactly 2240 bytes: slots 1..20). Slots that hold a program get their
// slot number as program number, as if they had been written into the amplifier.
bool LoadMemoryImage(const QString &path, std::array<RecordImage, kSlotCount> &records, QString *error);

}  // namespace talvo::sim
