#pragma once

#include <QByteArray>
#include <QString>

// The web page's password, kept only as a salted, slow hash (Argon2id, libsodium's string form
// "$argon2id$v=19$m=…"), never as itself. Both programs set it: `ringdesk --set-web-password`
// and ringdesk-config.
namespace PasswordHash {

// A shorter one is guessed in minutes even at five tries a quarter of an hour from each of many
// addresses.
constexpr int minimumLength = 8;

// The hash of a password; empty when the library cannot make one (out of memory).
QString make(const QString& password);
// Whether the password is the one the hash was made of. Takes tens of milliseconds on purpose:
// run it off the event loop.
bool matches(const QString& password, const QString& hash);
// Random bytes from the operating system's generator, for session tokens.
QByteArray randomBytes(int count);

} // namespace PasswordHash
