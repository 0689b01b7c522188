#include "certificate.h"

#include <QRegularExpression>

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace TfServer {

RunCertificate::RunCertificate(const QString &host)
{
    m_key = EVP_EC_gen("P-256");
    m_certificate = X509_new();
    if (!m_key || !m_certificate)
        return;
    bool ok = X509_set_version(m_certificate, 2) == 1;
    unsigned char serial[16];
    ok = ok && RAND_bytes(serial, sizeof serial) == 1;
    serial[0] &= 0x7f; // a positive number
    BIGNUM *number = BN_bin2bn(serial, sizeof serial, nullptr);
    ok = ok && number && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(m_certificate));
    BN_free(number);
    // Valid from a day back, so that a clock a little behind does not refuse it.
    ok = ok && X509_gmtime_adj(X509_getm_notBefore(m_certificate), -24 * 3600) &&
         X509_gmtime_adj(X509_getm_notAfter(m_certificate), 30L * 24 * 3600) &&
         X509_set_pubkey(m_certificate, m_key) == 1;
    X509_NAME *name = X509_get_subject_name(m_certificate);
    const QByteArray commonName = host.toUtf8();
    ok = ok &&
         X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                    reinterpret_cast<const unsigned char *>(commonName.constData()),
                                    -1, -1, 0) == 1 &&
         X509_set_issuer_name(m_certificate, name) == 1;
    const bool isAddress = QRegularExpression("^[0-9.]+$|:").match(host).hasMatch();
    const QByteArray altName =
        (isAddress ? "IP:" + commonName : "DNS:" + commonName) + ",DNS:localhost";
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, m_certificate, m_certificate, nullptr, nullptr, 0);
    X509_EXTENSION *extension =
        X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, altName.constData());
    ok = ok && extension && X509_add_ext(m_certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    ok = ok && X509_sign(m_certificate, m_key, EVP_sha256()) > 0;
    if (!ok) {
        X509_free(m_certificate);
        m_certificate = nullptr;
    }
}

RunCertificate::~RunCertificate()
{
    X509_free(m_certificate);
    EVP_PKEY_free(m_key);
}

} // namespace TfServer
