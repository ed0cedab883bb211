#pragma once
// File > Import EQ...: a filter-settings file read into the PEQ bands of one channel or both,
// through the PEQ editor's model, so that the bands land where the editor keeps them (they
// become part of the program) and, with an amplifier connected, go out as the editor sends
// them. Widget-free; the import window only shows the outcome.

#include <vector>

#include <QString>

#include "peq/MeasuredEq.h"

namespace talvo {

struct AppState;
class PeqEditorModel;

enum class EqChannels { Left, Right, Both };

struct EqChannelImport {
    int channel = 0;  // kLeftChannel / kRightChannel
    EqImportPlan plan;
};

struct EqImportOutcome {
    QString path;
    // Why nothing was imported (the file, or the line of it, named); empty when it was.
    QString error;
    std::vector<EqChannelImport> channels;  // left before right
    bool sent = false;                      // the bands went to a connected amplifier
    bool ok() const { return error.isEmpty(); }
};

// Reads `path` and, when it holds something to import, plans each chosen channel from its
// bands now and hands the bands to the editor model. A refused file changes and sends nothing.
EqImportOutcome ImportMeasuredEq(const QString &path, EqChannels which, AppState &state, PeqEditorModel &peq);

// "LEFT" / "RIGHT".
QString EqChannelName(int channel);

}  // namespace talvo
