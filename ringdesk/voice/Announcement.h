#pragma once

#include <QList>
#include <QString>

// What a blocked caller hears after the special information tone: a sound file of the user's, or
// the spoken default. Telephone audio is 8000 samples a second, mono.
namespace Announcement {

// The longest announcement played: a file longer than this is cut.
constexpr int mostSeconds = 60;

// The samples of any sound file libsndfile reads, mixed to mono and converted to 8000 Hz; empty,
// with what went wrong in `error`, when it cannot be read or holds no sound.
QList<qint16> read(const QString& path, QString* error);
// How long a sound file plays, in seconds; -1 when libsndfile cannot read it.
double seconds(const QString& path);
// The spoken default in `language` (ISO 639-1): "The number you have reached is not in service",
// in English where it has no words of its own.
QString defaultText(const QString& language);
// The answering machine's spoken greeting: "Nobody can take your call. Please leave a message
// after the tone.", in English where the language has no words of its own.
QString greetingText(const QString& language);
// The human check's question, "Press 5 to reach us.", and its thanks once the key came: "Thank
// you. You can call again now. Please leave a message after the tone."
QString checkText(const QString& language, QChar key);
QString checkedText(const QString& language);

} // namespace Announcement
