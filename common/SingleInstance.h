#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QLockFile;
class QSocketNotifier;

// One monitor per user: a second start would fight the first over the modem port and write its
// own settings and event log over the first one's at exit. The first copy holds a lock in the
// user's runtime folder and listens beside it; a later copy finds the lock taken, asks the
// running copy to show its window, and ends without touching anything. A lock left behind by a
// copy that died is recognised by its process id and taken over. The listener is a plain Unix
// socket, so the monitor needs no network library for it.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString& name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // What a later copy is told this one is ("window", "headless"); before claim().
    void setKind(const QByteArray& kind) { m_kind = kind; }
    // True when this is the only copy (it then listens for later ones); false when another copy
    // runs, which has been asked to show itself.
    bool claim();
    // After a claim() that failed: what the running copy said it is; empty for an older one.
    QByteArray runningKind() const { return m_runningKind; }

    // $XDG_RUNTIME_DIR when it is an absolute path, else Qt's per-user runtime folder.
    static QString runtimeFolder();

signals:
    // A later copy was started and ended; the user wants to see this one.
    void activationRequested();

private:
    void listen();
    void acceptAll();
    bool knock();

    QString m_lockPath;
    QString m_socketPath;
    QByteArray m_kind = "window";
    QByteArray m_runningKind;
    std::unique_ptr<QLockFile> m_lock;
    int m_listener = -1;
    QSocketNotifier* m_notifier = nullptr;
};
