#pragma once

#include <QString>

#include <memory>

typedef struct x509_st X509;
typedef struct evp_pkey_st EVP_PKEY;

namespace TfServer {

// A key and a certificate made for one run of the server, for its loopback
// address: nothing secret is kept on disk, and a client that is told to
// accept untrusted certificates accepts it.
class RunCertificate
{
public:
    explicit RunCertificate(const QString &host);
    ~RunCertificate();
    RunCertificate(const RunCertificate &) = delete;
    RunCertificate &operator=(const RunCertificate &) = delete;

    bool isValid() const { return m_certificate && m_key; }
    X509 *certificate() const { return m_certificate; }
    EVP_PKEY *key() const { return m_key; }

private:
    X509 *m_certificate = nullptr;
    EVP_PKEY *m_key = nullptr;
};

} // namespace TfServer
