#include "web/TlsIdentity.h"

#include <QFile>

#include <openssl/pem.h>
#include <openssl/x509.h>

namespace {

bool keyFits(const QSslCertificate& certificate, const QSslKey& key)
{
    const QByteArray certPem = certificate.toPem();
    const QByteArray keyPem = key.toPem();
    BIO* certBio = BIO_new_mem_buf(certPem.constData(), int(certPem.size()));
    BIO* keyBio = BIO_new_mem_buf(keyPem.constData(), int(keyPem.size()));
    X509* x509 = certBio ? PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr) : nullptr;
    EVP_PKEY* pkey = keyBio ? PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr) : nullptr;
    const bool fits = x509 && pkey && X509_check_private_key(x509, pkey) == 1;
    EVP_PKEY_free(pkey);
    X509_free(x509);
    BIO_free(keyBio);
    BIO_free(certBio);
    return fits;
}

} // namespace

bool TlsIdentity::load(const QString& certFile, const QString& keyFile, TlsIdentity* identity,
                       QString* problem)
{
    QFile cert(certFile);
    QFile key(keyFile);
    const QSslCertificate certificate(cert.open(QIODevice::ReadOnly) ? cert.readAll() : "");
    const QByteArray keyBytes = key.open(QIODevice::ReadOnly) ? key.readAll() : "";
    QSslKey privateKey(keyBytes, QSsl::Rsa);
    if (privateKey.isNull())
        privateKey = QSslKey(keyBytes, QSsl::Ec);
    if (certificate.isNull() || privateKey.isNull()) {
        *problem = QStringLiteral("the certificate %1 or the key %2 cannot be read")
                       .arg(certFile, keyFile);
        return false;
    }
    if (!keyFits(certificate, privateKey)) {
        *problem = QStringLiteral("the key %1 does not belong to the certificate %2")
                       .arg(keyFile, certFile);
        return false;
    }
    identity->certificate = certificate;
    identity->key = privateKey;
    return true;
}
