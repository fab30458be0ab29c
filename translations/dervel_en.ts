<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ru_RU">
<context>
    <name>ActivityLog</name>
    <message>
        <source>Запись в файл</source>
        <translation>Record to file</translation>
    </message>
    <message>
        <source>Запись остановлена:<byte value="xd"/>
%1.<byte value="xd"/>
Файл %2.</source>
        <translation>Recording stopped:<byte value="xd"/>
%1.<byte value="xd"/>
File %2.</translation>
    </message>
</context>
<context>
    <name>Alerts</name>
    <message>
        <source>сервер</source>
        <translation>server</translation>
    </message>
    <message>
        <source>Головной SPID %1: %2, %3, %4.
Ожидание %5 с, ждут сеансов: %6.</source>
        <translation>Head SPID %1: %2, %3, %4.
Waiting %5 s, sessions waiting: %6.</translation>
    </message>
    <message>
        <source>SPID %1: %2, %3, %4, база %5.
%6 выполняется %7 мин.</source>
        <translation>SPID %1: %2, %3, %4, database %5.
%6 running for %7 min.</translation>
    </message>
    <message>
        <source>Заблокировано сеансов: %1.</source>
        <translation>Sessions blocked: %1.</translation>
    </message>
    <message>
        <source>Сервер не отвечает с %1.</source>
        <translation>The server has not answered since %1.</translation>
    </message>
    <message>
        <source>Команда оповещения не успевает: оповещение «%1» о %2 пропущено.</source>
        <translation>The alert command cannot keep up: alert &quot;%1&quot; about %2 skipped.</translation>
    </message>
    <message>
        <source>Запись остановлена: не переданы команде оповещения: %1.</source>
        <translation>Recording stopped: alerts not passed to the command: %1.</translation>
    </message>
    <message>
        <source>Команда оповещения не запустилась: %1</source>
        <translation>The alert command did not start: %1</translation>
    </message>
    <message>
        <source>Команда оповещения не закончилась за %1 с и остановлена.</source>
        <translation>The alert command did not finish within %1 s and was stopped.</translation>
    </message>
    <message>
        <source>Команда оповещения завершилась с кодом %1.</source>
        <translation>The alert command ended with code %1.</translation>
    </message>
    <message>
        <source>Долгая блокировка</source>
        <translation>Long blocking</translation>
    </message>
    <message>
        <source>Долгий запрос</source>
        <translation>Long request</translation>
    </message>
    <message>
        <source>Много заблокированных</source>
        <translation>Many blocked</translation>
    </message>
    <message>
        <source>Сервер не отвечает</source>
        <translation>Server not answering</translation>
    </message>
    <message>
        <source>блокировка дольше %1 с</source>
        <translation>blocking longer than %1 s</translation>
    </message>
    <message>
        <source>запрос дольше %1 мин</source>
        <translation>request longer than %1 min</translation>
    </message>
    <message>
        <source>заблокировано больше %1 сеансов</source>
        <translation>more than %1 sessions blocked</translation>
    </message>
    <message>
        <source>не отвечает %1 периодов</source>
        <translation>not answering for %1 periods</translation>
    </message>
    <message>
        <source>с</source>
        <translation>s</translation>
    </message>
    <message>
        <source>мин</source>
        <translation>min</translation>
    </message>
    <message>
        <source>сеансов</source>
        <translation>sessions</translation>
    </message>
    <message>
        <source>периодов</source>
        <translation>periods</translation>
    </message>
    <message>
        <source>%1\Threshold: %2 вне пределов 1–%3</source>
        <translation>%1\Threshold: %2 is outside 1–%3</translation>
    </message>
    <message>
        <source>нет сеанса D-Bus</source>
        <translation>no D-Bus session</translation>
    </message>
    <message>
        <source>Показать</source>
        <translation>Show</translation>
    </message>
    <message>
        <source>Оповещение: %1 — %2</source>
        <translation>Alert: %1 — %2</translation>
    </message>
    <message>
        <source>Оповещение снято: %1 — %2, %3 с</source>
        <translation>Alert cleared: %1 — %2, %3 s</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>Показать эту справку.</source>
        <translation>Show this help.</translation>
    </message>
    <message>
        <source>Показать версию.</source>
        <translation>Show the version.</translation>
    </message>
    <message>
        <source>Язык интерфейса: ru или en (по умолчанию язык системы).</source>
        <translation>The language of the interface: ru or en (the system&apos;s by default).</translation>
    </message>
    <message>
        <source>Выбрать сохранённое подключение с этим именем и подключиться.</source>
        <translation>Select the saved server entry of this name and connect to it.</translation>
    </message>
    <message>
        <source>имя</source>
        <translation>name</translation>
    </message>
    <message>
        <source>Dervel показывает, что выполняется на Microsoft SQL Server.</source>
        <translation>Dervel shows what is running on Microsoft SQL Server.</translation>
    </message>
    <message>
        <source>Лишний аргумент: %1</source>
        <translation>Unexpected argument: %1</translation>
    </message>
    <message>
        <source>Неизвестный язык: %1 (нужно ru или en)</source>
        <translation>Unknown language: %1 (ru or en)</translation>
    </message>
    <message>
        <source>Не указано имя подключения для --server</source>
        <translation>No server entry name given to --server</translation>
    </message>
    <message>
        <source>Справка: dervel --help</source>
        <translation>Try: dervel --help</translation>
    </message>
    <message>
        <source>Нет сохранённого подключения «%1».</source>
        <translation>No saved server entry &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>запись</source>
        <translation>recording</translation>
    </message>
    <message>
        <source>Файл записи (.dervelrec), который открыть для просмотра.</source>
        <translation>A recording (.dervelrec) to open for replay.</translation>
    </message>
    <message>
        <source>[запись]</source>
        <translation>[recording]</translation>
    </message>
    <message>
        <source>Запись и --server вместе не указываются: запись открывается вместо сервера.</source>
        <translation>A recording and --server cannot be given together: a recording opens instead of a server.</translation>
    </message>
</context>
<context>
    <name>Filters</name>
    <message>
        <source>&lt;all statuses&gt;</source>
        <translation>&lt;all statuses&gt;</translation>
    </message>
    <message>
        <source>&lt;%1 statuses&gt;</source>
        <translation>&lt;%1 statuses&gt;</translation>
    </message>
    <message>
        <source>&lt;all databases&gt;</source>
        <translation>&lt;all databases&gt;</translation>
    </message>
    <message>
        <source>&lt;empty&gt;</source>
        <translation>&lt;empty&gt;</translation>
    </message>
</context>
<context>
    <name>FreeTdsConfig</name>
    <message>
        <source>Не удалось создать личную папку в «%1»: %2</source>
        <translation>Could not create a private folder in &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>Не удалось записать «%1»: %2</source>
        <translation>Could not write &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>Папка «%1» с настройками драйвера перестала быть личной (её подменили или открыли другим пользователям). Подключение отменено; перезапустите программу.</source>
        <translation>The folder &quot;%1&quot; with the driver&apos;s settings is no longer private (it was replaced or opened to other users). The connection was cancelled; restart the program.</translation>
    </message>
</context>
<context>
    <name>Keyring</name>
    <message>
        <source>нет сеанса D-Bus.</source>
        <translation>no D-Bus session.</translation>
    </message>
    <message>
        <source>Связка ключей недоступна: %1<byte value="xd"/>
Пароли хранятся в строке подключения или вводятся при подключении.</source>
        <translation>The keyring is not available: %1<byte value="xd"/>
Passwords stay in the connection string or are asked for at connect.</translation>
    </message>
</context>
<context>
    <name>KillSession</name>
    <message>
        <source>Завершить процесс SPID=%1, Login=%2?</source>
        <translation>Kill process SPID=%1, Login=%2?</translation>
    </message>
    <message>
        <source>Процесс SPID=%1, Login=%2 не найден.</source>
        <translation>Process SPID=%1, Login=%2 not found.</translation>
    </message>
    <message>
        <source>Kill process</source>
        <translation>Kill process</translation>
    </message>
</context>
<context>
    <name>Metrics</name>
    <message>
        <source>Не удалось слушать %1 для метрик: %2</source>
        <translation>Cannot listen on %1 for metrics: %2</translation>
    </message>
    <message>
        <source>нужен адрес и порт, например 127.0.0.1:9471.</source>
        <translation>an address and a port are needed, for example 127.0.0.1:9471.</translation>
    </message>
