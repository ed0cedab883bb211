#include "sim/Amplifier.h"

#include <algorithm>
#include <cstring>

#include "memory/MemoryFile.h"

namespace talvo::sim {
namespace {

// Channel block offsets inside the record (left at 16, right at 64).
constexpr int kChannelOffset[2] = {16, 64};
constexpr int kBandOffset = 0;       // 8 bytes per band
constexpr int kLowPassOffset = 24;
constexpr int kHighPassOffset = 28;
constexpr int kGainOffset = 32;
constexpr int kDelayOffset = 35;
constexpr int kThresholdOffset = 37;
constexpr int kAttackOffset = 38;
constexpr int kPhaseOffset = 40;
constexpr int kHoldOffset = 41;
constexpr int kDecayOffset = 43;
constexpr int kModeOffset = 10;
constexpr int kInUseOffset = 11;
constexpr int kProgramNumberOffset = 12;

CommandOutcome refuse(const QString &why)
{
    CommandOutcome out;
    out.accepted = false;
    out.note = why;
    return out;
}

int word(const CommandFrame &f, int i)  // data[i], data[i + 1] (0-based), high byte first
{
    return f.data[i] * 256 + f.data[i + 1];
}

bool isSign(std::uint8_t b)
{
    return b == kSignPositive || b == kSignNegative;
}

void put(RecordImage &r, int offset, const CommandFrame &f, int count)
{
    std::copy_n(f.data.begin(), count, r.begin() + offset);
}

// The echo that answers every command that carries no data of its own: the command code and
// the data bytes as received, padded with zeros.
AmplifierReply echo(std::uint8_t id, const CommandFrame &f)
{
    AmplifierReply r;
    r.id = id;
    r.command = f.command;
    std::copy_n(f.data.begin(), std::min<int>(f.length, kReplyDataSize), r.data.begin());
    return r;
}

QString hz(int whole, int hundredths)
{
    return QStringLiteral("%1.%2 Hz").arg(whole).arg(hundredths, 2, 10, QLatin1Char('0'));
}

}  // namespace

std::uint8_t AmplifierReply::closingByte() const
{
    std::uint8_t sum = static_cast<std::uint8_t>(id + kReplyDataSize + command);
    for (std::uint8_t b : data)
        sum = static_cast<std::uint8_t>(sum + b);
    return sum;
}

QByteArray AmplifierReply::wireBytes() const
{
    QByteArray out;
    out.reserve(kReplyFrameSize);
    for (std::uint8_t b : kReplySync)
        out.append(static_cast<char>(b));
    out.append(static_cast<char>(id));
    out.append(static_cast<char>(kReplyDataSize));
    out.append(static_cast<char>(command));
    for (std::uint8_t b : data)
        out.append(static_cast<char>(b));
    out.append(static_cast<char>(closingByte()));
    return out;
}

AmplifierConfig::AmplifierConfig() : slotRecords(DemoSlots()) {}

Amplifier::Amplifier(const AmplifierConfig &config)
    : config_(config), slots_(config.slotRecords)
{
    const std::uint32_t seed = config_.faults.seed != 0
                                   ? config_.faults.seed
                                   : (std::uint32_t(config_.id) << 16) ^ config_.subAddress ^ 0x7A1B0u;
    rng_.seed(seed);

    const int n = config_.runningProgram;
    if (n >= 1 && n <= kSlotCount && slot(n)[kInUseOffset] != 0)
        loadLive(slot(n), n);
    else
        loadLive(DefaultProgram(), n);
    runningProgram_ = config_.faults.program21 ? kReservedProgram : n;
}

bool Amplifier::isAddressedBy(const CommandFrame &frame) const
{
    if (frame.address != config_.id)
        return false;
    const std::uint16_t sub = static_cast<std::uint16_t>(frame.subAddressHigh * 256 + frame.subAddressLow);
    return sub == 0 || sub == config_.subAddress;
}

double Amplifier::nextUnit()
{
    return static_cast<double>(rng_()) / 4294967296.0;
}

std::uint8_t Amplifier::nextByte()
{
    return static_cast<std::uint8_t>(rng_() >> 24);
}

std::array<std::uint8_t, 6> Amplifier::liveGains() const
{
    std::array<std::uint8_t, 6> out{};
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < 3; ++i)
            out[3 * c + i] = live_[kChannelOffset[c] + kGainOffset + i];
        // Muted outputs report the mute gain, so that a program reading the live gains shows
        // the channel muted as it really is.
        if (muted_[c]) {
            out[3 * c] = 100;
            out[3 * c + 1] = 0;
            out[3 * c + 2] = kSignNegative;
        }
    }
    return out;
}

