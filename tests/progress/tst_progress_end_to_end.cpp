#include "child_process.h"
#include "history_builder.h"
#include "progress_reader.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <poll.h>
#include <unistd.h>

namespace {

// Starts a server that prints one line when ready (Xvfb's display, the bus's address).
std::string startServer(pid_t &pid, const std::vector<std::string> &arguments,
                        const EnvironmentChanges &environment = {})
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    pid = startProcess(arguments, environment, fds[1]);
    close(fds[1]);
    std::string line;
    char c = 0;
    pollfd wanted {fds[0], POLLIN, 0};
    while (pid > 0 && poll(&wanted, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(fds[0]);
    return line;
}

} // namespace

// The built typing-drill-progress on Xvfb, read over the accessibility bus as a screen reader
// reads it, on a history the generator wrote; then a run added as the drill adds one.
class TestProgressEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void screenReaderHearsTheHistoryAndItsNewRuns();

private:
    QMap<QString, QString> readWindow();
    bool waitForLine(const QString &description, const QString &part);

    QTemporaryDir m_folder;
    EnvironmentChanges m_environment;
    pid_t m_xvfb = -1;
    pid_t m_bus = -1;
    pid_t m_accessibility = -1;
    pid_t m_program = -1;
};

void TestProgressEndToEnd::initTestCase()
{
    const std::string display =
        startServer(m_xvfb,
                    {"Xvfb", "-displayfd", "1", "-screen", "0", "1366x768x24", "-dpi", "96",
                     "-nolisten", "tcp", "-noreset"});
    QVERIFY2(!display.empty(), "Xvfb did not start");
    const std::string bus =
        startServer(m_bus, {"dbus-daemon", "--session", "--nofork", "--print-address=1"});
    QVERIFY2(!bus.empty(), "the session bus did not start");
    const QString runtime = m_folder.filePath("runtime");
    QVERIFY(QDir().mkpath(runtime));
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_environment = {{"DISPLAY", ":" + display},
                     {"DBUS_SESSION_BUS_ADDRESS", bus},
                     {"XDG_RUNTIME_DIR", runtime.toStdString()}};
    m_accessibility =
        startProcess({ACCESSIBILITY_BUS_LAUNCHER, "--launch-immediately"}, m_environment);
    QVERIFY2(m_accessibility > 0, "the accessibility bus did not start");
}

void TestProgressEndToEnd::cleanupTestCase()
{
    for (pid_t pid : {m_program, m_accessibility, m_bus, m_xvfb})
        endProcess(pid);
}

QMap<QString, QString> TestProgressEndToEnd::readWindow()
{
    QProcess reader;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto &[name, value] : m_environment)
        environment.insert(QString::fromStdString(name), QString::fromStdString(value));
    reader.setProcessEnvironment(environment);
    reader.start("/usr/bin/python3", {READ_WINDOW_SCRIPT});
    reader.waitForFinished(10000);
    QMap<QString, QString> lines;
    for (const QString &line : QString::fromUtf8(reader.readAllStandardOutput()).split('\n')) {
        const QStringList parts = line.split('\t');
        if (parts.size() == 2)
            lines.insert(parts[0], parts[1]);
    }
    return lines;
}

bool TestProgressEndToEnd::waitForLine(const QString &description, const QString &part)
{
    QString seen;
    for (int attempt = 0; attempt < 50; ++attempt) {
        seen = readWindow().value(description);
        if (seen.contains(part))
            return true;
        QTest::qWait(100);
    }
    qWarning() << description << "reads" << seen << "without" << part;
    return false;
}

void TestProgressEndToEnd::screenReaderHearsTheHistoryAndItsNewRuns()
{
    const QString history = m_folder.filePath("history.sqlite");
    QProcess generator;
    generator.start(GENERATE_HISTORY_PROGRAM, {history, "--runs", "40", "--keys", "2000"});
    QVERIFY(generator.waitForFinished(30000));
    QCOMPARE(generator.exitCode(), 0);
    const ProgressSnapshot expected = readProgress(history, QDate::currentDate(), ChartRange::All);
    QCOMPARE(expected.state, ProgressSnapshot::State::Ready);

    EnvironmentChanges environment = m_environment;
    environment.emplace_back("QT_QPA_PLATFORM", "xcb");
    environment.emplace_back("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    m_program = startProcess({PROGRESS_PROGRAM, "--history-file", history.toStdString()},
                             environment, -1, m_folder.filePath("program.log").toStdString());
    QVERIFY(m_program > 0);

    // The summary, and each letter key's figures, as the history holds them.
    QVERIFY(waitForLine("全部", QStringLiteral("全部：练习")));
    const QMap<QString, QString> lines = readWindow();
    QVERIFY2(lines.value("全部").contains(QStringLiteral("40 次，2000 键")),
             qPrintable(lines.value("全部")));
    int keysRead = 0;
    for (const LetterRow &row : expected.letters) {
        const QString description = lines.key(QString(row.letter));
        QVERIFY2(!description.isEmpty(), qPrintable(QString("no key %1").arg(row.letter)));
        if (row.asked >= 5) {
            QVERIFY2(description.contains(QString::number(row.accuracy(), 'f', 1))
                         && description.contains(QString("%1 ms").arg(row.medianMs)),
                     qPrintable(description));
            ++keysRead;
        }
    }
    QCOMPARE(keysRead, 26);

    // A run the drill writes meanwhile shows within the refresh's few seconds.
    {
        HistoryBuilder writer(history);
        const qint64 run =
            writer.addRun(QDateTime::currentDateTime().toString(Qt::ISODateWithMs), 3, 2, 40);
        writer.addKey(run, 'Q', 'Q', 400);
        writer.addKey(run, 'Q', 'Q', 450);
        writer.addKey(run, 'Q', 'R', 500);
    }
    QVERIFY(waitForLine("全部", QStringLiteral("41 次，2003 键")));
}

QTEST_GUILESS_MAIN(TestProgressEndToEnd)
#include "tst_progress_end_to_end.moc"
