#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QString>

// The certificate and key the web page is served with over TLS, read from their files and
// checked to belong together: a mismatch would fail every handshake without a word.
struct TlsIdentity
{
    QSslCertificate certificate;
    QSslKey key;

    // False, and why, when the files cannot be read or do not belong together.
    static bool load(const QString& certFile, const QString& keyFile, TlsIdentity* identity,
                     QString* problem);
};