void Amplifier::loadLive(const RecordImage &record, int programNumber)
{
    live_ = record;
    if (programNumber >= 1 && programNumber <= 255)
        live_[kProgramNumberOffset] = static_cast<std::uint8_t>(programNumber);
}

CommandOutcome Amplifier::handle(const CommandFrame &f)
{
    // The codes of one channel's editors; the right channel's are the same plus 96.
    static constexpr std::uint8_t kChannelCodes[] = {2, 3, 4, 5, 6, 10, 15, 20, 40, 60, 61, 94, 95, 96, 97};
    const auto isChannelCode = [](int code) {
        return std::find(std::begin(kChannelCodes), std::end(kChannelCodes), code) != std::end(kChannelCodes);
    };

    if (f.length > kMaxFrameData)
        return refuse(QStringLiteral("more data bytes than any command has"));

    const int cmd = f.command;
    CommandOutcome out;
    if (isChannelCode(cmd))
        out = channelCommand(f, 0, cmd);
    else if (cmd >= 96 && isChannelCode(cmd - 96))
        out = channelCommand(f, 1, cmd - 96);
    else if (cmd == 0) {
        if (f.length != 3 || f.data[2] > 99 || word(f, 0) < 1 || word(f, 0) > 20200)
            return refuse(QStringLiteral("sine frequency: needs 3 bytes, 1..20200 Hz, hundredths 0..99"));
        sineFrequencyHz_ = word(f, 0) + f.data[2] / 100.0;
        out.accepted = true;
        out.note = QStringLiteral("sine frequency ") + hz(word(f, 0), f.data[2]);
    } else if (cmd == 195) {
        if (f.length != 1 || f.data[0] > 2)
            return refuse(QStringLiteral("mode: needs 1 byte 0..2"));
        out.accepted = true;
        if (f.data[0] == static_cast<int>(Mode::Bridge) && !config_.bridgeAvailable) {
            out.note = QStringLiteral("bridge mode not available; mode unchanged");
        } else {
            live_[kModeOffset] = f.data[0];
            static const char *const names[] = {"Stereo", "Bridge", "Mono"};
            out.note = QStringLiteral("mode ") + QLatin1String(names[f.data[0]]);
        }
        // A mode change ends any test signal and completes a prepared change.
        testMode_ = TestMode::None;
        modeChangePrepared_ = false;
    } else if (cmd >= 196 && cmd <= 199) {
        if (f.length != 1 || f.data[0] != 100)
            return refuse(QStringLiteral("command %1: needs 1 byte 100").arg(cmd));
        out.accepted = true;
        if (cmd == 196) {
            testMode_ = TestMode::Sine;
            out.note = QStringLiteral("sine test");
        } else if (cmd == 197) {
            testMode_ = TestMode::Noise;
            out.note = QStringLiteral("noise test");
        } else if (cmd == 198) {
            // As the program's windows show a mode change: every setting of the default
            // program, both inputs muted at -60.0 dB; the header (and so the mode, until 195)
            // stays.
            const RecordImage def = DefaultProgram();
            std::copy(def.begin() + kChannelOffset[0], def.end(), live_.begin() + kChannelOffset[0]);
            for (int c = 0; c < 2; ++c) {
                const int gain = kChannelOffset[c] + kGainOffset;
                live_[gain] = 60;
                live_[gain + 1] = 0;
                live_[gain + 2] = kSignNegative;
            }
            muted_ = {true, true};
            modeChangePrepared_ = true;
            out.note = QStringLiteral("mode change prepared: default program, inputs muted at -60.0 dB");
        } else {
            out.note = QStringLiteral("mode application acknowledged");
        }
    } else if (cmd == 200) {
        if (f.length != 1 || f.data[0] < 1 || f.data[0] > kSlotCount)
            return refuse(QStringLiteral("delete: needs 1 byte, slot 1..20"));
        const int n = f.data[0];
        slots_[n - 1] = BlankSlotRecord();
        if (downloadTarget_ == n)
            downloadTarget_ = 0;
        out.accepted = true;
        out.note = QStringLiteral("slot %1 deleted").arg(n);
    } else if (cmd == 220) {
        out = linkCommand(f);
    } else if (cmd >= 221 && cmd <= 227) {
        out = writeBlock(f);
    } else if (cmd >= 231 && cmd <= 238) {
        return readBlock(f);
    } else if (cmd == 239) {
        if (f.length != 1 || f.data[0] != 100)
            return refuse(QStringLiteral("status request: needs 1 byte 100"));
        return statusReply();
    } else {
        return refuse(QStringLiteral("unknown command %1").arg(cmd));
    }

    if (out.accepted)
        out.reply = echo(config_.id, f);
    return out;
}

