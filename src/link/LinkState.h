#pragma once
// What the link shares with everyone: the one outgoing frame, the link flags and the reply
// fields. Owned by the application (inside AppState) and handed out by reference.
//
// Everything here is touched on the main thread only, except `pendingFrames` and
// `sendEnabled`, which the I/O thread reads (and, for pendingFrames, lowers) as frames go out.

#include <atomic>

#include "link/CommandFrame.h"
#include "link/ReplyParser.h"

namespace talvo {

inline constexpr int kYes = 100;  // the program's flags mean yes at 100, no at 0

struct LinkState {
    CommandFrame outFrame;               // address and sub-address stay as connect/search left them

    std::atomic<int> pendingFrames{0};   // queued and not yet finished on the wire
    std::atomic<int> sendEnabled{0};     // 1 = frames may be written; otherwise they are discarded
    int linkActive = 0;                  // 100 = an amplifier is connected
    int unsavedChanges = 0;              // 100 = settings sent since the last save
    int shuttingDown = 0;                // 100 once the main window is closing

    ReplyFields reply;                   // replyAddress, replyData, programBlocks ...

    int portNumber = 1;                  // COM port number 1..255
    int chosenId = 1;                    // the ID last chosen for connecting ("ID:" label)
    int connectWindowId = 1;             // the Connect window's ID field as it stands now
};

}  // namespace talvo