</context>
<context>
    <name>MonitorColumns</name>
    <message>
        <source>SPID</source>
        <translation>SPID</translation>
    </message>
    <message>
        <source>Login</source>
        <translation>Login</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Command</source>
        <translation>Command</translation>
    </message>
    <message>
        <source>Database</source>
        <translation>Database</translation>
    </message>
    <message>
        <source>Program</source>
        <translation>Program</translation>
    </message>
    <message>
        <source>Login Time</source>
        <translation>Login Time</translation>
    </message>
    <message>
        <source>Last Query Time</source>
        <translation>Last Query Time</translation>
    </message>
    <message>
        <source>CPU</source>
        <translation>CPU</translation>
    </message>
    <message>
        <source>I/O</source>
        <translation>I/O</translation>
    </message>
    <message>
        <source>Memory</source>
        <translation>Memory</translation>
    </message>
    <message>
        <source>Host</source>
        <translation>Host</translation>
    </message>
    <message>
        <source>NT Login</source>
        <translation>NT Login</translation>
    </message>
    <message>
        <source>Blocking</source>
        <translation>Blocking</translation>
    </message>
    <message>
        <source>Client Interface</source>
        <translation>Client Interface</translation>
    </message>
    <message>
        <source>NT Domain</source>
        <translation>NT Domain</translation>
    </message>
    <message>
        <source>Elapsed Time</source>
        <translation>Elapsed Time</translation>
    </message>
    <message>
        <source>I/O Reads</source>
        <translation>I/O Reads</translation>
    </message>
    <message>
        <source>I/O Writes</source>
        <translation>I/O Writes</translation>
    </message>
    <message>
        <source>Logical Reads</source>
        <translation>Logical Reads</translation>
    </message>
    <message>
        <source>Lock Timeout</source>
        <translation>Lock Timeout</translation>
    </message>
    <message>
        <source>Row Count</source>
        <translation>Row Count</translation>
    </message>
    <message>
        <source>Original Login</source>
        <translation>Original Login</translation>
    </message>
    <message>
        <source>Open Tran</source>
        <translation>Open Tran</translation>
    </message>
    <message>
        <source>Wait Type</source>
        <translation>Wait Type</translation>
    </message>
    <message>
        <source>Wait Time</source>
        <translation>Wait Time</translation>
    </message>
    <message>
        <source>Wait Resource</source>
        <translation>Wait Resource</translation>
    </message>
    <message>
        <source>Nested Level</source>
        <translation>Nested Level</translation>
    </message>
    <message>
        <source>CLR</source>
        <translation>CLR</translation>
    </message>
    <message>
        <source>Net Transport</source>
        <translation>Net Transport</translation>
    </message>
    <message>
        <source>Protocol</source>
        <translation>Protocol</translation>
    </message>
    <message>
        <source>Auth Scheme</source>
        <translation>Auth Scheme</translation>
    </message>
    <message>
        <source>Client Address</source>
        <translation>Client Address</translation>
    </message>
    <message>
        <source>Client Port</source>
        <translation>Client Port</translation>
    </message>
    <message>
        <source>Server Address</source>
        <translation>Server Address</translation>
    </message>
    <message>
        <source>Server Port</source>
        <translation>Server Port</translation>
    </message>
    <message>
        <source>Isolation Level</source>
        <translation>Isolation Level</translation>
    </message>
    <message>
        <source>CPU/s</source>
        <translation>CPU/s</translation>
    </message>
    <message>
        <source>Reads/s</source>
        <translation>Reads/s</translation>
    </message>
    <message>
        <source>Writes/s</source>
        <translation>Writes/s</translation>
    </message>
    <message>
        <source>Logical Reads/s</source>
        <translation>Logical Reads/s</translation>
    </message>
    <message>
        <source>CPU +</source>
        <translation>CPU +</translation>
    </message>
    <message>
        <source>Reads +</source>
        <translation>Reads +</translation>
    </message>
    <message>
        <source>Writes +</source>
        <translation>Writes +</translation>
    </message>
    <message>
        <source>Logical Reads +</source>
        <translation>Logical Reads +</translation>
    </message>
</context>
<context>
    <name>PgStore</name>
    <message>
        <source>Не удалось подключиться к базе записей: %1</source>
        <translation>Cannot connect to the recordings database: %1</translation>
    </message>
    <message>
        <source>Ошибка базы записей %1: %2</source>
        <translation>Error in the recordings database %1: %2</translation>
    </message>
    <message>
        <source>%1 в %2</source>
        <translation>%1 in %2</translation>
    </message>
    <message>
        <source>В базе %1 нет записи сервера «%2».</source>
        <translation>The database %1 holds no recording of the server “%2”.</translation>
    </message>
    <message>
        <source>Запись сервера «%1» в базу %2 уже ведёт другой регистратор.</source>
        <translation>Another recorder is already recording the server “%1” into the database %2.</translation>
    </message>
    <message>
        <source>Записи в базе %1 хранятся в схеме версии %2, более новой, чем знает эта версия Dervel (до %3). Обновите Dervel.</source>
        <translation>The recordings in the database %1 are kept in schema version %2, newer than this version of Dervel knows (up to %3). Update Dervel.</translation>
    </message>
    <message>
        <source>В базе %1 нет записей Dervel.</source>
        <translation>The database %1 holds no Dervel recordings.</translation>
    </message>
</context>
<context>
    <name>Plans</name>
    <message>
        <source>Это не план запроса: %1.</source>
        <translation>This is not a query plan: %1.</translation>
    </message>
    <message>
        <source>План пуст.</source>
        <translation>The plan is empty.</translation>
    </message>
</context>
<context>
    <name>Prompts</name>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
</context>
<context>
    <name>RecordCommandLine</name>
    <message>
        <source>Справка: dervel-record --help</source>
        <translation>Help: dervel-record --help</translation>
    </message>
    <message>
        <source>Нет сохранённого подключения «%1».</source>
        <translation>No saved connection &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>Не удалось подключиться к «%1»: %2</source>
        <translation>Cannot connect to &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>Запись в %1 каждые %2 мс.</source>
        <translation>Recording to %1 every %2 ms.</translation>
    </message>
    <message>
        <source>Запись остановлена: записано снимков — %1.</source>
        <translation>Recording stopped: %1 snapshots written.</translation>
    </message>
    <message>
        <source>Неизвестный параметр %1.</source>
        <translation>Unknown option %1.</translation>
    </message>
    <message>
        <source>Лишний аргумент «%1».</source>
        <translation>Unexpected argument &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>После %1 нужно значение.</source>
        <translation>%1 needs a value.</translation>
    </message>
    <message>
        <source>Не понимаю время «%1»: нужно ЧЧ:ММ или ГГГГ-ММ-ДД ЧЧ:ММ.</source>
        <translation>Cannot read the time &quot;%1&quot;: use HH:MM or YYYY-MM-DD HH:MM.</translation>
    </message>
    <message>
        <source>Не понимаю промежуток «%1» для %2: нужно, например, 500ms, 1s, 5m, 2h, 7d.</source>
        <translation>Cannot read the span &quot;%1&quot; for %2: use, for example, 500ms, 1s, 5m, 2h, 7d.</translation>
    </message>
    <message>
        <source>Нужно указать файл записи: --out ФАЙЛ.</source>
        <translation>Give the recording file: --out FILE.</translation>
    </message>
    <message>
        <source>--duration и --until вместе не указываются.</source>
        <translation>--duration and --until cannot be given together.</translation>
    </message>
    <message>
        <source>Период не может быть короче 100ms.</source>
        <translation>The period cannot be shorter than 100ms.</translation>
    </message>
    <message>
        <source>Не удалось прочитать файл пароля «%1»: %2</source>
        <translation>Cannot read the password file “%1”: %2</translation>
    </message>
    <message>
        <source>В файле пароля «%1» нет пароля: первая строка пуста.</source>
        <translation>The password file “%1” holds no password: its first line is empty.</translation>
    </message>
    <message>
        <source>Связка ключей недоступна (нет сеанса D-Bus): вход по строке подключения.</source>
        <translation>The keyring is not available (no D-Bus session): logging in with the connection string.</translation>
    </message>
    <message>
        <source>Сервер «%1» отклонил вход: %2 Запись остановлена, чтобы повторные попытки не заблокировали вход; исправьте пароль и запустите снова.</source>
        <translation>The server “%1” refused the login: %2 Recording stopped, so that further tries do not lock the login out; correct the password and start again.</translation>
    </message>
    <message>
        <source>Внимание: пароль в --connection виден всем пользователям этого компьютера в списке процессов (ps). Передайте его через --password-file или переменную DERVEL_PASSWORD.</source>
        <translation>Warning: a password in --connection can be seen by every user of this computer in the process list (ps). Pass it with --password-file or the DERVEL_PASSWORD variable.</translation>
    </message>
    <message>
        <source>Файл %1 был доступен другим пользователям (права %2); теперь он только ваш (0600).</source>
        <translation>The file %1 was open to other users (mode %2); it is now yours only (0600).</translation>
    </message>
    <message>
        <source>Строка подключения входит через Integrated Security=SSPI: пароль из файла или DERVEL_PASSWORD ей не нужен.</source>
        <translation>The connection string logs in with Integrated Security=SSPI: it needs no password from a file or DERVEL_PASSWORD.</translation>
    </message>
    <message>
        <source>Пароль задан, но в строке подключения нет User ID: неясно, чей это пароль.</source>
        <translation>A password is given, but the connection string has no User ID: whose password is it?</translation>
    </message>
    <message>
        <source>В настройках нет ни одного подключения.</source>
        <translation>The settings hold no saved connection.</translation>
    </message>
    <message>
        <source>Внимание: пароль в адресе базы виден всем пользователям этого компьютера в списке процессов (ps). Храните его в ~/.pgpass.</source>
        <translation>Warning: a password in the database address can be seen by every user of this computer in the process list (ps). Keep it in ~/.pgpass.</translation>
    </message>
    <message>
        <source>Не удалось создать папку записей %1.</source>
        <translation>Cannot create the recordings folder %1.</translation>
    </message>
    <message>
        <source>Метрики для Prometheus: http://%1/metrics</source>
        <translation>Metrics for Prometheus: http://%1/metrics</translation>
    </message>
    <message>
        <source>Нужно указать ровно одно из --server, --all и --connection.</source>
        <translation>Give exactly one of --server, --all and --connection.</translation>
    </message>
    <message>
        <source>Нет файла правил «%1».</source>
        <translation>There is no rules file &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>Правила оповещений прочитаны не все: %1</source>
        <translation>Not all alert rules could be read: %1</translation>
    </message>
    <message>
        <source>В --on-alert нет команды.</source>
        <translation>--on-alert holds no command.</translation>
    </message>
    <message>
        <source>Для записи в базе нужно указать сервер: --server ИМЯ.</source>
        <translation>A recording in a database needs its server: --server NAME.</translation>
    </message>
    <message>
        <source>--server с --episodes — только для базы.</source>
        <translation>--server with --episodes is for a database only.</translation>
    </message>
    <message>
        <source>Для --export нужны --from, --to и --out.</source>
        <translation>--export needs --from, --to and --out.</translation>
    </message>
    <message>
        <source>Время --from позже, чем --to.</source>
        <translation>The --from time is later than --to.</translation>
    </message>
    <message>
        <source>С --export сервер указывается (одним --server) только для записи в базе PostgreSQL.</source>
        <translation>With --export a server is named (by one --server) only for a recording in a PostgreSQL database.</translation>
    </message>
    <message>
        <source>Не понимаю время «%1» для %2: нужно ГГГГ-ММ-ДДTЧЧ:ММ[:СС].</source>
        <translation>Cannot read the time &quot;%1&quot; for %2: YYYY-MM-DDTHH:MM[:SS] is needed.</translation>
    </message>
    <message>
        <source>--from, --to, --without-text и --html — только с --export.</source>
        <translation>--from, --to, --without-text and --html go only with --export.</translation>
    </message>
    <message>
        <source>С --episodes указывают только запись и, для базы, одно --server.</source>
        <translation>--episodes takes only the recording and, for a database, one --server.</translation>
    </message>
    <message>
        <source>Использование: dervel-record (--server ИМЯ... | --all | --connection СТРОКА) --out КУДА [параметры]
