#include "recorder/recordcommandline.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTimeZone>

namespace {

// "HH:MM[:SS]" the next time it comes; "YYYY-MM-DD HH:MM[:SS]" or with a "T": that time.
std::optional<QDateTime> parseUntil(const QString& AText, const QDateTime& ANow) {
    for (const char* form : {"HH:mm:ss", "HH:mm"}) {
        const QTime time = QTime::fromString(AText, QLatin1String(form));
        if (time.isValid()) {
            QDateTime at(ANow.date(), time, ANow.timeZone());
            if (at <= ANow)
                at = at.addDays(1);
            return at;
        }
    }
    for (const char* form :
         {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-ddTHH:mm"}) {
        QDateTime at = QDateTime::fromString(AText, QLatin1String(form));
        if (at.isValid()) {
            at.setTimeZone(ANow.timeZone());
            return at;
        }
    }
    return std::nullopt;
}

// The checks of an export's command line, once it has been read.
TRecordCommand exportCommand(TRecordCommand c, std::optional<qint64> AFrom,
                             std::optional<qint64> ATo) {
    const auto fail = [&c](const char* error) { // each error marked for translation below
        c.Action = TRecordCommand::TAction::Error;
        c.Error = QCoreApplication::translate("RecordCommandLine", error);
        return c;
    };
    const bool database = c.Export.startsWith(QLatin1String("postgresql://")) ||
                          c.Export.startsWith(QLatin1String("postgres://"));
    if (!AFrom || !ATo || c.Out.isEmpty())
        return fail(
            QT_TRANSLATE_NOOP("RecordCommandLine", "Для --export нужны --from, --to и --out."));
    if (*AFrom > *ATo)
        return fail(QT_TRANSLATE_NOOP("RecordCommandLine", "Время --from позже, чем --to."));
    if (c.All || !c.Connection.isEmpty() || c.Servers.size() != (database ? 1 : 0))
        return fail(QT_TRANSLATE_NOOP(
            "RecordCommandLine",
            "С --export сервер указывается (одним --server) только для записи в базе "
            "PostgreSQL."));
    c.Action = TRecordCommand::TAction::Export;
    c.FromMs = *AFrom;
    c.ToMs = *ATo;
    return c;
}

} // namespace

std::optional<qint64> ParseMoment(const QString& AText) {
    QString text = AText.trimmed();
    if (text.size() > 10 && text[10] == QLatin1Char(' '))
        text[10] = QLatin1Char('T');
    const QDateTime at = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!at.isValid() || text.size() < 16)
        return std::nullopt; // a date alone is no moment
    return at.toMSecsSinceEpoch();
}

std::optional<qint64> ParseSpan(const QString& AText) {
    static const QRegularExpression part(QStringLiteral("(\\d+)(ms|s|m|h|d)"));
    static const QRegularExpression whole(QStringLiteral("^(?:\\d+(?:ms|s|m|h|d))+$"));
    if (!whole.match(AText).hasMatch())
        return std::nullopt;
    qint64 total = 0;
    for (auto it = part.globalMatch(AText); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        bool ok = false;
        const qint64 n = m.captured(1).toLongLong(&ok);
        const QString unit = m.captured(2);
        const qint64 scale = unit == QLatin1String("ms")  ? 1
                             : unit == QLatin1String("s") ? 1000
                             : unit == QLatin1String("m") ? 60000
                             : unit == QLatin1String("h") ? 3600000
                                                          : 86400000;
        if (!ok || n > (qint64(1) << 40) / scale)
            return std::nullopt;
        total += n * scale;
    }
    if (total <= 0)
        return std::nullopt;
    return total;
}

