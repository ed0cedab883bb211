#pragma once
// A repeating timer whose interval is given in nominal milliseconds of talvo::Clock, so that
// the editors' resend sequences run at the clock's speed (sped up in tests, real time in the
// program). Runs on the thread that created it, like every editor.

#include <QObject>

class QTimer;

namespace talvo {

class EditorTimer : public QObject {
    Q_OBJECT
public:
    explicit EditorTimer(double intervalMs, QObject *parent = nullptr);

    double intervalMs() const { return intervalMs_; }
    // Starts (or restarts) ticking every intervalMs nominal milliseconds.
    void start();
    void stop();
    bool isActive() const;

signals:
    void timeout();

private:
    double intervalMs_;
    QTimer *timer_;
};

}  // namespace talvo