Записывает сеансы SQL Server без окна, в файл записи или в базу PostgreSQL; запись смотрят в Dervel (Ctrl+O).

  --server ИМЯ          сохранённое подключение из настроек Dervel; можно несколько раз
  --all                 все сохранённые подключения
  --connection СТРОКА   строка подключения OLE DB (без пароля: его видят все пользователи в списке процессов)
  --password-file ФАЙЛ  пароль — первая строка файла; «-» — из стандартного ввода
  --out КУДА            файл записи; для нескольких серверов — папка (файл на сервер, по имени подключения); или postgresql://пользователь@хост/база. Существующая запись того же сервера продолжается
  --period ПРОМЕЖУТОК   как часто снимать (по умолчанию 1s; например 500ms, 5s)
  --duration ПРОМЕЖУТОК сколько записывать (например 8h)
  --until ВРЕМЯ         до какого времени: ЧЧ:ММ или ГГГГ-ММ-ДД ЧЧ:ММ
  --retain ПРОМЕЖУТОК   хранить только последние (например 7d)
  --with-text           записывать и тексты выполняемых пакетов (в них бывают секретные данные)
  --rules ФАЙЛ          правила оповещений из файла вида настроек (.reg); без него — из настроек Dervel
  --on-alert КОМАНДА    выполнять команду при каждом оповещении и его снятии; о чём оно — в переменных DERVEL_ALERT_* (оболочка не вызывается)
  --on-alert-timeout ПРОМЕЖУТОК  сколько ждать команду (по умолчанию 30s), потом остановить
  --metrics АДРЕС:ПОРТ  отдавать /metrics для Prometheus (например 127.0.0.1:9471)
  --episodes ЗАПИСЬ     вывести эпизоды блокировок записи (файл или postgresql://… с --server ИМЯ) в CSV и выйти
  --help, --version

dervel-record --export ЗАПИСЬ --from ВРЕМЯ --to ВРЕМЯ --out ФАЙЛ [--without-text] [--html ФАЙЛ]
Записывает период записи (файла или базы PostgreSQL: тогда и --server ИМЯ) в новый файл записи. Время — ГГГГ-ММ-ДДTЧЧ:ММ[:СС] (ISO 8601; без пояса — местное).
  --without-text        без текстов пакетов
  --html ФАЙЛ           ещё и сводка периода одной страницей HTML

Пароль берётся из --password-file, иначе из переменной DERVEL_PASSWORD, иначе (для --server) из связки ключей, как в окне Dervel. Пароль PostgreSQL — из ~/.pgpass или переменных PG*, как их читает libpq.
SIGINT и SIGTERM завершают запись. Коды выхода: 0 — остановлено как велено, 1 — ошибка файла записи, 2 — неверная командная строка, 3 — не удалось подключиться при запуске, 4 — сервер отклонил вход (повторять с тем же паролем бесполезно).
</source>
        <translation>Usage: dervel-record (--server NAME... | --all | --connection STRING) --out WHERE [options]
Records the sessions of SQL Server without a window, to a recording file or a PostgreSQL database; open the recording in Dervel (Ctrl+O).

  --server NAME         a saved connection from Dervel&apos;s settings; may be given several times
  --all                 every saved connection
  --connection STRING   an OLE DB connection string (without a password: every user sees it in the process list)
  --password-file FILE  the password is the file&apos;s first line; &quot;-&quot; reads it from standard input
  --out WHERE           the recording file; for several servers a folder (a file a server, by the connection&apos;s name); or postgresql://user@host/database. A recording of the same server goes on
  --period SPAN         how often to sample (default 1s; for example 500ms, 5s)
  --duration SPAN       how long to record (for example 8h)
  --until TIME          until when: HH:MM or YYYY-MM-DD HH:MM
  --retain SPAN         keep only the latest (for example 7d)
  --with-text           record the running batches&apos; text too (it may hold secrets)
  --rules FILE          alert rules from a file in the settings&apos; form (.reg); without it, from Dervel&apos;s settings
  --on-alert COMMAND    run the command for every alert raised and cleared; what it is about is in the DERVEL_ALERT_* variables (no shell is involved)
  --on-alert-timeout SPAN  how long to wait for the command (30s by default), then stop it
  --metrics ADDR:PORT   serve /metrics for Prometheus (for example 127.0.0.1:9471)
  --episodes RECORDING  print the recording&apos;s blocking episodes (a file, or postgresql://... with --server NAME) as CSV and exit
  --help, --version

dervel-record --export RECORDING --from TIME --to TIME --out FILE [--without-text] [--html FILE]
Writes a span of a recording (a file, or a PostgreSQL database: then also --server NAME) to a new recording file. Times are YYYY-MM-DDTHH:MM[:SS] (ISO 8601; without a zone, local time).
  --without-text        without the batches&apos; texts
  --html FILE           also the span&apos;s summary as one HTML page

The password comes from --password-file, else from the DERVEL_PASSWORD variable, else (with --server) from the keyring, as in Dervel&apos;s window. The PostgreSQL password comes from ~/.pgpass or the PG* variables, as libpq reads them.
SIGINT and SIGTERM end the recording. Exit statuses: 0 stopped as asked, 1 the recording file failed, 2 a wrong command line, 3 no connection at the start, 4 the server refused the login (the same password would only fail again).
</translation>
    </message>
</context>
<context>
    <name>RecordExport</name>
    <message>
        <source>Записано снимков: %1, в «%2».</source>
        <translation>Snapshots written: %1, to &quot;%2&quot;.</translation>
    </message>
    <message>
        <source>Сводка: «%1».</source>
        <translation>Summary: &quot;%1&quot;.</translation>
    </message>
</context>
<context>
    <name>Recorder</name>
    <message>
        <source>У входа %1 нет права VIEW SERVER STATE: записываются только его собственные сеансы.</source>
        <translation>The login %1 lacks VIEW SERVER STATE: only its own sessions are recorded.</translation>
    </message>
    <message>
        <source>запись не велась</source>
        <translation>not recording</translation>
    </message>
    <message>
        <source>Соединение восстановлено: %1</source>
        <translation>Connection restored: %1</translation>
    </message>
    <message>
        <source>Подключено: %1</source>
        <translation>Connected: %1</translation>
    </message>
    <message>
        <source>Нет соединения: %1 Следующая попытка через %2 с.</source>
        <translation>No connection: %1 Next attempt in %2 s.</translation>
    </message>
    <message>
        <source>Соединение потеряно: %1</source>
        <translation>Connection lost: %1</translation>
    </message>
    <message>
        <source>Часы компьютера снова идут вместе с записью.</source>
        <translation>The computer&apos;s clock agrees with the recording again.</translation>
    </message>
    <message>
        <source>Часы компьютера ушли от времени записи на %1 с; запись продолжает своё время без скачка.</source>
        <translation>The computer&apos;s clock moved %1 s away from the recording&apos;s time; the recording goes on with its own time, without a jump.</translation>
    </message>
</context>
<context>
    <name>Recording</name>
    <message>
        <source>Файл «%1» не является записью Dervel.</source>
        <translation>The file &quot;%1&quot; is not a Dervel recording.</translation>
    </message>
    <message>
        <source>Файл записи «%1» повреждён или обрезан: %2</source>
        <translation>The recording &quot;%1&quot; is damaged or cut short: %2</translation>
    </message>
    <message>
        <source>Не удалось открыть файл записи «%1»: %2</source>
        <translation>Cannot open the recording &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>Ошибка файла записи «%1»: %2</source>
        <translation>Recording file error &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>Файл записи «%1» не найден.</source>
        <translation>The recording &quot;%1&quot; was not found.</translation>
    </message>
    <message>
        <source>Запись «%1» сделана более новой версией Dervel (формат %2); эта версия читает формат %3.</source>
        <translation>The recording &quot;%1&quot; was made by a newer Dervel (format %2); this version reads format %3.</translation>
    </message>
    <message>
        <source>Файл «%1» — запись другого сервера («%2»).</source>
        <translation>The file &quot;%1&quot; is a recording of another server (&quot;%2&quot;).</translation>
    </message>
    <message>
        <source>Файл записи «%1» повреждён: снимок %2 не читается.</source>
        <translation>The recording &quot;%1&quot; is damaged: snapshot %2 cannot be read.</translation>
    </message>
    <message>
        <source>Файл записи «%1»: снимок %2 занял бы больше памяти, чем отводится на снимок. Такого Dervel не записывает: файл повреждён или подделан.</source>
        <translation>Recording file “%1”: snapshot %2 would take more memory than a snapshot is allowed. Dervel never writes such a snapshot: the file is damaged or forged.</translation>
    </message>
    <message>
        <source>В записи «%1» больше %2 снимков или перерывов: столько не прочесть. Такие записи ограничивают параметром --retain.</source>
        <translation>The recording “%1” holds more than %2 snapshots or gaps: too many to read. Recordings like that are kept short with --retain.</translation>
    </message>
    <message>
        <source>В записи «%1» нет снимка %2 из %3.</source>
        <translation>The recording “%1” has no snapshot %2 of %3.</translation>
    </message>
    <message>
        <source>Не удалось закрыть файл записи «%1» от других пользователей: %2</source>
        <translation>Cannot make the recording file “%1” private to its owner: %2</translation>
    </message>
    <message>
        <source>«%1» — не обычный файл: записывать в него нельзя.</source>
        <translation>“%1” is not a regular file: it cannot be recorded into.</translation>
    </message>
    <message>
        <source>Не удалось создать файл блокировки «%1»: %2</source>
        <translation>Cannot create the lock file “%1”: %2</translation>
    </message>
    <message>
        <source>Файл записи «%1» уже пишет другой процесс (dervel-record или окно Dervel): два писателя перемешали бы снимки. Дождитесь его окончания или укажите другой файл.</source>
        <translation>Another process (dervel-record or a Dervel window) is already writing the recording file “%1”: two writers would mix their snapshots. Wait for it to end or give another file.</translation>
    </message>
</context>
<context>
    <name>ReplayExport</name>
    <message>
        <source>Период нельзя записать в ту же запись, из которой он взят.</source>
        <translation>A span cannot be written into the recording it is taken from.</translation>
    </message>
    <message>
        <source>Не удалось заменить файл «%1».</source>
        <translation>Could not replace the file &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>Сохранить период</source>
        <translation>Save span</translation>
    </message>
    <message>
        <source>Записи Dervel (*.dervelrec);;Все файлы (*)</source>
        <translation>Dervel recordings (*.dervelrec);;All files (*)</translation>
    </message>
    <message>
        <source>Записано снимков: %1, в «%2»; сводка — «%3».</source>
        <translation>Snapshots written: %1, to &quot;%2&quot;; the summary is &quot;%3&quot;.</translation>
    </message>
    <message>
        <source>Записано снимков: %1, в «%2».</source>
        <translation>Snapshots written: %1, to &quot;%2&quot;.</translation>
    </message>
</context>
<context>
    <name>Sampler</name>
    <message>
        <source>Неизвестная ошибка.</source>
        <translation>Unknown error.</translation>
    </message>
</context>
<context>
    <name>Server</name>
    <message>
        <source>Ошибка при подключении к %1:<byte value="xd"/>
%2</source>
        <translation>Cannot connect to %1:<byte value="xd"/>
%2</translation>
    </message>
</context>
<context>
    <name>SessionDetail</name>
    <message>
        <source> No statesments available</source>
        <translation> No statements available</translation>
    </message>
    <message>
        <source> Error</source>
        <translation> Error</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>Ошибка чтения реестра.</source>
        <translation>Cannot read the settings.</translation>
    </message>
</context>
<context>
    <name>SettingsFile</name>
    <message>
        <source>файл пуст</source>
        <translation>the file is empty</translation>
    </message>
    <message>
        <source>файл не является текстом UTF-16</source>
        <translation>the file is not valid UTF-16 text</translation>
    </message>
    <message>
        <source>строка не является текстом UTF-8</source>
        <translation>the line is not UTF-8 text</translation>
    </message>
    <message>
        <source>файл обрывается внутри строки</source>
        <translation>the file ends inside this line</translation>
    </message>
    <message>
        <source>строка содержит символ NUL</source>
        <translation>the line holds a NUL character</translation>
    </message>
    <message>
        <source>первая строка не &quot;Windows Registry Editor Version 5.00&quot;</source>
        <translation>the first line is not &quot;Windows Registry Editor Version 5.00&quot;</translation>
    </message>
    <message>
        <source>строка не является ни разделом, ни параметром</source>
        <translation>the line is neither a key nor a value</translation>
    </message>
    <message>
        <source>в имени раздела нет закрывающей &quot;]&quot;</source>
        <translation>the key name has no closing &quot;]&quot;</translation>
    </message>
    <message>
        <source>раздел находится не в HKEY_CURRENT_USER</source>
        <translation>the key is not below HKEY_CURRENT_USER</translation>
    </message>
    <message>
        <source>в пути раздела есть пустое имя</source>
        <translation>the key path has an empty name</translation>
    </message>
    <message>
        <source>обратная косая черта в кавычках должна предшествовать \ или &quot;</source>
        <translation>a backslash in quotes must escape \ or &quot;</translation>
    </message>
    <message>
        <source>у текста в кавычках нет закрывающей кавычки</source>
        <translation>the quoted text has no closing quote</translation>
    </message>
    <message>
        <source>неверный шестнадцатеричный байт &quot;%1&quot;</source>
        <translation>bad hex byte &quot;%1&quot;</translation>
    </message>
    <message>
        <source>параметр в удаляемом разделе</source>
        <translation>a value under a key being deleted</translation>
    </message>
    <message>
        <source>параметр перед первым разделом</source>
        <translation>a value before the first key</translation>
    </message>
    <message>
        <source>после имени параметра нет &quot;=&quot;</source>
        <translation>the value name is not followed by &quot;=&quot;</translation>
    </message>
    <message>
        <source>текст после закрывающей кавычки</source>
        <translation>text after the closing quote</translation>
    </message>
    <message>
        <source>для dword нужно от 1 до 8 шестнадцатеричных цифр</source>
        <translation>a dword needs 1 to 8 hex digits</translation>
    </message>
    <message>
        <source>неверный тип параметра в &quot;hex(...)&quot;</source>
        <translation>bad value type in &quot;hex(...)&quot;</translation>
    </message>
    <message>
        <source>после &quot;hex&quot; нет &quot;:&quot;</source>
        <translation>&quot;hex&quot; is not followed by &quot;:&quot;</translation>
    </message>
    <message>
        <source>шестнадцатеричные данные продолжаются за концом файла</source>
        <translation>the hex data continues past the end of the file</translation>
    </message>
    <message>
        <source>неизвестный вид параметра</source>
        <translation>unknown kind of value</translation>
    </message>
    <message>
        <source>файл больше %1 байт</source>
        <translation>the file is larger than %1 bytes</translation>
    </message>
    <message>
        <source>Файл настроек &quot;%1&quot; повреждён в строке %2: %3.</source>
        <translation>The settings file &quot;%1&quot; is damaged at line %2: %3.</translation>
    </message>
    <message>
        <source><byte value="xd"/>
