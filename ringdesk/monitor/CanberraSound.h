#pragma once

#include <QMutex>
#include <QThreadPool>

struct ca_context;

// libcanberra playback on a worker thread of its own: connecting to a sound server can take a
// moment, or never succeed, and the window must not wait for either. A missing file, no sound
// server or a busy device are all silently nothing.
class CanberraSound
{
public:
    CanberraSound();
    ~CanberraSound();

    // Plays a sound file without making the caller wait.
    void play(const QString& path);
    // What plays stops.
    void stop();

private:
    QThreadPool m_worker;
    QMutex m_mutex;
    ca_context* m_context = nullptr;
    bool m_contextFailed = false;
};
