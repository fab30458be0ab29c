#include "record/printepisodes.h"

#include "episodes/episodecsv.h"
#include "episodes/episodefinder.h"
#include "pgstore/pgconnection.h"
#include "pgstore/pgrecordingreader.h"
#include "recorder/recordingreader.h"

#include <QCoreApplication>

int PrintEpisodes(const TRecordCommand& ACommand, const std::function<void(const QString&)>& AOut,
                  const std::function<void(const QString&)>& AError) {
    const bool database = IsPgAddress(ACommand.Episodes);
    if (database != (ACommand.Servers.size() == 1)) {
        AError(database ? QCoreApplication::translate(
                              "RecordCommandLine",
                              "Для записи в базе нужно указать сервер: --server ИМЯ.")
                        : QCoreApplication::translate("RecordCommandLine",
                                                      "--server с --episodes — только для базы."));
        return kRecordExitUsage;
    }
    try {
        std::unique_ptr<TRecordingSource> source;
        if (database)
            source = std::make_unique<TPgRecordingReader>(ACommand.Episodes, ACommand.Servers[0]);
        else
            source = std::make_unique<TRecordingReader>(ACommand.Episodes);
        AOut(EpisodesCsv(FindEpisodes(*source)));
    } catch (const ERecordingError& e) {
        AError(e.message());
        return kRecordExitFailed;
    }
    return kRecordExitOk;
}