Переименовать его не удалось (%1), поэтому настройки в него не записываются.</source>
        <translation><byte value="xd"/>
It could not be renamed (%1), so no settings are written to it.</translation>
    </message>
    <message>
        <source><byte value="xd"/>
Он сохранён как &quot;%1&quot;, настройки записываются в новый файл.</source>
        <translation><byte value="xd"/>
It was kept as &quot;%1&quot;; the settings go to a new file.</translation>
    </message>
</context>
<context>
    <name>SpanExport</name>
    <message>
        <source>В записи «%1» нет снимков за этот период.</source>
        <translation>The recording &quot;%1&quot; has no snapshots in this span.</translation>
    </message>
    <message>
        <source>Файл «%1» уже существует.</source>
        <translation>The file &quot;%1&quot; already exists.</translation>
    </message>
</context>
<context>
    <name>StatusBar</name>
    <message>
        <source>ПАУЗА</source>
        <translation>PAUSED</translation>
    </message>
    <message>
        <source>Всего процессов</source>
        <translation>Sessions in all</translation>
    </message>
    <message>
        <source>Заблокированных процессов</source>
        <translation>Blocked sessions</translation>
    </message>
    <message>
        <source>Отмеченных процессов</source>
        <translation>Marked sessions</translation>
    </message>
    <message>
        <source>Последний снимок: %1 мс, строк: %2, получено %3.</source>
        <translation>Last sample: %1 ms, %2 rows, %3 received.</translation>
    </message>
    <message>
        <source>Последний снимок: %1 мс, строк: %2.</source>
        <translation>Last sample: %1 ms, %2 rows.</translation>
    </message>
    <message>
        <source>Снимки приходят раз в %1 с.</source>
        <translation>A snapshot every %1 s.</translation>
    </message>
    <message>
        <source>Снимок длится дольше выбранного периода (%1 с): снимки приходят реже.</source>
        <translation>A sample takes longer than the chosen period (%1 s): snapshots come less often.</translation>
    </message>
