#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a Qt signal on the main thread, so the
// server can stop accepting, let the requests in flight finish and close the
// database cleanly; and SIGHUP into another, for picking up changed settings
// and schema while serving. One instance per program.
class TerminationWatcher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TerminationWatcher)

public:
    explicit TerminationWatcher(QObject* parent = nullptr);
    ~TerminationWatcher() override;

    // Takes the three signals over from whoever handled them before (the
    // Firebird client sets handlers of its own at its first attachment).
    void install();

signals:
    void terminationRequested();
    void reloadRequested();

private:
    QSocketNotifier* m_notifier = nullptr;
};
