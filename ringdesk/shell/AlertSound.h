#pragma once

#include <QString>

// Plays a sound file without making the caller wait; failures are not the caller's concern.
class AlertSound
{
public:
    virtual ~AlertSound() = default;
    virtual void play(const QString& path) = 0;
};