TRecordCommand ParseRecordCommandLine(const QStringList& AArguments, const QDateTime& ANow) {
    TRecordCommand c;
    const auto fail = [&c](const QString& error) {
        c.Action = TRecordCommand::TAction::Error;
        c.Error = error;
        return c;
    };
    std::optional<qint64> duration;
    std::optional<QDateTime> until;
    std::optional<qint64> from, to;
    for (int i = 1; i < AArguments.size(); ++i) {
        QString arg = AArguments[i];
        QString value;
        bool hasValue = false;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='))) {
            value = arg.section(QLatin1Char('='), 1);
            arg = arg.section(QLatin1Char('='), 0, 0);
            hasValue = true;
        }
        const auto takeValue = [&]() -> std::optional<QString> {
            if (hasValue)
                return value;
            if (i + 1 < AArguments.size())
                return AArguments[++i];
            return std::nullopt;
        };
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            c.Action = TRecordCommand::TAction::Help;
            return c;
        }
        if (arg == QLatin1String("--version")) {
            c.Action = TRecordCommand::TAction::Version;
            return c;
        }
        if (arg == QLatin1String("--with-text")) {
            c.WithText = true;
            continue;
        }
        if (arg == QLatin1String("--all")) {
            c.All = true;
            continue;
        }
        if (arg == QLatin1String("--without-text")) {
            c.WithoutText = true;
            continue;
        }
        static const QStringList withValue = {
            QStringLiteral("--server"),   QStringLiteral("--connection"),
            QStringLiteral("--out"),      QStringLiteral("--period"),
            QStringLiteral("--duration"), QStringLiteral("--until"),
            QStringLiteral("--retain"),   QStringLiteral("--password-file"),
            QStringLiteral("--metrics"),  QStringLiteral("--rules"),
            QStringLiteral("--on-alert"), QStringLiteral("--on-alert-timeout"),
            QStringLiteral("--export"),   QStringLiteral("--from"),
            QStringLiteral("--to"),       QStringLiteral("--html"),
            QStringLiteral("--episodes")};
        if (!withValue.contains(arg))
            return fail(
                arg.startsWith(QLatin1Char('-'))
                    ? QCoreApplication::translate("RecordCommandLine", "Неизвестный параметр %1.")
                          .arg(arg)
                    : QCoreApplication::translate("RecordCommandLine", "Лишний аргумент «%1».")
                          .arg(arg));
        const std::optional<QString> v = takeValue();
        if (!v || v->isEmpty())
            return fail(QCoreApplication::translate("RecordCommandLine", "После %1 нужно значение.")
                            .arg(arg));
        if (arg == QLatin1String("--server")) {
            if (!c.Servers.contains(*v))
                c.Servers << *v;
        } else if (arg == QLatin1String("--metrics")) {
            c.Metrics = *v;
        } else if (arg == QLatin1String("--connection")) {
            c.Connection = *v;
        } else if (arg == QLatin1String("--password-file")) {
            c.PasswordFile = *v;
        } else if (arg == QLatin1String("--out")) {
            c.Out = *v;
        } else if (arg == QLatin1String("--export")) {
            c.Export = *v;
        } else if (arg == QLatin1String("--html")) {
            c.Html = *v;
        } else if (arg == QLatin1String("--from") || arg == QLatin1String("--to")) {
            const std::optional<qint64> at = ParseMoment(*v);
            if (!at)
                return fail(QCoreApplication::translate(
                                "RecordCommandLine",
                                "Не понимаю время «%1» для %2: нужно ГГГГ-ММ-ДДTЧЧ:ММ[:СС].")
                                .arg(*v, arg));
            (arg == QLatin1String("--from") ? from : to) = at;
        } else if (arg == QLatin1String("--episodes")) {
            c.Episodes = *v;
        } else if (arg == QLatin1String("--rules")) {
            c.RulesFile = *v;
        } else if (arg == QLatin1String("--on-alert")) {
            if (QProcess::splitCommand(*v).isEmpty())
                return fail(
                    QCoreApplication::translate("RecordCommandLine", "В --on-alert нет команды."));
            c.OnAlert = *v;
        } else if (arg == QLatin1String("--until")) {
            until = parseUntil(*v, ANow);
            if (!until)
                return fail(QCoreApplication::translate(
                                "RecordCommandLine",
                                "Не понимаю время «%1»: нужно ЧЧ:ММ или ГГГГ-ММ-ДД ЧЧ:ММ.")
                                .arg(*v));
        } else {
            const std::optional<qint64> span = ParseSpan(*v);
            if (!span)
                return fail(QCoreApplication::translate(
                                "RecordCommandLine",
                                "Не понимаю промежуток «%1» для %2: нужно, например, 500ms, 1s, "
                                "5m, 2h, 7d.")
                                .arg(*v, arg));
            if (arg == QLatin1String("--period"))
                c.PeriodMs = *span;
            else if (arg == QLatin1String("--on-alert-timeout"))
                c.OnAlertTimeoutMs = *span;
            else if (arg == QLatin1String("--duration"))
                duration = span;
            else
                c.RetainMs = *span;
        }
    }
    if (!c.Export.isEmpty())
        return exportCommand(c, from, to);
    if (c.WithoutText || !c.Html.isEmpty() || from || to)
        return fail(QCoreApplication::translate(
            "RecordCommandLine", "--from, --to, --without-text и --html — только с --export."));
    if (!c.Episodes.isEmpty()) {
        // A database holds many servers' recordings: --server names the one to read.
        if (c.All || !c.Connection.isEmpty() || c.Servers.size() > 1 || !c.Out.isEmpty())
            return fail(QCoreApplication::translate(
                "RecordCommandLine",
                "С --episodes указывают только запись и, для базы, одно --server."));
        c.Action = TRecordCommand::TAction::Episodes;
        return c;
    }
    if (int(!c.Servers.isEmpty()) + int(c.All) + int(!c.Connection.isEmpty()) != 1)
        return fail(QCoreApplication::translate(
            "RecordCommandLine", "Нужно указать ровно одно из --server, --all и --connection."));
    if (c.Out.isEmpty())
        return fail(QCoreApplication::translate("RecordCommandLine",
                                                "Нужно указать файл записи: --out ФАЙЛ."));
    if (duration && until)
        return fail(QCoreApplication::translate("RecordCommandLine",
                                                "--duration и --until вместе не указываются."));
    if (c.PeriodMs < 100)
        return fail(
            QCoreApplication::translate("RecordCommandLine", "Период не может быть короче 100ms."));
    if (duration)
        c.StopAtMs = ANow.toMSecsSinceEpoch() + *duration;
    if (until)
        c.StopAtMs = until->toMSecsSinceEpoch();
    return c;
}

