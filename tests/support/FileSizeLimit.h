#pragma once
// A write failure that even a privileged test run cannot bypass.

#include <csignal>

#include <sys/resource.h>

namespace talvo::testsupport {

// While alive, no file of this process may grow past `bytes`: a write beyond it fails as on a
// full disk (SIGXFSZ ignored, so the write reports EFBIG instead of ending the process). Works
// for root too, unlike a read-only directory.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    bool active() const { return active_; }

private:
    rlimit old_{};
    bool active_ = false;
    void (*oldHandler_)(int) = nullptr;
};

}  // namespace talvo::testsupport