CommandOutcome Amplifier::channelCommand(const CommandFrame &f, int channel, int base)
{
    const int ch = kChannelOffset[channel];
    const QString side = channel == 0 ? QStringLiteral("left ") : QStringLiteral("right ");
    CommandOutcome out;
    out.accepted = true;
    switch (base) {
    case 2: case 3: case 4:
        if (f.length != 3 || f.data[1] > 99 || !isSign(f.data[2]))
            return refuse(side + QStringLiteral("gain: needs 3 bytes, hundredths 0..99, sign 0xAA or 0x55"));
        put(live_, ch + kGainOffset, f, 3);
        muted_[channel] = false;  // a gain sent by the operator replaces the mute of connecting
        out.note = side + QStringLiteral("gain %1%2.%3 dB")
                              .arg(f.data[2] == kSignNegative ? "-" : "")
                              .arg(f.data[0])
                              .arg(f.data[1], 2, 10, QLatin1Char('0'));
        break;
    case 5: case 10: case 15: {
        if (f.length != 8 || f.data[2] > 99 || f.data[4] > 99 || f.data[7] > 99)
            return refuse(side + QStringLiteral("PEQ band: needs 8 bytes, hundredths 0..99"));
        const int band = base / 5;
        put(live_, ch + kBandOffset + 8 * (band - 1), f, 8);
        out.note = side + QStringLiteral("PEQ band %1 at ").arg(band) + hz(word(f, 0), f.data[2]);
        break;
    }
    case 6: {
        if (f.length != 1 || f.data[0] != 0)
            return refuse(side + QStringLiteral("PEQ reset: needs 1 byte 0"));
        const RecordImage def = DefaultProgram();
        std::copy_n(def.begin() + kChannelOffset[0], 24, live_.begin() + ch);
        out.note = side + QStringLiteral("PEQ reset");
        break;
    }
    case 20: case 40: {
        const int freq100 = word(f, 1) * 100 + f.data[3];
        if (f.length != 4 || f.data[0] > 15 || f.data[3] > 99 || freq100 < 1000 || freq100 > 2020000)
            return refuse(side + QStringLiteral("crossover: needs 4 bytes, slope 0..15, 10..20200 Hz"));
        put(live_, ch + (base == 20 ? kLowPassOffset : kHighPassOffset), f, 4);
        out.note = side + (base == 20 ? QStringLiteral("low-pass ") : QStringLiteral("high-pass "))
                   + hz(word(f, 1), f.data[3]) + QStringLiteral(" slope %1").arg(f.data[0]);
        break;
    }
    case 60:
        if (f.length != 2 || f.data[1] > 99 || f.data[0] * 100 + f.data[1] > 700)
            return refuse(side + QStringLiteral("delay: needs 2 bytes, 0.00..7.00 ms"));
        put(live_, ch + kDelayOffset, f, 2);
        out.note = side + QStringLiteral("delay %1.%2 ms").arg(f.data[0]).arg(f.data[1], 2, 10, QLatin1Char('0'));
        break;
    case 61:
        if (f.length != 1 || f.data[0] > kLimiterOff)
            return refuse(side + QStringLiteral("limiter threshold: needs 1 byte 0..65"));
        live_[ch + kThresholdOffset] = f.data[0];
        out.note = f.data[0] == kLimiterOff ? side + QStringLiteral("limiter off")
                                            : side + QStringLiteral("limiter threshold %1").arg(f.data[0]);
        break;
    case 94: case 97:
        if (f.length != 2 || word(f, 0) < 10 || word(f, 0) > 1000)
            return refuse(side + QStringLiteral("limiter rate: needs 2 bytes, 10..1000 dB/s"));
        put(live_, ch + (base == 94 ? kAttackOffset : kDecayOffset), f, 2);
        out.note = side + (base == 94 ? QStringLiteral("attack ") : QStringLiteral("decay "))
                   + QStringLiteral("%1 dB/s").arg(word(f, 0));
        break;
    case 96:
        if (f.length != 2 || word(f, 0) > 100)
            return refuse(side + QStringLiteral("limiter hold: needs 2 bytes, 0..100 ms"));
        put(live_, ch + kHoldOffset, f, 2);
        out.note = side + QStringLiteral("hold %1 ms").arg(word(f, 0));
        break;
    case 95:
        if (f.length != 1 || (f.data[0] != 0 && f.data[0] != 180))
            return refuse(side + QStringLiteral("phase: needs 1 byte, 0 or 180"));
        live_[ch + kPhaseOffset] = f.data[0];
        out.note = side + (f.data[0] == 180 ? QStringLiteral("phase inverted") : QStringLiteral("phase normal"));
        break;
    default:
        return refuse(QStringLiteral("unknown command %1").arg(f.command));
    }
    return out;
}