bool RecordsSeveral(const TRecordCommand& ACommand) {
    return ACommand.All || ACommand.Servers.size() > 1;
}

QString RecordCommandHelp() {
    return QCoreApplication::translate(
        "RecordCommandLine",
        "Использование: dervel-record (--server ИМЯ... | --all | --connection СТРОКА) --out "
        "КУДА [параметры]\n"
        "Записывает сеансы SQL Server без окна, в файл записи или в базу PostgreSQL; запись "
        "смотрят в Dervel (Ctrl+O).\n"
        "\n"
        "  --server ИМЯ          сохранённое подключение из настроек Dervel; можно несколько "
        "раз\n"
        "  --all                 все сохранённые подключения\n"
        "  --connection СТРОКА   строка подключения OLE DB (без пароля: его видят все "
        "пользователи в списке процессов)\n"
        "  --password-file ФАЙЛ  пароль — первая строка файла; «-» — из стандартного ввода\n"
        "  --out КУДА            файл записи; для нескольких серверов — папка (файл на "
        "сервер, по имени подключения); или postgresql://пользователь@хост/база. "
        "Существующая запись того же сервера продолжается\n"
        "  --period ПРОМЕЖУТОК   как часто снимать (по умолчанию 1s; например 500ms, 5s)\n"
        "  --duration ПРОМЕЖУТОК сколько записывать (например 8h)\n"
        "  --until ВРЕМЯ         до какого времени: ЧЧ:ММ или ГГГГ-ММ-ДД ЧЧ:ММ\n"
        "  --retain ПРОМЕЖУТОК   хранить только последние (например 7d)\n"
        "  --with-text           записывать и тексты выполняемых пакетов (в них бывают "
        "секретные данные)\n"
        "  --rules ФАЙЛ          правила оповещений из файла вида настроек (.reg); без него — "
        "из настроек Dervel\n"
        "  --on-alert КОМАНДА    выполнять команду при каждом оповещении и его снятии; о чём "
        "оно — в переменных DERVEL_ALERT_* (оболочка не вызывается)\n"
        "  --on-alert-timeout ПРОМЕЖУТОК  сколько ждать команду (по умолчанию 30s), потом "
        "остановить\n"
        "  --metrics АДРЕС:ПОРТ  отдавать /metrics для Prometheus (например 127.0.0.1:9471)\n"
        "  --episodes ЗАПИСЬ     вывести эпизоды блокировок записи (файл или "
        "postgresql://… с --server ИМЯ) в CSV и выйти\n"
        "  --help, --version\n"
        "\n"
        "dervel-record --export ЗАПИСЬ --from ВРЕМЯ --to ВРЕМЯ --out ФАЙЛ [--without-text] "
        "[--html ФАЙЛ]\n"
        "Записывает период записи (файла или базы PostgreSQL: тогда и --server ИМЯ) в новый "
        "файл записи. Время — ГГГГ-ММ-ДДTЧЧ:ММ[:СС] (ISO 8601; без пояса — местное).\n"
        "  --without-text        без текстов пакетов\n"
        "  --html ФАЙЛ           ещё и сводка периода одной страницей HTML\n"
        "\n"
        "Пароль берётся из --password-file, иначе из переменной DERVEL_PASSWORD, иначе (для "
        "--server) из связки ключей, как в окне Dervel. Пароль PostgreSQL — из ~/.pgpass "
        "или переменных PG*, как их читает libpq.\n"
        "SIGINT и SIGTERM завершают запись. Коды выхода: 0 — остановлено как велено, 1 — "
        "ошибка файла записи, 2 — неверная командная строка, 3 — не удалось подключиться "
        "при запуске, 4 — сервер отклонил вход (повторять с тем же паролем бесполезно).\n");
}

QString RecordCommandVersion() {
    return QStringLiteral("dervel-record %1\n").arg(QStringLiteral(DERVEL_VERSION));
}
