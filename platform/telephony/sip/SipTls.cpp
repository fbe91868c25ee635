#include "platform/telephony/sip/SipTls.h"

#include "platform/telephony/sip/ReCompat.h"

#include <re.h>

#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <QFile>
#include <QLoggingCategory>

#include <arpa/inet.h>

Q_DECLARE_LOGGING_CATEGORY(sipLog)

// libre exports the OpenSSL context under its TLS object without declaring it.
extern "C" SSL_CTX* tls_openssl_context(const struct tls* tls);

namespace orvane::sip {

namespace {

QString g_refusal; // the loop's thread only

int verifyPeer(int ok, X509_STORE_CTX* store)
{
    auto* ssl =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    if (ssl && SSL_is_server(ssl))
        return 1; // a caller's certificate, if any, decides nothing
    if (!ok) {
        char subject[256] = {};
        if (X509* cert = X509_STORE_CTX_get_current_cert(store))
            X509_NAME_oneline(X509_get_subject_name(cert), subject, sizeof subject);
        g_refusal = QStringLiteral("its TLS certificate (%1) is not trusted: %2")
                        .arg(QString::fromUtf8(subject),
                             QString::fromUtf8(
                                 X509_verify_cert_error_string(X509_STORE_CTX_get_error(store))));
        qCWarning(sipLog).noquote() << "TLS peer refused:" << g_refusal;
    }
    return ok;
}

} // namespace

Result<struct tls*> makeTlsContext(const LineConfig& config, const QString& host)
{
    const QByteArray certificate = QFile::encodeName(config.tlsCertificate);
    if (!config.tlsCertificate.isEmpty() && !QFile::exists(config.tlsCertificate))
        return Status(
            err::InvalidArg,
            QStringLiteral("tls_certificate %1 does not exist").arg(config.tlsCertificate));
    struct tls* tls = nullptr;
    if (tls_alloc(&tls, TLS_METHOD_SSLV23,
                  certificate.isEmpty() ? nullptr : certificate.constData(), nullptr) != 0)
        return Status(err::InvalidArg,
                      config.tlsCertificate.isEmpty()
                          ? QStringLiteral("TLS cannot be set up")
                          : QStringLiteral("tls_certificate %1 holds no certificate and key")
                                .arg(config.tlsCertificate));
    SSL_CTX* ctx = tls_openssl_context(tls);
    if (!config.tlsCa.isEmpty()) {
        if (tls_add_ca(tls, QFile::encodeName(config.tlsCa).constData()) != 0) {
            mem_deref(tls);
            return Status(err::InvalidArg,
                          QStringLiteral("tls_ca %1 holds no certificate").arg(config.tlsCa));
        }
    } else {
        SSL_CTX_set_default_verify_paths(ctx);
    }
    if (!config.tlsVerify) {
        SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
        return tls;
    }
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, verifyPeer);
    if (!host.isEmpty()) {
        X509_VERIFY_PARAM* param = SSL_CTX_get0_param(ctx);
        const QByteArray name = host.toUtf8();
        unsigned char buffer[16];
        const bool numeric = inet_pton(AF_INET, name.constData(), buffer) == 1 ||
                             inet_pton(AF_INET6, name.constData(), buffer) == 1;
        if (numeric)
            X509_VERIFY_PARAM_set1_ip_asc(param, name.constData());
        else
            X509_VERIFY_PARAM_set1_host(param, name.constData(), size_t(name.size()));
    }
    return tls;
}

QString takeTlsRefusal()
{
    return std::exchange(g_refusal, QString());
}

} // namespace orvane::sip