</context>
<context>
    <name>SummaryHtml</name>
    <message>
        <source>Нет.</source>
        <translation>None.</translation>
    </message>
    <message>
        <source>SPID</source>
        <translation>SPID</translation>
    </message>
    <message>
        <source>Логин</source>
        <translation>Login</translation>
    </message>
    <message>
        <source>Компьютер</source>
        <translation>Host</translation>
    </message>
    <message>
        <source>Программа</source>
        <translation>Program</translation>
    </message>
    <message>
        <source>База</source>
        <translation>Database</translation>
    </message>
    <message>
        <source>Команда</source>
        <translation>Command</translation>
    </message>
    <message>
        <source>ЦП, мс</source>
        <translation>CPU, ms</translation>
    </message>
    <message>
        <source>Ожидал, с</source>
        <translation>Waited, s</translation>
    </message>
    <message>
        <source>Дольше всего, с</source>
        <translation>Longest wait, s</translation>
    </message>
    <message>
        <source>Тип ожидания</source>
        <translation>Wait type</translation>
    </message>
    <message>
        <source>Ресурс</source>
        <translation>Resource</translation>
    </message>
    <message>
        <source>Эпизоды блокировок</source>
        <translation>Blocking episodes</translation>
    </message>
    <message>
        <source>Начало</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Конец</source>
        <translation>End</translation>
    </message>
    <message>
        <source>Длительность, с</source>
        <translation>Duration, s</translation>
    </message>
    <message>
        <source>Головной SPID</source>
        <translation>Head SPID</translation>
    </message>
    <message>
        <source>Транзакций</source>
        <translation>Open transactions</translation>
    </message>
    <message>
        <source>Ждали сразу</source>
        <translation>Waiting at once</translation>
    </message>
    <message>
        <source>Ждали всего</source>
        <translation>Waiting in all</translation>
    </message>
    <message>
        <source>Ресурсы</source>
        <translation>Resources</translation>
    </message>
    <message>
        <source>продолжается</source>
        <translation>still going</translation>
    </message>
    <message>
        <source>перерыв в записи</source>
        <translation>gap in the recording</translation>
    </message>
    <message>
        <source>%1: %2 — %3</source>
        <translation>%1: %2 — %3</translation>
    </message>
    <message>
        <source>Сервер</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>Подключение</source>
        <translation>Connection</translation>
    </message>
    <message>
        <source>Версия</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>Период</source>
        <translation>Span</translation>
    </message>
    <message>
        <source>%1 — %2 (UTC%3), снимков: %4</source>
        <translation>%1 — %2 (UTC%3), snapshots: %4</translation>
    </message>
    <message>
        <source>Разрыв</source>
        <translation>Gap</translation>
    </message>
    <message>
        <source>Оповещения</source>
        <translation>Alerts</translation>
    </message>
    <message>
        <source>Время</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Событие</source>
        <translation>Event</translation>
    </message>
    <message>
        <source>Правило</source>
        <translation>Rule</translation>
    </message>
    <message>
        <source>О чём</source>
        <translation>Subject</translation>
    </message>
    <message>
        <source>Больше всего ЦП</source>
        <translation>Most CPU</translation>
    </message>
    <message>
        <source>Дольше всего ждали</source>
        <translation>Longest waits</translation>
    </message>
    <message>
        <source>Не удалось записать «%1»: %2</source>
        <translation>Could not write &quot;%1&quot;: %2</translation>
    </message>
</context>
<context>
    <name>TAlertCommands</name>
    <message>
        <source>Оповещения</source>
        <translation>Alerts</translation>
    </message>
    <message>
        <source>Оповещения…</source>
        <translation>Alerts…</translation>
    </message>
    <message>
        <source>Оповещения: блокировки, долгие запросы, молчащие серверы (Ctrl+Shift+A)</source>
        <translation>Alerts: blocking, long requests, silent servers (Ctrl+Shift+A)</translation>
    </message>
    <message>
        <source>Уведомления на рабочем столе недоступны (%1): оповещения видны в панели «Оповещения» (Ctrl+Shift+A) и значками в списке серверов.</source>
        <translation>Desktop notifications are unavailable (%1): alerts are shown in the &quot;Alerts&quot; pane (Ctrl+Shift+A) and by marks in the server list.</translation>
    </message>
    <message>
        <source>И ещё таких же: %1.</source>
        <translation>And %1 more like it.</translation>
    </message>
    <message>
        <source>Правила оповещений не сохранены:
%1</source>
        <translation>The alert rules were not saved:
%1</translation>
    </message>
</context>
<context>
    <name>TAlertListModel</name>
    <message>
        <source>%1 с</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 мин %2 с</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>%1 ч %2 мин</source>
        <translation>%1 h %2 min</translation>
    </message>
    <message>
        <source>идёт</source>
        <translation>open</translation>
    </message>
    <message>
        <source>Начало</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Конец</source>
        <translation>End</translation>
    </message>
    <message>
        <source>Длительность</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>Сервер</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>Правило</source>
        <translation>Rule</translation>
    </message>
    <message>
        <source>О чём</source>
        <translation>Subject</translation>
    </message>
</context>
<context>
    <name>TAlertRulesDialog</name>
    <message>
        <source>Включено</source>
        <translation>Enabled</translation>
    </message>
    <message>
        <source>Все серверы</source>
        <translation>All servers</translation>
    </message>
    <message>
        <source>Только отмеченные:</source>
        <translation>Only those ticked:</translation>
    </message>
    <message>
        <source>Оповещения</source>
        <translation>Alerts</translation>
    </message>
    <message>
        <source>Порог:</source>
        <translation>Threshold:</translation>
    </message>
    <message>
        <source>Не оповещать о сеансах (через «;», «*» — любой текст):</source>
        <translation>Do not alert on sessions of (separated by &quot;;&quot;, &quot;*&quot; is any text):</translation>
    </message>
    <message>
        <source>Логины:</source>
        <translation>Logins:</translation>
    </message>
    <message>
        <source>Программы:</source>
        <translation>Programs:</translation>
    </message>
    <message>
        <source>Базы данных:</source>
        <translation>Databases:</translation>
    </message>
    <message>
        <source>Команды:</source>
        <translation>Commands:</translation>
    </message>
</context>
<context>
    <name>TBlockingCommands</name>
    <message>
        <source>Дерево блокировок</source>
        <translation>Blocking tree</translation>
    </message>
    <message>
        <source>Дерево блокировок: кто кого держит (Ctrl+T)</source>
        <translation>Blocking tree: who holds whom (Ctrl+T)</translation>
    </message>
</context>
<context>
    <name>TBlockingPane</name>
    <message>
        <source>Цепочек блокировок нет.</source>
        <translation>No blocking chains.</translation>
    </message>
</context>
<context>
    <name>TBlockingTreeModel</name>
    <message>
        <source>не входит в текущий фильтр</source>
        <translation>not in the current filter</translation>
    </message>
    <message>
        <source>сеансы ждут друг друга по кругу</source>
        <translation>sessions wait for each other in a circle</translation>
    </message>
    <message>
        <source>спит с открытой транзакцией</source>
        <translation>sleeping with an open transaction</translation>
    </message>
    <message>
        <source>Waiting</source>
        <translation>Waiting</translation>
    </message>
    <message>
        <source>Longest Wait</source>
        <translation>Longest Wait</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>Note</translation>
    </message>
</context>
<context>
    <name>TConnectionForm</name>
    <message>
        <source>Наименование подключения</source>
        <translation>Connection name</translation>
    </message>
    <message>
        <source>Строка подключения</source>
        <translation>Connection string</translation>
    </message>
    <message>
        <source>ОК</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Поключение</source>
        <translation>Connection</translation>
    </message>
    <message>
        <source>Внимание! Пароль будет сохранён в открытом виде. Продолжить?</source>
        <translation>Warning: the password will be stored as plain text. Continue?</translation>
    </message>
    <message>
        <source>Сохранить пароль в связке ключей, а не в строке подключения?</source>
        <translation>Keep the password in the keyring instead of the connection string?</translation>
    </message>
</context>
<context>
    <name>TContainerForm</name>
    <message>
        <source>Просмотр</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>Процесс не найден.</source>
        <translation>Process not found.</translation>
    </message>
</context>
<context>
    <name>TDataLinkDialog</name>
    <message>
        <source>Встроенная безопасность Windows</source>
        <translation>Windows integrated security</translation>
    </message>
    <message>
        <source>Имя пользователя и пароль:</source>
        <translation>User name and password:</translation>
    </message>
    <message>
        <source>Пустой пароль</source>
        <translation>Blank password</translation>
    </message>
    <message>
        <source>Разрешить сохранение пароля</source>
        <translation>Allow saving the password</translation>
    </message>
    <message>
        <source>Проверить подключение</source>
        <translation>Test connection</translation>
    </message>
    <message>
        <source>ОК</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Свойства канала передачи данных</source>
        <translation>Data link properties</translation>
    </message>
    <message>
        <source>имя, имя\экземпляр или имя,порт</source>
        <translation>name, name\instance or name,port</translation>
    </message>
    <message>
        <source>Вход на сервер</source>
        <translation>Log on to the server</translation>
    </message>
    <message>
        <source>Пользователь:</source>
        <translation>User:</translation>
    </message>
    <message>
        <source>Пароль:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>Поставщик:</source>
        <translation>Provider:</translation>
    </message>
    <message>
        <source>Имя сервера:</source>
        <translation>Server name:</translation>
    </message>
    <message>
        <source>База данных:</source>
        <translation>Database:</translation>
    </message>
    <message>
        <source>Время ожидания подключения, с:</source>
        <translation>Connect timeout, s:</translation>
    </message>
    <message>
        <source>Проверка подключения выполнена успешно.</source>
        <translation>Test connection succeeded.</translation>
    </message>
    <message>
        <source>Проверка подключения</source>
        <translation>Test connection</translation>
    </message>
    <message>
        <source>Доверять сертификату сервера</source>
        <translation>Trust the server&apos;s certificate</translation>
    </message>
    <message>
        <source>Как принято у поставщика</source>
        <translation>The provider&apos;s default</translation>
    </message>
    <message>
        <source>Необязательно</source>
        <translation>Optional</translation>
    </message>
    <message>
        <source>Обязательно</source>
        <translation>Mandatory</translation>
    </message>
    <message>
        <source>системное хранилище сертификатов</source>
        <translation>the system&apos;s certificate store</translation>
    </message>
    <message>
        <source>Шифрование</source>
        <translation>Encryption</translation>
    </message>
    <message>
        <source>Шифровать данные:</source>
        <translation>Encrypt data:</translation>
    </message>
    <message>
        <source>Центры сертификации:</source>
        <translation>Certificate authorities:</translation>
    </message>
    <message>
        <source>Строго (TDS 8.0)</source>
        <translation>Strict (TDS 8.0)</translation>
    </message>
