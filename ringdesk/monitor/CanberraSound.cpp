#include "monitor/CanberraSound.h"

#include <QFileInfo>
#include <QMutexLocker>
#include <canberra.h>

CanberraSound::CanberraSound()
{
    m_worker.setMaxThreadCount(1);
}

CanberraSound::~CanberraSound()
{
    // A playback still starting is given a moment; a context that is still in use after that is
    // left to the end of the process rather than destroyed under its user.
    if (!m_worker.waitForDone(2000))
        return;
    if (m_context)
        ca_context_destroy(m_context);
}

void CanberraSound::play(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return;
    const QByteArray file = path.toUtf8();
    m_worker.start([this, file] {
        QMutexLocker lock(&m_mutex);
        if (m_contextFailed)
            return;
        if (!m_context) {
            if (ca_context_create(&m_context) != CA_SUCCESS) {
                m_context = nullptr;
                m_contextFailed = true;
                return;
            }
            ca_context_change_props(m_context, CA_PROP_APPLICATION_NAME, "Ringwatch",
                                    CA_PROP_APPLICATION_ID, "ringdesk", nullptr);
        }
        // Every sound under one id, so that stop() ends whatever plays.
        ca_context_play(m_context, 1, CA_PROP_MEDIA_FILENAME, file.constData(), nullptr);
    });
}

void CanberraSound::stop()
{
    m_worker.start([this] {
        QMutexLocker lock(&m_mutex);
        if (m_context)
            ca_context_cancel(m_context, 1);
    });
}
