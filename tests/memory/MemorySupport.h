#pragma once
// What the memory tests share: a memory controller connected to a simulated amplifier, the
// operator's answers scripted, everything it told recorded, and programs to store.

#include <algorithm>
#include <functional>
#include <vector>

#include <QObject>
#include <QString>

#include "link/Link.h"
#include "memory/MemoryController.h"
#include "programs/Windows1252.h"
#include "sim/Amplifier.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"
#include "tests/devices/DeviceTestSupport.h"
#include "tests/link/runtime/RuntimeSupport.h"

namespace talvo::testing {

// A program of its own for a slot: named, and with gains that tell it apart.
inline RecordImage NamedProgram(const char *name, int slot, double leftGain = -3.5)
{
    Program p = DecodeProgram(DefaultProgram());
    p.name = ProgramNameBytes(QString::fromLatin1(name));
    p.inUse = 1;
    p.programNumber = static_cast<std::uint8_t>(slot);
    p.left.gain = leftGain;
    p.right.gain = -1.0;
    p.left.delay = 1.25;
    return EncodeProgram(p);
}

// An amplifier whose slots are all blank but the ones given.
inline sim::AmplifierConfig AmplifierWith(const std::vector<std::pair<int, RecordImage>> &programs, int running = 1)
{
    sim::AmplifierConfig config;
    config.slotRecords.fill(BlankSlotRecord());
    for (const auto &[slot, record] : programs)
        config.slotRecords[slot - 1] = record;
    config.runningProgram = running;
    return config;
}

struct MemoryRig {
    AppState state;
    Link link{state.link};
    ProgramApplier applier{state};
    MemoryController memory{state, link, applier};

    // The operator's script.
    bool answerYes = true;
    bool acceptName = true;
    QString typedName;   // empty: keep the name field
    bool tickMute = false;
    // Everything asked and told.
    std::vector<QString> asked;
    std::vector<QString> told;
    std::vector<ProgramNameState> nameDialogs;  // as each dialog was shown
    int closeRequests = 0;
    std::vector<int> progress;
    std::vector<QString> statuses;  // what the transfers said on the status bar

    explicit MemoryRig(const QString &device, std::uint8_t id = 1)
    {
        link.SetDeviceOverride(device);
        EXPECT_TRUE(link.OpenPort()) << link.LastOpenFailure().toStdString();
        state.link.sendEnabled.store(1);
        state.link.linkActive = kYes;
        state.link.outFrame.address = id;
        MemoryPrompts prompts;
        prompts.ask = [this](const QString &caption, const QString &text, bool) {
            asked.push_back(caption + QStringLiteral(" | ") + text);
            return answerYes;
        };
        prompts.tell = [this](const QString &caption, const QString &text, bool) {
            told.push_back(caption + QStringLiteral(" | ") + text);
        };
        prompts.askName = [this](ProgramNameState &dialog) {
            nameDialogs.push_back(dialog);
            if (!acceptName)
                return;
            if (!typedName.isEmpty())
                dialog.name = typedName;
            if (dialog.volumeEnabled)
                dialog.muteTicked = tickMute;
            dialog.muteOption = dialog.muteTicked ? 1 : 0;
            dialog.nameAccepted = kYes;
        };
        memory.SetPrompts(prompts);
        QObject::connect(&memory, &MemoryController::closeRequested, [this] { ++closeRequests; });
        QObject::connect(&link, &Link::progressChanged, [this](int p) { progress.push_back(p); });
        QObject::connect(&link, &Link::statusText, [this](int panel, const QString &text) {
            if (panel == kMemoryStatusPanel)
                statuses.push_back(text);
        });
    }

    // Lets the last frames of a sequence leave the line before the record is looked at.
    void drain() { EXPECT_TRUE(link.WaitForIdle(5000)); }
};

// The frames with this command, in order.
inline std::vector<sim::FrameRecord> FramesWith(const std::vector<sim::FrameRecord> &frames, int command)
{
    std::vector<sim::FrameRecord> out;
    std::copy_if(frames.begin(), frames.end(), std::back_inserter(out),
                 [command](const sim::FrameRecord &f) { return f.frame.command == command; });
    return out;
}

// Replies stop for the frames `silent` picks out (looked at as each frame is recorded, before
// the amplifier answers it), and go on for every other frame.
inline void SilenceWhere(testsupport::SimLine &line, std::function<bool(const CommandFrame &, std::size_t index)> silent)
{
    sim::Bus &bus = line.bus();
    bus.record().sink = [&bus, silent](const QJsonObject &) {
        const auto &frames = bus.record().frames;
        if (!frames.empty())
            bus.amplifier(0).faults().noAnswer = silent(frames.back().frame, frames.size() - 1);
    };
}

// The clock for memory sequences: a late answer would mean a second request, and the tests
// count requests; the clock's holds keep every answer in its window (see kProcedureSpeed).
inline double MemorySpeed()
{
    return kProcedureSpeed;
}

}  // namespace talvo::testing