CommandOutcome Amplifier::linkCommand(const CommandFrame &f)
{
    CommandOutcome out;
    if (f.length == 2 && f.data[0] == 140) {
        const int n = f.data[1];
        if (n < 1 || n > kSlotCount)
            return refuse(QStringLiteral("select: slot 1..20"));
        out.accepted = true;
        if (slot(n)[kInUseOffset] == 0) {
            out.note = QStringLiteral("select: slot %1 is blank; nothing changed").arg(n);
        } else {
            loadLive(slot(n), n);
            runningProgram_ = n;
            downloadDirty_ = false;  // a download meant for the program that ran before
            out.note = QStringLiteral("program %1 selected").arg(n);
        }
        return out;
    }
    if (f.length != 1)
        return refuse(QStringLiteral("link command: needs 1 byte (2 for select)"));

    out.accepted = true;
    switch (f.data[0]) {
    case 80:
        connected_ = false;
        out.note = QStringLiteral("disconnected");
        break;
    case 100:
        connected_ = true;
        out.note = QStringLiteral("connected");
        break;
    case 101:
        connected_ = true;
        muted_ = {true, true};
        out.note = QStringLiteral("connected, outputs muted");
        break;
    case 90: case 110:
        out.note = QStringLiteral("search probe");
        break;
    case 88:
        // Reload: a finished download into the running program takes over now; otherwise the
        // running program is read again from its slot, dropping live edits.
        if (downloadTarget_ == kCurrentProgramTarget && downloadDirty_) {
            if (runningProgram_ >= 1 && runningProgram_ <= kSlotCount) {
                download_[kProgramNumberOffset] = static_cast<std::uint8_t>(runningProgram_);
                slots_[runningProgram_ - 1] = download_;
            }
            loadLive(download_, runningProgram_);
            downloadDirty_ = false;
            downloadTarget_ = 0;
            out.note = QStringLiteral("reload: download now runs as program %1").arg(runningProgram_);
        } else if (runningProgram_ >= 1 && runningProgram_ <= kSlotCount
                   && slot(runningProgram_)[kInUseOffset] != 0) {
            loadLive(slot(runningProgram_), runningProgram_);
            out.note = QStringLiteral("reload: program %1 read again").arg(runningProgram_);
        } else {
            out.note = QStringLiteral("reload: nothing to load");
        }
        break;
    default:
        return refuse(QStringLiteral("link command: unknown data %1").arg(f.data[0]));
    }
    return out;
}

CommandOutcome Amplifier::writeBlock(const CommandFrame &f)
{
    if (f.length != kRecordBlockSize)
        return refuse(QStringLiteral("program write: needs 16 bytes"));
    const int k = f.command - 220;  // block 1 is the header
    CommandOutcome out;
    if (k == 1) {
        const int target = f.data[12];
        if (target == kCurrentProgramTarget) {
            download_ = live_;
            downloadDirty_ = true;
        } else if (target < 1 || target > kSlotCount) {
            return refuse(QStringLiteral("program write header: target %1 is not 1..20 or 150").arg(target));
        }
        downloadTarget_ = target;
    } else if (downloadTarget_ == 0) {
        return refuse(QStringLiteral("program write block %1 without a header").arg(k));
    }

    RecordImage &dest = downloadTarget_ == kCurrentProgramTarget ? download_ : slots_[downloadTarget_ - 1];
    put(dest, kRecordBlockSize * (k - 1), f, kRecordBlockSize);
    if (downloadTarget_ == kCurrentProgramTarget)
        downloadDirty_ = true;
    out.accepted = true;
    out.note = downloadTarget_ == kCurrentProgramTarget
                   ? QStringLiteral("block %1 of the download into the running program").arg(k)
                   : QStringLiteral("block %1 written into slot %2").arg(k).arg(downloadTarget_);
    return out;
}

const RecordImage *Amplifier::programFor(int number) const
{
    if (number >= 1 && number <= kSlotCount)
        return &slots_[number - 1];
    if (number == kLiveProgram || (number == kReservedProgram && runningProgram_ == kReservedProgram))
        return &live_;
    return nullptr;
}

