// The data-link dialog reads any connection string a user may have stored and writes
// back the one the server entry keeps, so both directions are pinned here.

#include "servers/datalinkstring.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(TDataLinkSettings)

namespace {

TDataLinkSettings login(const QString& server, const QString& user, const QString& password,
                        bool save) {
    TDataLinkSettings s;
    s.server = server;
    s.user = user;
    s.password = password;
    s.savePassword = save;
    return s;
}

} // namespace

class TestDataLinkString : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void build_data();
    void build();
    void roundTrip_data();
    void roundTrip();
};

void TestDataLinkString::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<TDataLinkSettings>("expected");

    QTest::newRow("empty string gives the defaults") << u""_s << TDataLinkSettings{};

    TDataLinkSettings full = login(u"HOST\\INST"_s, u"sa"_s, u"secret"_s, true);
    full.provider = u"SQLNCLI11"_s;
    full.database = u"master"_s;
    full.connectTimeout = 30;
    QTest::newRow("full string")
        << u"Provider=SQLNCLI11;Persist Security Info=True;User ID=sa;Password=secret;"
           u"Initial Catalog=master;Data Source=HOST\\INST;Connect Timeout=30"_s
        << full;

    QTest::newRow("keywords in any letter case")
        << u"provider=SQLNCLI11;persist security info=true;user id=sa;PASSWORD=secret;"
           u"initial catalog=master;DATA SOURCE=HOST\\INST;connect timeout=30"_s
        << full;

    TDataLinkSettings aliases = full;
    aliases.password.clear();
    aliases.savePassword = false;
    aliases.connectTimeout = TDataLinkSettings::kDefaultConnectTimeout;
    QTest::newRow("Server and Database")
        << u"Provider=SQLNCLI11;User ID=sa;Database=master;Server=HOST\\INST"_s << aliases;
    QTest::newRow("Address")
        << u"Provider=SQLNCLI11;User ID=sa;Database=master;Address=HOST\\INST"_s << aliases;

    TDataLinkSettings first = TDataLinkSettings{};
    first.server = u"ds"_s;
    QTest::newRow("Data Source before Server before Address")
        << u"Address=ad;Server=sv;Data Source=ds"_s << first;
    first.server = u"sv"_s;
    QTest::newRow("Server before Address") << u"Address=ad;Server=sv"_s << first;

    TDataLinkSettings sspi;
    sspi.server = u"h"_s;
    sspi.integratedSecurity = true;
    QTest::newRow("integrated security") << u"Integrated Security=SSPI;Data Source=h"_s << sspi;
    QTest::newRow("integrated security, lower case value")
        << u"Integrated Security=sspi;Data Source=h"_s << sspi;
    QTest::newRow("integrated security true")
        << u"Integrated Security=True;Data Source=h"_s << sspi;
    sspi.integratedSecurity = false;
    QTest::newRow("integrated security false")
        << u"Integrated Security=False;Data Source=h"_s << sspi;

    TDataLinkSettings blank = login(u"h"_s, u"u"_s, u""_s, false);
    blank.blankPassword = true;
    QTest::newRow("two double quotes: blank password")
        << u"Data Source=h;User ID=u;Password=\"\""_s << blank;
    QTest::newRow("empty password item: blank password")
        << u"Data Source=h;User ID=u;Password="_s << blank;

    QTest::newRow("a stored password means it was saved")
        << u"Data Source=h;User ID=u;Password=p"_s << login(u"h"_s, u"u"_s, u"p"_s, true);
    QTest::newRow("persist without a password")
        << u"Data Source=h;User ID=u;Persist Security Info=True"_s
        << login(u"h"_s, u"u"_s, u""_s, true);
    QTest::newRow("quoted password") << u"Data Source=h;User ID=u;Password=\"a;\"\"b\""_s
                                     << login(u"h"_s, u"u"_s, u"a;\"b"_s, true);

    TDataLinkSettings timeout;
    QTest::newRow("timeout not a number gives the default") << u"Connect Timeout=soon"_s << timeout;
    QTest::newRow("negative timeout gives the default") << u"Connect Timeout=-5"_s << timeout;
    timeout.connectTimeout = 0;
    QTest::newRow("zero timeout kept") << u"Connect Timeout=0"_s << timeout;

    TDataLinkSettings other;
    other.server = u"h"_s;
    other.otherItems = {u"Application Name=\"my; app\""_s, u"Packet Size=4096"_s,
                        u"workstation id = ws"_s};
    QTest::newRow("other items kept as written, in order")
        << u"Application Name=\"my; app\";Data Source=h;Packet Size=4096; workstation id = ws ;"_s
        << other;

    TDataLinkSettings tls;
    tls.server = u"h"_s;
    tls.encryption = TDataLinkSettings::TEncryption::Mandatory;
    tls.trustServerCertificate = true;
    tls.caFile = u"/etc/ca.pem"_s;
    QTest::newRow("encryption items")
        << u"Data Source=h;Use Encryption for Data=Mandatory;TrustServerCertificate=yes;"
           u"CAFile=/etc/ca.pem"_s
        << tls;
    TDataLinkSettings older;
    older.encryption = TDataLinkSettings::TEncryption::Optional;
    QTest::newRow("Encrypt=False, as older providers write it") << u"Encrypt=False"_s << older;
    TDataLinkSettings strict;
    strict.encryption = TDataLinkSettings::TEncryption::Strict;
    QTest::newRow("Strict") << u"Use Encryption for Data=strict"_s << strict;
    TDataLinkSettings unknown;
    unknown.otherItems = {u"Use Encryption for Data=Sometimes"_s};
    QTest::newRow("a value the dialog cannot show passes through")
        << u"Use Encryption for Data=Sometimes"_s << unknown;

    TDataLinkSettings cyr = login(u"сервер"_s, u"пользователь"_s, u"пароль"_s, true);
    QTest::newRow("Cyrillic values")
        << u"Data Source=сервер;User ID=пользователь;Password=пароль"_s << cyr;
}

