#include "database/tlsproblem.h"

#include <QCoreApplication>
#include <gnutls/x509.h>

TTlsProblem TlsProblemOfStatus(unsigned status) {
    if (status & GNUTLS_CERT_REVOKED)
        return TTlsProblem::Revoked;
    if (status & GNUTLS_CERT_EXPIRED)
        return TTlsProblem::Expired;
    if (status & GNUTLS_CERT_NOT_ACTIVATED)
        return TTlsProblem::NotYetValid;
    if (status & (GNUTLS_CERT_SIGNER_NOT_FOUND | GNUTLS_CERT_SIGNER_NOT_CA))
        return TTlsProblem::Untrusted;
    if (status & GNUTLS_CERT_INSECURE_ALGORITHM)
        return TTlsProblem::Insecure;
    if (status & GNUTLS_CERT_UNEXPECTED_OWNER)
        return TTlsProblem::WrongName;
    return TTlsProblem::Untrusted;
}

QString TlsProblemText(TTlsProblem AProblem, const QString& AServer, const QString& ADetail) {
    switch (AProblem) {
    case TTlsProblem::NoEncryption:
        return QCoreApplication::translate("Tls", "Сервер не поддерживает шифрование.");
    case TTlsProblem::LoginOnly:
        return QCoreApplication::translate(
            "Tls", "Сервер (или кто-то между ним и Dervel) ответил, что шифрует только вход. "
                   "Шифрование обязательно, поэтому соединение закрыто до входа: ни пароль, ни "
                   "запросы не отправлены.");
    case TTlsProblem::Untrusted:
        return QCoreApplication::translate(
            "Tls", "Сертификат сервера не заверен доверенным центром сертификации.");
    case TTlsProblem::Expired:
        return QCoreApplication::translate("Tls", "Срок действия сертификата сервера истёк.");
    case TTlsProblem::NotYetValid:
        return QCoreApplication::translate("Tls", "Сертификат сервера ещё не действует.");
    case TTlsProblem::WrongName:
        return QCoreApplication::translate("Tls", "Сертификат сервера выдан не для «%1».")
            .arg(AServer);
    case TTlsProblem::Revoked:
        return QCoreApplication::translate("Tls", "Сертификат сервера отозван.");
    case TTlsProblem::Insecure:
        return QCoreApplication::translate("Tls",
                                           "Сертификат сервера подписан ненадёжным алгоритмом.");
    case TTlsProblem::CaFile:
        return QCoreApplication::translate("Tls",
                                           "Не удалось прочитать файл центров сертификации «%1».")
            .arg(ADetail);
    case TTlsProblem::NoStrict:
        return QCoreApplication::translate(
            "Tls", "Сервер прервал согласование TDS 8.0: шифрование Strict требует SQL Server "
                   "2022 или Azure SQL.");
    case TTlsProblem::Handshake:
        return QCoreApplication::translate("Tls", "Согласование TLS не удалось: %1").arg(ADetail);
    case TTlsProblem::Unreachable:
        return QCoreApplication::translate("Tls", "Не удалось соединиться с «%1»: %2")
            .arg(AServer, ADetail);
    case TTlsProblem::NoInstance:
        return QCoreApplication::translate(
                   "Tls", "Служба SQL Server Browser на «%1» не назвала порт экземпляра «%2».")
            .arg(AServer, ADetail);
    case TTlsProblem::Timeout:
        return QCoreApplication::translate("Tls", "«%1» не ответил за время ожидания подключения.")
            .arg(AServer);
    case TTlsProblem::Protocol:
        return QCoreApplication::translate("Tls", "«%1» ответил не по протоколу TDS.").arg(AServer);
    case TTlsProblem::Closed:
        return QCoreApplication::translate(
                   "Tls", "«%1» закрыл соединение, не ответив на PRELOGIN. Так поступает сервер, "
                          "который принимает только TDS 8.0: для него нужно Use Encryption for "
                          "Data=Strict.")
            .arg(AServer);
    }
    return QString();
}
