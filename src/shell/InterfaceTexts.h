#pragma once
// ApplyTexts: writes the interface texts into every window.
//
// Each window owns the routine that writes its own texts and registers it here once, when it
// is created; ApplyTexts then runs every routine in registration order (the main window first,
// because it is created first). Windows added by later work only register themselves: nothing
// here has to know them.

#include <functional>
#include <vector>

#include <QPointer>
#include <QObject>

namespace talvo {

class InterfaceTexts {
public:
    using Writer = std::function<void()>;

    // `owner` scopes the routine: once the owner is destroyed the routine is skipped.
    void Register(QObject *owner, Writer writer);

    // Runs every registered routine. A routine that fails (throws) ends the run without a
    // message; the texts already written stay.
    void ApplyTexts();

    // How many runs have started since start-up; 0 means every window still shows its
    // built-in texts.
    int runCount() const { return runCount_; }

private:
    struct Entry {
        QPointer<QObject> owner;
        Writer writer;
    };
    std::vector<Entry> entries_;
    int runCount_ = 0;
};

}  // namespace talvo