</context>
<context>
    <name>TDatabaseRecordingDialog</name>
    <message>
        <source>Показать записи</source>
        <translation>Show recordings</translation>
    </message>
    <message>
        <source>Запись из базы</source>
        <translation>Recording from a database</translation>
    </message>
    <message>
        <source>postgresql://пользователь@сервер/база</source>
        <translation>postgresql://user@host/database</translation>
    </message>
    <message>
        <source>Сервер</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>С</source>
        <translation>From</translation>
    </message>
    <message>
        <source>По</source>
        <translation>To</translation>
    </message>
    <message>
        <source>Снимков</source>
        <translation>Snapshots</translation>
    </message>
    <message>
        <source>Адрес базы:</source>
        <translation>Database address:</translation>
    </message>
    <message>
        <source>Адрес базы начинается с postgresql:// или postgres://.</source>
        <translation>A database address begins with postgresql:// or postgres://.</translation>
    </message>
    <message>
        <source>Чтение списка записей…</source>
        <translation>Reading the list of recordings…</translation>
    </message>
    <message>
        <source>В базе пока нет ни одной записи.</source>
        <translation>The database holds no recording yet.</translation>
    </message>
</context>
<context>
    <name>TEpisodeCommands</name>
    <message>
        <source>Эпизоды блокировок</source>
        <translation>Blocking episodes</translation>
    </message>
    <message>
        <source>Эпизоды блокировок записи: когда, кто держал, сколько ждали (Ctrl+Shift+E)</source>
        <translation>The recording's blocking episodes: when, who held, how many waited (Ctrl+Shift+E)</translation>
    </message>
    <message>
        <source>Эпизоды не найдены: %1</source>
        <translation>Episodes not found: %1</translation>
    </message>
    <message>
        <source>Поиск эпизодов блокировок…</source>
        <translation>Finding blocking episodes…</translation>
    </message>
    <message>
        <source>В записи нет эпизодов блокировок.</source>
        <translation>The recording has no blocking episodes.</translation>
    </message>
</context>
<context>
    <name>TEpisodeListModel</name>
    <message>
        <source>Эпизод прервался перерывом в записи: блокировка могла длиться и дальше</source>
        <translation>A gap in the recording cut the episode short: the blocking may have gone on</translation>
    </message>
    <message>
        <source>идёт</source>
        <translation>still going</translation>
    </message>
    <message>
        <source>%1 (перерыв)</source>
        <translation>%1 (gap)</translation>
    </message>
    <message>
        <source>Начало</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Конец</source>
        <translation>End</translation>
    </message>
    <message>
        <source>Длительность, с</source>
        <translation>Duration, s</translation>
    </message>
    <message>
        <source>Головной SPID</source>
        <translation>Head SPID</translation>
    </message>
    <message>
        <source>Логин</source>
        <translation>Login</translation>
    </message>
    <message>
        <source>Компьютер</source>
        <translation>Host</translation>
    </message>
    <message>
        <source>Программа</source>
        <translation>Program</translation>
    </message>
    <message>
        <source>Ждали сразу</source>
        <translation>Waiting at once</translation>
    </message>
    <message>
        <source>Ждали всего</source>
        <translation>Waiting in all</translation>
    </message>
    <message>
        <source>Дольше всего, с</source>
        <translation>Longest wait, s</translation>
    </message>
    <message>
        <source>Ресурсы</source>
        <translation>Resources</translation>
    </message>
</context>
<context>
    <name>TErrorPanel</name>
    <message>
        <source>Невозможно получить данные.</source>
        <translation>Cannot get the data.</translation>
    </message>
    <message>
        <source>Сообщение от провайдера:</source>
        <translation>The provider says:</translation>
    </message>
</context>
<context>
    <name>TEstateCommands</name>
    <message>
        <source>Подключить все</source>
        <translation>Connect all</translation>
    </message>
    <message>
        <source>Подключать при запуске</source>
        <translation>Connect at start</translation>
    </message>
    <message>
        <source>Обновлять сводку</source>
        <translation>Refresh the summary</translation>
    </message>
</context>
<context>
    <name>TEstateModel</name>
    <message>
        <source>Сводка не получена: %1</source>
        <translation>No summary: %1</translation>
    </message>
    <message>
        <source>Сводка получена %1 с назад за %2 мс</source>
        <translation>Summary from %1 s ago, took %2 ms</translation>
    </message>
    <message>
        <source>Сервер</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>Сеансы</source>
        <translation>Sessions</translation>
    </message>
    <message>
        <source>Запросы</source>
        <translation>Requests</translation>
    </message>
    <message>
        <source>Ждут</source>
        <translation>Waiting</translation>
    </message>
    <message>
        <source>Ожидание, с</source>
        <translation>Longest wait, s</translation>
    </message>
    <message>
        <source>ЦП, мс/с</source>
        <translation>CPU, ms/s</translation>
    </message>
</context>
<context>
    <name>TGridFilters</name>
    <message>
        <source>Очистить</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>Очистить все фильтры</source>
        <translation>Clear all filters</translation>
    </message>
</context>
<context>
    <name>TGridMarks</name>
    <message>
        <source>Пометить</source>
        <translation>Mark</translation>
    </message>
    <message>
        <source>Снять все пометки</source>
        <translation>Clear all marks</translation>
    </message>
    <message>
        <source>Просмотр	Enter</source>
        <translation>Details	Enter</translation>
    </message>
    <message>
        <source>Просмотр с блокирующим	Ctrl+Enter</source>
        <translation>Details with the blocker	Ctrl+Enter</translation>
    </message>
    <message>
        <source>Пометить	Space</source>
        <translation>Mark	Space</translation>
    </message>
    <message>
        <source>Снять все пометки	Shift+Space</source>
        <translation>Clear all marks	Shift+Space</translation>
    </message>
    <message>
        <source>Завершить процесс	Del</source>
        <translation>Kill process	Del</translation>
    </message>
    <message>
        <source>Завершить отмеченные	Ctrl+Del</source>
        <translation>Kill marked	Ctrl+Del</translation>
    </message>
    <message>
        <source>Снять пометку	Space</source>
        <translation>Unmark	Space</translation>
    </message>
</context>
<context>
    <name>THelpForm</name>
    <message>
        <source>Running</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>Runnable</source>
        <translation>Runnable</translation>
    </message>
    <message>
        <source>Blocking</source>
        <translation>Blocking</translation>
    </message>
    <message>
        <source>Blocked</source>
        <translation>Blocked</translation>
    </message>
    <message>
        <source>Suspended</source>
        <translation>Suspended</translation>
    </message>
    <message>
        <source>Dormant</source>
        <translation>Dormant</translation>
    </message>
    <message>
        <source>System</source>
        <translation>System</translation>
    </message>
    <message>
        <source>It&apos;s me</source>
        <translation>It&apos;s me</translation>
    </message>
    <message>
        <source>Ctrl+T — дерево блокировок</source>
        <translation>Ctrl+T — blocking tree</translation>
    </message>
    <message>
        <source>новый</source>
        <translation>new</translation>
    </message>
    <message>
        <source>завершён</source>
        <translation>ended</translation>
    </message>
    <message>
        <source>изменился</source>
        <translation>changed</translation>
    </message>
    <message>
        <source>Метка слева в строке при сравнении двух моментов записи</source>
        <translation>The mark at the left of a row when two moments of a recording are compared</translation>
    </message>
</context>
<context>
    <name>TKeyringActions</name>
    <message>
        <source>Перенести пароль в связку ключей</source>
        <translation>Move password to keyring</translation>
    </message>
    <message>
        <source>Перенести все пароли в связку ключей</source>
        <translation>Move all passwords to keyring</translation>
    </message>
    <message>
        <source>Паролей перенесено в связку ключей: %1</source>
        <translation>Passwords moved to the keyring: %1</translation>
    </message>
</context>
<context>
    <name>TLoginDialog</name>
    <message>
        <source>Авторизация</source>
        <translation>Log in</translation>
    </message>
    <message>
        <source>Пользователь:</source>
        <translation>User:</translation>
    </message>
    <message>
        <source>Пароль:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>ОК</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Покдключение: %1</source>
        <translation>Connection: %1</translation>
    </message>
    <message>
        <source>Запомнить пароль в связке ключей</source>
        <translation>Remember password in keyring</translation>
    </message>
</context>
<context>
    <name>TMainForm</name>
    <message>
        <source>Закрыть</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Закрыть программу</source>
        <translation>Exit Dervel</translation>
    </message>