CommandOutcome Amplifier::readBlock(const CommandFrame &f)
{
    const int k = f.command - 230;
    if (f.length != 1)
        return refuse(QStringLiteral("block request: needs 1 byte"));
    const RecordImage *record = programFor(f.data[0]);
    if (!record)
        return refuse(QStringLiteral("block request: no program %1").arg(f.data[0]));

    CommandOutcome out;
    out.accepted = true;
    AmplifierReply r;
    r.id = config_.id;
    r.command = f.command;
    if (k <= kRecordBlockCount) {
        r.data = RecordBlock(*record, k);
    } else if (record == &live_) {
        const auto gains = liveGains();
        std::copy(gains.begin(), gains.end(), r.data.begin());
    } else {
        // A stored program's block 8 carries the gains stored with it.
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < 3; ++i)
                r.data[3 * c + i] = (*record)[kChannelOffset[c] + kGainOffset + i];
    }
    out.reply = r;
    out.note = QStringLiteral("block %1 of program %2").arg(k).arg(f.data[0]);
    return out;
}

CommandOutcome Amplifier::statusReply() const
{
    // Bytes the program reads: 3 running program, 7 bridge available, 9 and 10 firmware.
    // The others report what a technician would want to see: 1 mode, 2 test mode,
    // 4 connected (100), 5 and 6 left and right outputs muted (100).
    AmplifierReply r;
    r.id = config_.id;
    r.command = 239;
    r.data[0] = live_[kModeOffset];
    r.data[1] = static_cast<std::uint8_t>(testMode_);
    r.data[2] = static_cast<std::uint8_t>(runningProgram_);
    r.data[3] = connected_ ? 100 : 0;
    r.data[4] = muted_[0] ? 100 : 0;
    r.data[5] = muted_[1] ? 100 : 0;
    r.data[6] = config_.bridgeAvailable ? 1 : 0;
    r.data[8] = config_.firmwareMajor;
    r.data[9] = config_.firmwareMinor;
    CommandOutcome out;
    out.accepted = true;
    out.reply = r;
    out.note = QStringLiteral("status: program %1").arg(runningProgram_);
    return out;
}

std::array<RecordImage, kSlotCount> DemoSlots()
{
    std::array<RecordImage, kSlotCount> records;
    records.fill(BlankSlotRecord());

    const auto named = [](const char *name, int slotNumber) {
        Program p = DecodeProgram(DefaultProgram());
        std::memcpy(p.name.data(), name, kNameSize);
        p.programNumber = static_cast<std::uint8_t>(slotNumber);
        p.headerTail = {1, 1, 1};  // as the header block of a program write leaves it
        for (ChannelSettings *c : {&p.left, &p.right})
            c->gain = 0.0;
        return p;
    };

    Program main = named("Main Stage", 1);
    for (ChannelSettings *c : {&main.left, &main.right}) {
        c->highPass = {5, 35.1};
        c->peq[1].gain = -2.5;
        c->peq[1].q = 1.41;
        c->limitThreshold = 41;
        c->attack = 100;
        c->hold = 20;
        c->decay = 200;
    }
    records[0] = EncodeProgram(main);

    Program sub = named("Sub Bass  ", 2);
    sub.mode = static_cast<std::uint8_t>(Mode::Mono);
    sub.left.lowPass = {13, 120.0};
    sub.left.highPass = {3, 35.1};
    sub.left.gain = -3.0;
    records[1] = EncodeProgram(sub);

    Program monitor = named("Monitor   ", 3);
    for (ChannelSettings *c : {&monitor.left, &monitor.right}) {
        c->highPass = {1, 80.3};
        c->peq[2].gain = -4.5;
        c->peq[2].q = 2.0;
        c->limitThreshold = 30;
    }
    records[2] = EncodeProgram(monitor);

    Program speech = named("Speech    ", 4);
    for (ChannelSettings *c : {&speech.left, &speech.right}) {
        c->highPass = {7, 120.0};
        c->lowPass = {7, 2000.0};
        c->gain = -6.0;
    }
    speech.right.delay = 1.25;
    speech.right.phase = 180;
    records[3] = EncodeProgram(speech);
    return records;
}

bool LoadMemoryImage(const QString &path, std::array<RecordImage, kSlotCount> &records, QString *error)
{
    MemoryImage image;
    const FileResult read = ReadMemoryFile(path, image);
    if (!read) {
        if (error)
            *error = read.message;
        return false;
    }
    for (int n = 0; n < kSlotCount; ++n) {
        records[n] = image[n];
        if (records[n][kInUseOffset] != 0)
            records[n][kProgramNumberOffset] = static_cast<std::uint8_t>(n + 1);
    }
    return true;
}

}  // namespace talvo::sim
