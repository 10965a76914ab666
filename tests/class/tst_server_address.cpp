// Which server the drill uses, and that a server over the network is reached with its
// certificate and name checked, whatever the connection string leaves out.
#include "server_address.h"

#include <QTemporaryDir>
#include <QtTest>

class TestServerAddress : public QObject
{
    Q_OBJECT

private slots:
    void verifiesRemoteServers_data();
    void verifiesRemoteServers();
    void findsTheLabsService();
};

void TestServerAddress::verifiesRemoteServers_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("used");
    const QString verified = QStringLiteral(" sslmode=verify-full");
    QTest::newRow("a host name") << "host=db.school.example dbname=x"
                                 << "host=db.school.example dbname=x" + verified;
    QTest::newRow("an address") << "hostaddr=192.0.2.7 dbname=x"
                                << "hostaddr=192.0.2.7 dbname=x" + verified;
    QTest::newRow("one remote host of two") << "host=localhost,db.school.example"
                                            << "host=localhost,db.school.example" + verified;
    QTest::newRow("libpq's default mode") << "host=db.school.example sslmode=prefer"
                                          << "host=db.school.example sslmode=prefer" + verified;
    QTest::newRow("a URI") << "postgresql://db.school.example/x"
                           << "postgresql://db.school.example/x?sslmode=verify-full";
    QTest::newRow("a URI with a parameter") << "postgresql://db.school.example/x?user=a"
                                            << "postgresql://db.school.example/x?user=a&sslmode="
                                               "verify-full";
    QTest::newRow("a mode of its own") << "host=db.school.example sslmode=require"
                                       << "host=db.school.example sslmode=require";
    QTest::newRow("this machine by name") << "host=localhost"
                                          << "host=localhost";
    QTest::newRow("the loopback address") << "host=127.0.0.1"
                                          << "host=127.0.0.1";
    QTest::newRow("a Unix socket") << "host=/run/postgresql"
                                   << "host=/run/postgresql";
}

void TestServerAddress::verifiesRemoteServers()
{
    QFETCH(QString, given);
    QFETCH(QString, used);
    QCOMPARE(QString::fromStdString(serverAddress::withVerifiedTls(given.toStdString())), used);
}

void TestServerAddress::findsTheLabsService()
{
    QTemporaryDir folder;
    const QString file = folder.filePath("pg_service.conf");
    qputenv("PGSERVICEFILE", file.toLocal8Bit());
    qputenv("PGSYSCONFDIR", folder.path().toLocal8Bit());
    QCOMPARE(serverAddress::configured(""), std::string());
    QCOMPARE(serverAddress::configured("host=a"), std::string("host=a"));

    QFile service(file);
    QVERIFY(service.open(QIODevice::WriteOnly));
    service.write("[typing-drill]\nhost=db.school.example\ndbname=school\n");
    service.close();
    const std::string found = serverAddress::configured("");
    QCOMPARE(found, std::string("service=typing-drill"));
    // The service's host is remote and names no mode.
    QCOMPARE(serverAddress::withVerifiedTls(found), found + " sslmode=verify-full");
}

QTEST_GUILESS_MAIN(TestServerAddress)
#include "tst_server_address.moc"
