// The word lists behind the T-SQL colouring: lower case, separated by blanks.

#include "actions/sqlscanner.h"

#include <QHash>

namespace {

const char* const kKeywords =
    "add all alter and any apply as asc authorization backup begin between break browse "
    "bulk by cascade case catch check checkpoint close clustered collate column commit "
    "committed compute constraint contains containstable continue create cross current "
    "cursor database dbcc deallocate declare default delete deny desc disk distinct "
    "distributed drop dump else end errlvl escape except exec execute exists exit "
    "external fetch file fillfactor for foreign freetext freetexttable from full function "
    "go goto grant group having holdlock identity identity_insert identitycol if in index "
    "inner inputbuffer insert intersect into is isolation join key kill left level like "
    "lineno load merge national no_infomsgs nocheck nocount nolock nonclustered not "
    "nowait null of off offsets on open opendatasource openquery openrowset openxml "
    "option or order outer output over paglock partition percent pivot plan primary print "
    "proc procedure public raiserror read readcommitted readtext readuncommitted "
    "recompile reconfigure references repeatable repeatableread replication restore "
    "restrict return returns revert revoke right rollback rowcount rowguidcol rowlock "
    "rule save schema select serializable set setuser shutdown snapshot some statistics "
    "table tablesample tablock tablockx textsize then throw to top tran transaction "
    "trigger truncate try uncommitted union unique unpivot update updatetext updlock use "
    "user values varying view waitfor when where while with within writetext xlock";

const char* const kDataTypes =
    "bigint binary bit char date datetime datetime2 datetimeoffset decimal float "
    "geography geometry hierarchyid image int money nchar ntext numeric nvarchar real "
    "rowversion smalldatetime smallint smallmoney sql_variant sysname text time timestamp "
    "tinyint uniqueidentifier varbinary varchar xml";

const char* const kFunctions =
    "abs app_name ascii avg cast ceiling charindex checksum choose coalesce col_name "
    "concat convert count count_big current_timestamp current_user databasepropertyex "
    "datalength dateadd datediff datefromparts datename datepart day db_id db_name "
    "dense_rank eomonth error_line error_message error_number error_procedure "
    "error_severity error_state exp first_value floor format getdate getutcdate host_id "
    "host_name iif is_member isdate isnull isnumeric lag last_value lead len log lower "
    "ltrim max min month newid ntile nullif object_definition object_id object_name "
    "object_schema_name original_login patindex power quotename rank replace replicate "
    "reverse round row_number rtrim schema_name scope_identity serverproperty "
    "session_user sign space sqrt str string_agg stuff substring sum suser_name "
    "suser_sname sysdatetime system_user trim try_cast try_convert type_name upper "
    "user_name year";

// System tables and compatibility views that are named without a schema.
const char* const kTables =
    "syscacheobjects syscolumns syscomments sysconstraints sysdatabases sysdepends "
    "sysfilegroups sysfiles sysforeignkeys sysindexes sysindexkeys syslanguages "
    "syslockinfo syslogins sysmembers sysmessages sysobjects sysperfinfo syspermissions "
    "sysprocesses sysprotects sysreferences sysservers systypes sysusers";

void addAll(QHash<QByteArray, TSqlStyle>& words, const char* list, TSqlStyle style) {
    for (const QByteArray& w : QByteArray(list).split(' '))
        words.insert(w, style);
}

QHash<QByteArray, TSqlStyle> buildWords() {
    QHash<QByteArray, TSqlStyle> words;
    addAll(words, kTables, ssTable);
    addAll(words, kDataTypes, ssDataType);
    addAll(words, kKeywords, ssKeyword);
    addAll(words, kFunctions, ssFunction);
    return words;
}

} // namespace

TSqlStyle SqlWordStyle(const QByteArray& AWord) {
    static const QHash<QByteArray, TSqlStyle> words = buildWords();
    const QByteArray lower = AWord.toLower();
    // System procedures are many and all carry one of two prefixes.
    if (lower.startsWith("sp_") || lower.startsWith("xp_"))
        return ssProcedure;
    if (lower.startsWith("dm_"))
        return ssTable;
    return words.value(lower, ssDefault);
}
