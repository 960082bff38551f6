#pragma once

#include <QObject>

class QSocketNotifier;

namespace tw {

// SIGINT, SIGTERM and SIGHUP as one Qt signal on the main thread: the
// handler only writes a byte to a socket pair, which the event loop reads.
// One object per process.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    // Whether the handlers are in place.
    bool isInstalled() const { return m_notifier != nullptr; }

signals:
    void received(int signalNumber);

private:
    void drain();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace tw
