#include "recorder/recordlogin.h"

#include "servers/connectionstring.h"
#include "servers/passwordplacement.h"

#include <QCoreApplication>

QString PasswordFileText(const QByteArray& AContent) {
    const qsizetype end = AContent.indexOf('\n');
    QByteArray line = end < 0 ? AContent : AContent.left(end);
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

TRecordLogin ChooseRecordLogin(const QString& AConnectionString, bool AFromCommandLine,
                               const std::optional<QString>& AFilePassword,
                               const std::optional<QString>& AEnvironmentPassword,
                               const std::optional<QString>& AKeyringPassword) {
    TRecordLogin login;
    login.PasswordVisible = AFromCommandLine && HoldsPassword(AConnectionString);
    const std::optional<QString>& given = AFilePassword ? AFilePassword : AEnvironmentPassword;
    const QString user = GetConnectionStringValue(AConnectionString, QStringLiteral("User ID"));
    if (given) {
        if (GetConnectionStringValue(AConnectionString, QStringLiteral("Integrated Security")) ==
            QLatin1String("SSPI")) {
            login.Error = QCoreApplication::translate(
                "RecordCommandLine",
                "Строка подключения входит через Integrated Security=SSPI: пароль из файла или "
                "DERVEL_PASSWORD ей не нужен.");
            return login;
        }
        if (user.isEmpty()) {
            login.Error = QCoreApplication::translate(
                "RecordCommandLine",
                "Пароль задан, но в строке подключения нет User ID: неясно, чей это пароль.");
            return login;
        }
        login.Credentials = TDbCredentials{user, *given};
    } else if (AKeyringPassword && !AKeyringPassword->isEmpty() &&
               KeyringMayHoldPassword(AConnectionString)) {
        login.Credentials = TDbCredentials{user, *AKeyringPassword};
    }
    return login;
}