</context>
<context>
    <name>TMonitorToolBar</name>
    <message>
        <source>0 с</source>
        <translation>0 s</translation>
    </message>
    <message>
        <source>0.1 с</source>
        <translation>0.1 s</translation>
    </message>
    <message>
        <source>1 с</source>
        <translation>1 s</translation>
    </message>
    <message>
        <source>2 с</source>
        <translation>2 s</translation>
    </message>
    <message>
        <source>5 с</source>
        <translation>5 s</translation>
    </message>
    <message>
        <source>10 с</source>
        <translation>10 s</translation>
    </message>
    <message>
        <source>30 с</source>
        <translation>30 s</translation>
    </message>
    <message>
        <source>1 мин</source>
        <translation>1 min</translation>
    </message>
    <message>
        <source>2 мин</source>
        <translation>2 min</translation>
    </message>
    <message>
        <source>5 мин</source>
        <translation>5 min</translation>
    </message>
    <message>
        <source>10 мин</source>
        <translation>10 min</translation>
    </message>
    <message>
        <source>30 мин</source>
        <translation>30 min</translation>
    </message>
    <message>
        <source>1 ч</source>
        <translation>1 h</translation>
    </message>
    <message>
        <source>Период опроса сервера</source>
        <translation>Sampling period</translation>
    </message>
    <message>
        <source>Следить за фокусом</source>
        <translation>Follow focus</translation>
    </message>
    <message>
        <source>Прокручивать до выделенной строки</source>
        <translation>Scroll to the focused row</translation>
    </message>
    <message>
        <source>Запись в файл</source>
        <translation>Record to file</translation>
    </message>
    <message>
        <source>Завершить процесс (Del)</source>
        <translation>Kill process (Del)</translation>
    </message>
    <message>
        <source>Просмотр (Enter)</source>
        <translation>Details (Enter)</translation>
    </message>
    <message>
        <source>Просмотр блокирующего процесса (Ctrl+Enter)</source>
        <translation>Details with the blocker (Ctrl+Enter)</translation>
    </message>
    <message>
        <source>Блокировки</source>
        <translation>Blocking</translation>
    </message>
    <message>
        <source>Блокирующие/блокируемые процессы (Ctrl+B)</source>
        <translation>Blocking and blocked sessions only (Ctrl+B)</translation>
    </message>
    <message>
        <source>Скрыть системные процессы</source>
        <translation>Hide system sessions</translation>
    </message>
    <message>
        <source>&lt;login&gt;</source>
        <translation>&lt;login&gt;</translation>
    </message>
    <message>
        <source>Фильтр по имени входа</source>
        <translation>Filter by login</translation>
    </message>
    <message>
        <source>Фильтр по наименованию базы данных</source>
        <translation>Filter by database</translation>
    </message>
</context>
<context>
    <name>TPanelSwitch</name>
    <message>
        <source>Скрыть/показать панель подключений</source>
        <translation>Hide/show the server panel</translation>
    </message>
    <message>
        <source>Скрыть панель подключений (F2)</source>
        <translation>Hide the server panel (F2)</translation>
    </message>
    <message>
        <source>Показать панель подключений (F2)</source>
        <translation>Show the server panel (F2)</translation>
    </message>
</context>
<context>
    <name>TPlanPage</name>
    <message>
        <source>равенство: %1</source>
        <translation>equality: %1</translation>
    </message>
    <message>
        <source>неравенство: %1</source>
        <translation>inequality: %1</translation>
    </message>
    <message>
        <source>включить: %1</source>
        <translation>include: %1</translation>
    </message>
    <message>
        <source>Недостающий индекс (выигрыш %1 %): %2 — %3</source>
        <translation>Missing index (impact %1 %): %2 — %3</translation>
    </message>
    <message>
        <source>Сохранить как .sqlplan…</source>
        <translation>Save as .sqlplan…</translation>
    </message>
    <message>
        <source>Копировать XML</source>
        <translation>Copy XML</translation>
    </message>
    <message>
        <source>Чтение плана…</source>
        <translation>Reading the plan…</translation>
    </message>
    <message>
        <source>Записи не хранят планов: для записанного сеанса плана нет.</source>
        <translation>Recordings keep no plans: there is no plan for a recorded session.</translation>
    </message>
    <message>
        <source>Запрос уже завершился: плана нет.</source>
        <translation>The request has already ended: there is no plan.</translation>
    </message>
    <message>
        <source>У запроса нет плана: сервер не хранит его в кэше.</source>
        <translation>The request has no plan: the server does not keep it in its cache.</translation>
    </message>
    <message>
        <source>План не удалось прочесть: %1</source>
        <translation>The plan could not be read: %1</translation>
    </message>
    <message>
        <source>Текущий план не прочитан, показан план из кэша: %1</source>
        <translation>The live plan could not be read, the cached plan is shown: %1</translation>
    </message>
    <message>
        <source>Предупреждение: %1</source>
        <translation>Warning: %1</translation>
    </message>
    <message>
        <source>В плане нет операторов.</source>
        <translation>The plan has no operators.</translation>
    </message>
    <message>
        <source>Текущий план со счётчиками (sys.dm_exec_query_statistics_xml)</source>
        <translation>Live plan with counters (sys.dm_exec_query_statistics_xml)</translation>
    </message>
    <message>
        <source>План из кэша (sys.dm_exec_text_query_plan)</source>
        <translation>Cached plan (sys.dm_exec_text_query_plan)</translation>
    </message>
    <message>
        <source>Сохранить план</source>
        <translation>Save the plan</translation>
    </message>
    <message>
        <source>Планы выполнения (*.sqlplan);;Все файлы (*)</source>
        <translation>Execution plans (*.sqlplan);;All files (*)</translation>
    </message>
    <message>
        <source>Не удалось сохранить план в «%1»: %2</source>
        <translation>Could not save the plan to “%1”: %2</translation>
    </message>
</context>
<context>
    <name>TPlanTreeModel</name>
    <message>
        <source>сброс в tempdb</source>
        <translation>spill to tempdb</translation>
    </message>
    <message>
        <source>нет условия соединения</source>
        <translation>no join predicate</translation>
    </message>
    <message>
        <source>неявное преобразование</source>
        <translation>implicit conversion</translation>
    </message>
    <message>
        <source>Оператор</source>
        <translation>Operator</translation>
    </message>
    <message>
        <source>Объект</source>
        <translation>Object</translation>
    </message>
    <message>
        <source>Строк по оценке</source>
        <translation>Estimated rows</translation>
    </message>
    <message>
        <source>Строк на деле</source>
        <translation>Actual rows</translation>
    </message>
    <message>
        <source>Расхождение</source>
        <translation>Off by</translation>
    </message>
    <message>
        <source>Стоимость</source>
        <translation>Cost</translation>
    </message>
    <message>
        <source>Предупреждения</source>
        <translation>Warnings</translation>
    </message>
</context>
<context>
    <name>TRecorderCommands</name>
    <message>
        <source>Запись для воспроизведения</source>
        <translation>Record for replay</translation>
    </message>
    <message>
        <source>Записывать сеансы сервера для воспроизведения</source>
        <translation>Record the server&apos;s sessions for replay</translation>
    </message>
    <message>
        <source>Идёт запись для воспроизведения: %1</source>
        <translation>Recording for replay: %1</translation>
    </message>
</context>
<context>
    <name>TReplay</name>
    <message>
        <source>В записи «%1» нет ни одного снимка.</source>
        <translation>The recording &quot;%1&quot; holds no snapshots.</translation>
    </message>
    <message>
        <source>Открыть запись</source>
        <translation>Open recording</translation>
    </message>
    <message>
        <source>Открыть запись для просмотра (Ctrl+O)</source>
        <translation>Open a recording for replay (Ctrl+O)</translation>
    </message>
    <message>
        <source>Записи Dervel (*.dervelrec);;Все файлы (*)</source>
        <translation>Dervel recordings (*.dervelrec);;All files (*)</translation>
    </message>
    <message>
        <source>Открыть запись из базы</source>
        <translation>Open recording from a database</translation>
    </message>
    <message>
        <source>Открыть запись из базы PostgreSQL (Ctrl+Shift+O)</source>
        <translation>Open a recording from a PostgreSQL database (Ctrl+Shift+O)</translation>
    </message>
    <message>
        <source>Сохранить период…</source>
        <translation>Save span…</translation>
    </message>
    <message>
        <source>Сохранить период записи отдельным файлом и сводку HTML</source>
        <translation>Save a span of the recording as a file of its own, with an HTML summary</translation>
    </message>
</context>
<context>
    <name>TReplayBar</name>
    <message>
        <source>Предыдущий снимок</source>
        <translation>Previous snapshot</translation>
    </message>
    <message>
        <source>Воспроизвести</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>Следующий снимок</source>
        <translation>Next snapshot</translation>
    </message>
    <message>
        <source>Перейти</source>
        <translation>Go</translation>
    </message>
    <message>
        <source>Закрыть запись</source>
        <translation>Close recording</translation>
    </message>
    <message>
        <source>Скорость воспроизведения</source>
        <translation>Playback speed</translation>
    </message>
    <message>
        <source>Время, к которому перейти (Enter)</source>
        <translation>Time to go to (Enter)</translation>
    </message>
    <message>
        <source>Снимок %1 из %2</source>
        <translation>Snapshot %1 of %2</translation>
    </message>
    <message>
        <source>перерыв %1 – %2</source>
        <translation>gap %1 – %2</translation>
    </message>
    <message>
        <source>Пауза</source>
        <translation>Pause</translation>
    </message>
