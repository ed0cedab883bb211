#include "shell/InterfaceTexts.h"

#include <exception>

namespace talvo {

void InterfaceTexts::Register(QObject *owner, Writer writer) {
    entries_.push_back({QPointer<QObject>(owner), std::move(writer)});
}

void InterfaceTexts::ApplyTexts() {
    ++runCount_;
    // Index loop: a routine may register another window while it runs.
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (!entries_[i].owner) continue;
        try {
            entries_[i].writer();
        } catch (const std::exception &) {
            return;
        } catch (...) {
            return;
        }
    }
}

}  // namespace talvo