void TestDataLinkString::parse() {
    QFETCH(QString, text);
    QFETCH(TDataLinkSettings, expected);

    const auto parsed = ParseDataLinkString(text);
    QVERIFY(parsed.has_value());
    const TDataLinkSettings& s = *parsed;
    QCOMPARE(s.provider, expected.provider);
    QCOMPARE(s.server, expected.server);
    QCOMPARE(s.integratedSecurity, expected.integratedSecurity);
    QCOMPARE(s.user, expected.user);
    QCOMPARE(s.password, expected.password);
    QCOMPARE(s.blankPassword, expected.blankPassword);
    QCOMPARE(s.savePassword, expected.savePassword);
    QCOMPARE(s.database, expected.database);
    QCOMPARE(s.connectTimeout, expected.connectTimeout);
    QCOMPARE(s.encryption, expected.encryption);
    QCOMPARE(s.trustServerCertificate, expected.trustServerCertificate);
    QCOMPARE(s.caFile, expected.caFile);
    QCOMPARE(s.otherItems, expected.otherItems);
}

void TestDataLinkString::build_data() {
    QTest::addColumn<TDataLinkSettings>("settings");
    QTest::addColumn<QString>("text");

    QTest::newRow("defaults")
        << TDataLinkSettings{}
        << u"Provider=SQLOLEDB.1;Persist Security Info=False;Connect Timeout=15"_s;

    TDataLinkSettings saved = login(u"HOST\\INST"_s, u"sa"_s, u"secret"_s, true);
    saved.database = u"master"_s;
    saved.connectTimeout = 30;
    QTest::newRow("password saved")
        << saved
        << u"Provider=SQLOLEDB.1;Data Source=HOST\\INST;Initial Catalog=master;User ID=sa;"
           u"Password=secret;Persist Security Info=True;Connect Timeout=30"_s;

    TDataLinkSettings unsaved = saved;
    unsaved.savePassword = false;
    QTest::newRow("password not saved")
        << unsaved
        << u"Provider=SQLOLEDB.1;Data Source=HOST\\INST;Initial Catalog=master;User ID=sa;"
           u"Persist Security Info=False;Connect Timeout=30"_s;

    TDataLinkSettings blank = login(u"h"_s, u"sa"_s, u"ignored"_s, false);
    blank.blankPassword = true;
    QTest::newRow("blank password")
        << blank
        << u"Provider=SQLOLEDB.1;Data Source=h;User ID=sa;Password=\"\";"
           u"Persist Security Info=False;Connect Timeout=15"_s;

    TDataLinkSettings sspi = saved;
    sspi.integratedSecurity = true;
    sspi.provider = u"MSOLEDBSQL"_s;
    QTest::newRow("integrated security writes no user or password")
        << sspi
        << u"Provider=MSOLEDBSQL;Data Source=HOST\\INST;Initial Catalog=master;"
           u"Integrated Security=SSPI;Persist Security Info=True;Connect Timeout=30"_s;

    TDataLinkSettings quoted = login(u" h,1433"_s, u"a;b"_s, u"p\"w;"_s, true);
    QTest::newRow("values quoted")
        << quoted
        << u"Provider=SQLOLEDB.1;\"Data Source= h,1433\";\"User ID=a;b\";"
           u"\"Password=p\"\"w;\";Persist Security Info=True;Connect Timeout=15"_s;

    TDataLinkSettings encrypted = login(u"h"_s, u""_s, u""_s, false);
    encrypted.encryption = TDataLinkSettings::TEncryption::Mandatory;
    encrypted.caFile = u"/my ca.pem"_s;
    encrypted.otherItems = {u"Application Name=x"_s};
    QTest::newRow("encryption items before the other items")
        << encrypted
        << u"Provider=SQLOLEDB.1;Data Source=h;Persist Security Info=False;Connect Timeout=15;"
           u"Use Encryption for Data=Mandatory;CAFile=/my ca.pem;Application Name=x"_s;

    TDataLinkSettings other = login(u"h"_s, u""_s, u""_s, false);
    other.otherItems = {u"Application Name=\"my; app\""_s, u"workstation id = ws"_s};
    QTest::newRow("other items appended unchanged")
        << other
        << u"Provider=SQLOLEDB.1;Data Source=h;Persist Security Info=False;Connect Timeout=15;"
           u"Application Name=\"my; app\";workstation id = ws"_s;
}

