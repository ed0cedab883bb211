#pragma once
// A repeating timer whose interval is given in nominal milliseconds of talvo::Clock, so that
// the editors' resend sequences run at the clock's speed (sped up in tests, real time in the
// program). Each tick falls due on the nominal clock: while the clock holds (a late thread in a
// test), the ticks wait with the frames they are meant to follow. Runs on the thread that
// created it, like every editor.

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
    void arm();
    void fired();

    double intervalMs_;
    double nextMs_ = 0;  // the next tick, in nominal milliseconds
    QTimer *timer_;
};

}  // namespace talvo
