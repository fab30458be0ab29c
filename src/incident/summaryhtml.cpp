#include "incident/summaryhtml.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QSaveFile>

namespace {

QString esc(const QString& text) {
    return text.toHtmlEscaped();
}

QString timeText(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// "+03:00": how the local times of the page stand to UTC.
QString offsetText(int seconds) {
    const int minutes = std::abs(seconds) / 60;
    return QStringLiteral("%1%2:%3")
        .arg(QChar(seconds < 0 ? u'-' : u'+'))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString number(qint64 n) {
    return QLocale::system().toString(n);
}

QString seconds(qint64 ms) {
    return QLocale::system().toString(double(ms) / 1000.0, 'f', 1);
}

QString row(const QStringList& cells, const char* tag = "td") {
    QString html = QStringLiteral("<tr>");
    for (const QString& cell : cells)
        html += QStringLiteral("<%1>%2</%1>").arg(QLatin1String(tag), cell);
    return html + QStringLiteral("</tr>\n");
}

QString sessionsTable(const QString& caption, const std::vector<TSessionFigures>& sessions) {
    QString html = QStringLiteral("<h2>%1</h2>\n").arg(caption);
    if (sessions.empty())
        return html + QStringLiteral("<p>%1</p>\n")
                          .arg(QCoreApplication::translate("SummaryHtml", "Нет."));
    html += QStringLiteral("<table>\n") +
            row({QCoreApplication::translate("SummaryHtml", "SPID"),
                 QCoreApplication::translate("SummaryHtml", "Логин"),
                 QCoreApplication::translate("SummaryHtml", "Компьютер"),
                 QCoreApplication::translate("SummaryHtml", "Программа"),
                 QCoreApplication::translate("SummaryHtml", "База"),
                 QCoreApplication::translate("SummaryHtml", "Команда"),
                 QCoreApplication::translate("SummaryHtml", "ЦП, мс"),
                 QCoreApplication::translate("SummaryHtml", "Ожидал, с"),
                 QCoreApplication::translate("SummaryHtml", "Дольше всего, с"),
                 QCoreApplication::translate("SummaryHtml", "Тип ожидания"),
                 QCoreApplication::translate("SummaryHtml", "Ресурс")},
                "th");
    for (const TSessionFigures& s : sessions)
        html += row({QString::number(s.SPID), esc(s.Login), esc(s.Host), esc(s.Program), esc(s.DB),
                     esc(s.Command), number(s.CpuMs), seconds(s.WaitedMs), seconds(s.LongestWaitMs),
                     esc(s.WaitType), esc(s.WaitResource)});
    return html + QStringLiteral("</table>\n");
}

QString episodesTable(const std::vector<TBlockingEpisode>& episodes) {
    QString html = QStringLiteral("<h2>%1</h2>\n")
                       .arg(QCoreApplication::translate("SummaryHtml", "Эпизоды блокировок"));
    if (episodes.empty())
        return html + QStringLiteral("<p>%1</p>\n")
                          .arg(QCoreApplication::translate("SummaryHtml", "Нет."));
    html += QStringLiteral("<table>\n") +
            row({QCoreApplication::translate("SummaryHtml", "Начало"),
                 QCoreApplication::translate("SummaryHtml", "Конец"),
                 QCoreApplication::translate("SummaryHtml", "Длительность, с"),
                 QCoreApplication::translate("SummaryHtml", "Головной SPID"),
                 QCoreApplication::translate("SummaryHtml", "Логин"),
                 QCoreApplication::translate("SummaryHtml", "Компьютер"),
                 QCoreApplication::translate("SummaryHtml", "Программа"),
                 QCoreApplication::translate("SummaryHtml", "База"),
                 QCoreApplication::translate("SummaryHtml", "Транзакций"),
                 QCoreApplication::translate("SummaryHtml", "Ждали сразу"),
                 QCoreApplication::translate("SummaryHtml", "Ждали всего"),
                 QCoreApplication::translate("SummaryHtml", "Дольше всего, с"),
                 QCoreApplication::translate("SummaryHtml", "Ресурсы")},
                "th");
    for (const TBlockingEpisode& e : episodes) {
        QString end = timeText(e.End);
        if (e.Open)
            end += QStringLiteral(" (%1)").arg(
                QCoreApplication::translate("SummaryHtml", "продолжается"));
        else if (e.CutByGap)
            end += QStringLiteral(" (%1)").arg(
                QCoreApplication::translate("SummaryHtml", "перерыв в записи"));
        html += row({timeText(e.Start), end, seconds(e.Duration()), QString::number(e.HeadSPID),
                     esc(e.HeadLogin), esc(e.HeadHost), esc(e.HeadProgram), esc(e.HeadDatabase),
                     QString::number(e.HeadOpenTran), QString::number(e.MostWaiting),
                     QString::number(e.Waiters.size()), seconds(e.LongestWait),
                     esc(e.Resources.join(QStringLiteral(", ")))});
    }
    return html + QStringLiteral("</table>\n");
}

const char* const kStyle =
    "body{font-family:sans-serif;margin:1.5em;color:#222}"
    "table{border-collapse:collapse;margin-bottom:1.5em}"
    "th,td{border:1px solid #bbb;padding:.2em .5em;text-align:left;vertical-align:top}"
    "th{background:#eee}td{white-space:pre-wrap}dt{font-weight:bold}";

} // namespace

QString SummaryHtml(const TSpanSummary& s) {
    const QString title = QCoreApplication::translate("SummaryHtml", "%1: %2 — %3")
                              .arg(esc(s.Info.Server), timeText(s.FromMs), timeText(s.ToMs));
    QString html = QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n"
                                  "<title>%1</title>\n<style>%2</style></head><body>\n"
                                  "<h1>%1</h1>\n<dl>\n")
                       .arg(title, QLatin1String(kStyle));
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(s.FromMs);
    html += QStringLiteral("<dt>%1</dt><dd>%2</dd>\n")
                .arg(QCoreApplication::translate("SummaryHtml", "Сервер"), esc(s.Info.Server));
    if (!s.Info.ConnectDescr.isEmpty())
        html += QStringLiteral("<dt>%1</dt><dd>%2</dd>\n")
                    .arg(QCoreApplication::translate("SummaryHtml", "Подключение"),
                         esc(s.Info.ConnectDescr));
    html +=
        QStringLiteral("<dt>%1</dt><dd>%2</dd>\n")
            .arg(QCoreApplication::translate("SummaryHtml", "Версия"), esc(s.Info.ServerVersion));
    html += QStringLiteral("<dt>%1</dt><dd>%2</dd>\n")
                .arg(QCoreApplication::translate("SummaryHtml", "Период"),
                     QCoreApplication::translate("SummaryHtml", "%1 — %2 (UTC%3), снимков: %4")
                         .arg(timeText(s.FromMs), timeText(s.ToMs),
                              offsetText(from.offsetFromUtc()), number(s.Snapshots)));
    for (const TRecordingGap& gap : s.Gaps)
        html += QStringLiteral("<dt>%1</dt><dd>%2 — %3: %4</dd>\n")
                    .arg(QCoreApplication::translate("SummaryHtml", "Разрыв"), timeText(gap.Start),
                         timeText(gap.End), esc(gap.Reason));
    html += QStringLiteral("</dl>\n");

    html += episodesTable(s.Episodes);
    html += QStringLiteral("<h2>%1</h2>\n")
                .arg(QCoreApplication::translate("SummaryHtml", "Оповещения"));
    if (s.Events.isEmpty()) {
        html +=
            QStringLiteral("<p>%1</p>\n").arg(QCoreApplication::translate("SummaryHtml", "Нет."));
    } else {
        html += QStringLiteral("<table>\n") +
                row({QCoreApplication::translate("SummaryHtml", "Время"),
                     QCoreApplication::translate("SummaryHtml", "Событие"),
                     QCoreApplication::translate("SummaryHtml", "Правило"),
                     QCoreApplication::translate("SummaryHtml", "О чём")},
                    "th");
        for (const TRecordingEvent& e : s.Events)
            html += row({timeText(e.Time), esc(e.Kind), esc(e.Rule), esc(e.Subject)});
        html += QStringLiteral("</table>\n");
    }
    html += sessionsTable(QCoreApplication::translate("SummaryHtml", "Больше всего ЦП"), s.TopCpu);
    html +=
        sessionsTable(QCoreApplication::translate("SummaryHtml", "Дольше всего ждали"), s.TopWaits);
    return html + QStringLiteral("</body></html>\n");
}

void WriteSpanSummary(TRecordingSource& ASource, qint64 AFromMs, qint64 AToMs,
                      const QString& APath) {
    const QByteArray html = SummaryHtml(SummarizeSpan(ASource, AFromMs, AToMs)).toUtf8();
    QSaveFile file(APath);
    if (!file.open(QIODevice::WriteOnly) ||
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(html) != html.size() || !file.commit())
        throw ERecordingError(
            QCoreApplication::translate("SummaryHtml", "Не удалось записать «%1»: %2")
                .arg(APath, file.errorString()));
}