void TestDataLinkString::build() {
    QFETCH(TDataLinkSettings, settings);
    QFETCH(QString, text);
    QCOMPARE(BuildDataLinkString(settings), text);
}

void TestDataLinkString::roundTrip_data() {
    QTest::addColumn<QString>("text");

    QTest::newRow("canonical, saved password")
        << u"Provider=SQLNCLI11;Data Source=h,1433;Initial Catalog=db;User ID=sa;\"Password= x\";"
           u"Persist Security Info=True;Connect Timeout=5;Application Name=Dervel"_s;
    QTest::newRow("canonical, integrated")
        << u"Provider=MSOLEDBSQL;Data Source=h\\i;Integrated Security=SSPI;"
           u"Persist Security Info=False;Connect Timeout=15"_s;
    QTest::newRow("canonical, blank password")
        << u"Provider=SQLOLEDB.1;Data Source=h;User ID=u;Password=\"\";"
           u"Persist Security Info=False;Connect Timeout=15"_s;
}

void TestDataLinkString::roundTrip() {
    QFETCH(QString, text);
    const auto parsed = ParseDataLinkString(text);
    QVERIFY(parsed.has_value());
    QCOMPARE(BuildDataLinkString(*parsed), text);
}

QTEST_APPLESS_MAIN(TestDataLinkString)
#include "tst_datalinkstring.moc"