</context>
<context>
    <name>TReplayComparison</name>
    <message>
        <source>Отметить момент</source>
        <translation>Mark moment</translation>
    </message>
    <message>
        <source>Сравнить</source>
        <translation>Compare</translation>
    </message>
    <message>
        <source>Отметить снимок на экране, чтобы сравнить с ним другой (Ctrl+M)</source>
        <translation>Mark the snapshot on show to compare another with it (Ctrl+M)</translation>
    </message>
    <message>
        <source>Сравнить снимок на экране с отмеченным: новые, завершённые и изменившиеся сеансы, прирост счётчиков (Ctrl+Shift+M)</source>
        <translation>Compare the snapshot on show with the marked one: new, ended and changed sessions, the counters&apos; growth (Ctrl+Shift+M)</translation>
    </message>
    <message>
        <source>отмечено %1</source>
        <translation>marked %1</translation>
    </message>
    <message>
        <source>Сравнение с %1: новых %2, завершились %3, изменились %4</source>
        <translation>Compared with %1: new %2, ended %3, changed %4</translation>
    </message>
    <message>
        <source> (между моментами перерыв в записи)</source>
        <translation> (the recording has a gap between the moments)</translation>
    </message>
</context>
<context>
    <name>TReplayTimeline</name>
    <message>
        <source>Щелчок — перейти к этому времени</source>
        <translation>Click to go to this time</translation>
    </message>
</context>
<context>
    <name>TRightsNotice</name>
    <message>
        <source>У входа %1 нет права VIEW SERVER STATE: видны только его собственные сеансы.</source>
        <translation>The login %1 lacks VIEW SERVER STATE: only its own sessions can be seen.</translation>
    </message>
</context>
<context>
    <name>TSamplingCommands</name>
    <message>
        <source>Обновить</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>Обновить данные</source>
        <translation>Refresh now</translation>
    </message>
    <message>
        <source>Пауза</source>
        <translation>Pause</translation>
    </message>
</context>
<context>
    <name>TSelColForm</name>
    <message>
        <source>Показывать колонки</source>
        <translation>Columns</translation>
    </message>
    <message>
        <source>Отметить все</source>
        <translation>Check all</translation>
    </message>
    <message>
        <source>Очистить всё</source>
        <translation>Clear all</translation>
    </message>
    <message>
        <source>Принять</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Настройка по умолчанию</source>
        <translation>Default layout</translation>
    </message>
    <message>
        <source>По умолчанию</source>
        <translation>Defaults</translation>
    </message>
    <message>
        <source>Показывать колонки (недоступно, пока идёт запись в файл)</source>
        <translation>Columns (read-only while recording to a file)</translation>
    </message>
    <message>
        <source>Будут восстановлены видимость, порядок и размеры колонок. Продолжить?</source>
        <translation>The columns&apos; visibility, order and widths will be restored. Continue?</translation>
    </message>
</context>
<context>
    <name>TServerListModel</name>
    <message>
        <source>&lt;не указано&gt;</source>
        <translation>&lt;unnamed&gt;</translation>
    </message>
</context>
<context>
    <name>TServerPanel</name>
    <message>
        <source>Добавить</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Добавить подключение</source>
        <translation>Add a server</translation>
    </message>
    <message>
        <source>Подключить</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>Отключить</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>Изменить</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>Изменить подключение</source>
        <translation>Edit server</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Удалить подключение</source>
        <translation>Delete server</translation>
    </message>
    <message>
        <source>Новое подключение</source>
        <translation>New server</translation>
    </message>
    <message>
        <source>Удалить подключение?</source>
        <translation>Delete this server?</translation>
    </message>
    <message>
        <source>Удаление</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Не удалось прервать соединение. Превышено время ожидания.</source>
        <translation>Cannot close the connection: timed out.</translation>
    </message>
</context>
<context>
    <name>TSessionCommands</name>
    <message>
        <source>Завершить процесс</source>
        <translation>Kill process</translation>
    </message>
    <message>
        <source>Завершить отмеченные</source>
        <translation>Kill marked</translation>
    </message>
    <message>
        <source>Просмотр</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>Просмотр блокирующего процесса</source>
        <translation>Details with the blocker</translation>
    </message>
    <message>
        <source>Помощь</source>
        <translation>Legend</translation>
    </message>
</context>
<context>
    <name>TSpanExportDialog</name>
    <message>
        <source>Сохранить период</source>
        <translation>Save span</translation>
    </message>
    <message>
        <source>Без текстов пакетов</source>
        <translation>Without batch texts</translation>
    </message>
    <message>
        <source>В текстах бывают пароли и данные клиентов</source>
        <translation>Texts may hold passwords and customer data</translation>
    </message>
    <message>
        <source>Сводка HTML рядом</source>
        <translation>HTML summary beside it</translation>
    </message>
    <message>
        <source>С:</source>
        <translation>From:</translation>
    </message>
    <message>
        <source>По:</source>
        <translation>To:</translation>
    </message>
</context>
<context>
    <name>TStatusPanel</name>
    <message>
        <source>Все</source>
        <translation>All</translation>
    </message>
    <message>
        <source>Нет</source>
        <translation>None</translation>
    </message>
    <message>
        <source>ОК</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>TViewForm</name>
    <message>
        <source>Обновить (F5)</source>
        <translation>Refresh (F5)</translation>
    </message>
    <message>
        <source>Kill</source>
        <translation>Kill</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Вверх</source>
        <translation>Up</translation>
    </message>
    <message>
        <source>Вниз</source>
        <translation>Down</translation>
    </message>
    <message>
        <source>Выделить и скопировать всё</source>
        <translation>Select and copy all</translation>
    </message>
    <message>
        <source>Копировать</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>Перенос по словам</source>
        <translation>Word wrap</translation>
    </message>
    <message>
        <source> — запись от %1</source>
        <translation> — recorded at %1</translation>
    </message>
    <message>
        <source> Запись от %1</source>
        <translation> Recorded at %1</translation>
    </message>
    <message>
        <source>План</source>
        <translation>Plan</translation>
    </message>
</context>
<context>
    <name>Tls</name>
    <message>
        <source>Не удалось установить зашифрованное соединение с «%1».</source>
        <translation>Could not make an encrypted connection to &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>Сервер не поддерживает шифрование.</source>
        <translation>The server does not support encryption.</translation>
    </message>
    <message>
        <source>Сервер (или кто-то между ним и Dervel) ответил, что шифрует только вход. Шифрование обязательно, поэтому соединение закрыто до входа: ни пароль, ни запросы не отправлены.</source>
        <translation>The server (or someone between it and Dervel) answered that it encrypts the login only. Encryption is required, so the connection was closed before the login: neither the password nor any query was sent.</translation>
    </message>
    <message>
        <source>Сертификат сервера не заверен доверенным центром сертификации.</source>
        <translation>The server&apos;s certificate is not signed by a trusted certificate authority.</translation>
    </message>
    <message>
        <source>Срок действия сертификата сервера истёк.</source>
        <translation>The server&apos;s certificate has expired.</translation>
    </message>
    <message>
        <source>Сертификат сервера ещё не действует.</source>
        <translation>The server&apos;s certificate is not valid yet.</translation>
    </message>
    <message>
        <source>Сертификат сервера выдан не для «%1».</source>
        <translation>The server&apos;s certificate was not issued for &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>Сертификат сервера отозван.</source>
        <translation>The server&apos;s certificate has been revoked.</translation>
    </message>
    <message>
        <source>Сертификат сервера подписан ненадёжным алгоритмом.</source>
        <translation>The server&apos;s certificate is signed with an insecure algorithm.</translation>
    </message>
    <message>
        <source>Не удалось прочитать файл центров сертификации «%1».</source>
        <translation>Could not read the certificate authorities&apos; file &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>Сервер прервал согласование TDS 8.0: шифрование Strict требует SQL Server 2022 или Azure SQL.</source>
        <translation>The server broke off the TDS 8.0 negotiation: Strict encryption needs SQL Server 2022 or Azure SQL.</translation>
    </message>
    <message>
        <source>Согласование TLS не удалось: %1</source>
        <translation>The TLS negotiation failed: %1</translation>
    </message>
    <message>
        <source>Не удалось соединиться с «%1»: %2</source>
        <translation>Could not connect to &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>Служба SQL Server Browser на «%1» не назвала порт экземпляра «%2».</source>
        <translation>The SQL Server Browser on &quot;%1&quot; did not name the port of the instance &quot;%2&quot;.</translation>
    </message>
    <message>
        <source>«%1» не ответил за время ожидания подключения.</source>
        <translation>&quot;%1&quot; did not answer within the connect timeout.</translation>
    </message>
    <message>
        <source>«%1» ответил не по протоколу TDS.</source>
        <translation>&quot;%1&quot; did not answer in the TDS protocol.</translation>
    </message>
    <message>
        <source>«%1» закрыл соединение, не ответив на PRELOGIN. Так поступает сервер, который принимает только TDS 8.0: для него нужно Use Encryption for Data=Strict.</source>
        <translation>&quot;%1&quot; closed the connection without answering PRELOGIN. A server that accepts TDS 8.0 only does that: it needs Use Encryption for Data=Strict.</translation>
    </message>
</context>
<context>
    <name>WindowSettings</name>
    <message>
        <source>Ошибка при загрузке настроек:<byte value="xd"/>
</source>
        <translation>Cannot load the settings:<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>Ошибка при сохранении настроек:<byte value="xd"/>
</source>
        <translation>Cannot save the settings:<byte value="xd"/>
</translation>
    </message>
</context>
</TS>
