#include "common/PasswordHash.h"

#include <sodium.h>

namespace PasswordHash {

namespace {

bool ready()
{
    static const bool initialised = sodium_init() >= 0;
    return initialised;
}

} // namespace

QString make(const QString& password)
{
    if (!ready())
        return QString();
    const QByteArray bytes = password.toUtf8();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, bytes.constData(), quint64(bytes.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return QString();
    return QString::fromLatin1(hash);
}

bool matches(const QString& password, const QString& hash)
{
    if (!ready() || !hash.startsWith(QLatin1String("$argon2")))
        return false;
    const QByteArray bytes = password.toUtf8();
    return crypto_pwhash_str_verify(hash.toLatin1().constData(), bytes.constData(),
                                    quint64(bytes.size())) == 0;
}

QByteArray randomBytes(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    if (ready())
        randombytes_buf(bytes.data(), size_t(count));
    return bytes;
}

} // namespace PasswordHash
