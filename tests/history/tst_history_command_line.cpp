#include "history_database.h"
#include "history_recorder.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

// The program's options, run as from a script over ssh: no display of any kind.
class TestHistoryCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void answersWithoutAWindow_data();
    void answersWithoutAWindow();
    void exportsAndImportsWithoutADisplay();
    void reportsAFolderItCannotWrite();

private:
    int run(const QStringList &arguments, QByteArray *out = nullptr, QByteArray *err = nullptr);

    QTemporaryDir m_folder;
};

void TestHistoryCommandLine::initTestCase()
{
    QVERIFY(m_folder.isValid());
}

int TestHistoryCommandLine::run(const QStringList &arguments, QByteArray *out, QByteArray *err)
{
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    environment.insert("XDG_DATA_HOME", m_folder.filePath("data"));
    program.setProcessEnvironment(environment);
    program.start(TYPING_DRILL_PROGRAM, arguments);
    if (!program.waitForFinished(10000) || program.exitStatus() != QProcess::NormalExit)
        return -1;
    if (out)
        *out = program.readAllStandardOutput();
    if (err)
        *err = program.readAllStandardError();
    return program.exitCode();
}

void TestHistoryCommandLine::answersWithoutAWindow_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("says");

    QTest::newRow("help") << QStringList {"--help"} << 0 << QByteArray("--export-csv <DIR>");
    QTest::newRow("version") << QStringList {"--version"} << 0
                             << QByteArray("typing-drill 1.1\nCopyright");
    QTest::newRow("unknown option")
        << QStringList {"--colour"} << 1 << QByteArray("typing-drill: Unknown option 'colour'.");
    QTest::newRow("missing value") << QStringList {"--history-file"} << 1
                                   << QByteArray("Missing value after '--history-file'.");
    QTest::newRow("two actions") << QStringList {"--export-csv", "a", "--import-csv", "b"} << 1
                                 << QByteArray("exclude each other");
    // Qt's own options, as a session manager or a user passes them, with or without a value.
    QTest::newRow("session restore")
        << QStringList {"-session", "x", "--version"} << 0 << QByteArray("typing-drill 1.1");
    QTest::newRow("X11 geometry and title")
        << QStringList {"-geometry", "10x10", "-title", "t", "--version"} << 0
        << QByteArray("typing-drill 1.1");
    QTest::newRow("Qt options without a value")
        << QStringList {"-reverse", "-sync", "-nograb", "-widgetcount", "--version"} << 0
        << QByteArray("typing-drill 1.1");
    QTest::newRow("style with =") << QStringList {"-style=fusion", "--platform", "xcb", "--version"}
                                  << 0 << QByteArray("typing-drill 1.1");
    QTest::newRow("unknown option among Qt's")
        << QStringList {"-session", "x", "--bogus"} << 1
        << QByteArray("typing-drill: Unknown option 'bogus'.");
    QTest::newRow("empty learner name")
        << QStringList {"--learner", "  "} << 1 << QByteArray("Bad learner name: ");
    QTest::newRow("learner name of 21 characters")
        << QStringList {"--learner", QString(21, 'a')} << 1 << QByteArray("longer than 20");
    QTest::newRow("learner name with a control character")
        << QStringList {"--learner", "a\tb"} << 1 << QByteArray("control character");
    QTest::newRow("unknown practice")
        << QStringList {"--practice", "fast"} << 1 << QByteArray("takes weak or random");
    QTest::newRow("import from a folder without the files")
        << QStringList {"--import-csv", QFINDTESTDATA("tst_history_command_line.cpp")} << 1
        << QByteArray("runs.csv");
}

void TestHistoryCommandLine::answersWithoutAWindow()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QByteArray, says);
    QByteArray out, err;
    QCOMPARE(run(arguments, &out, &err), status);
    QVERIFY2((status == 0 ? out : err).contains(says), (out + err).constData());
}

void TestHistoryCommandLine::exportsAndImportsWithoutADisplay()
{
    // The user's own history, where the drill keeps it by default. That the files survive a
    // round trip byte for byte is tst_history_csv's; here, that the options reach them.
    const QString own = m_folder.filePath("data/typing-drill/history.sqlite");
    {
        HistoryRecorderOptions options;
        options.path = own.toStdString();
        HistoryRecorder recorder(options);
        TypingDrill drill;
        drill.reset();
        recorder.runStarted();
        const char letter = drill.zimuText().front();
        drill.tick();
        recorder.keyJudged({letter, KeyCode(letter), drill.keyReleased(KeyCode(letter)), 80, 250},
                           drill);
        recorder.runEnded(RunEnd::Exit, drill);
        QVERIFY(recorder.finish(std::chrono::seconds(5)));
    }
    const QString exported = m_folder.filePath("exported");
    const QString other = m_folder.filePath("other.sqlite");
    QCOMPARE(run({"--export-csv", exported}), 0);
    QByteArray out;
    QCOMPARE(run({"--history-file", other, "--import-csv", exported}, &out), 0);
    QVERIFY2(out.contains("Imported 1 runs, updated 0 (open → ended), 0 already there."),
             out.constData());
    QCOMPARE(HistoryDatabase(other)
                 .value("SELECT letter, correct, press_ms, release_ms FROM keys")
                 .mid(1),
             "|1|80|250");

    // A failed import speaks for itself, not for a drill that would go on.
    const QString foreign = m_folder.filePath("foreign.sqlite");
    QVERIFY(HistoryDatabase(foreign).rows("CREATE TABLE notes (text TEXT)").isEmpty());
    QByteArray err;
    QCOMPARE(run({"--history-file", foreign, "--import-csv", exported}, &out, &err), 1);
    QCOMPARE(err,
             "typing-drill: 导入失败，未导入任何内容。Import failed; nothing was imported: "
             "文件不是练习记录，保持原样。Not a practice history, left as it is: "
                 + QFile::encodeName(foreign) + "\n");
}

void TestHistoryCommandLine::reportsAFolderItCannotWrite()
{
    // Root writes anywhere: the drill runs as an ordinary user there, as people run it.
    const QString folder = m_folder.filePath("read-only");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::setPermissions(
        folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
    QVERIFY(QFile::setPermissions(
        m_folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther));
    const QString history = folder + "/history.sqlite";
    QStringList command {TYPING_DRILL_PROGRAM, "--history-file", history};
    if (geteuid() == 0)
        command = QStringList {"--reuid=65534", "--regid=65534", "--clear-groups", "--"} + command;
    QProcess drill;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    drill.setProcessEnvironment(environment);
    drill.start(geteuid() == 0 ? "setpriv" : command.takeFirst(), command);
    QVERIFY(drill.waitForStarted());

    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += drill.readAllStandardError()).contains(history.toUtf8()),
                             10000);
    // The drill goes on without its history.
    QTest::qWait(300);
    QCOMPARE(drill.state(), QProcess::Running);
    drill.terminate();
    QVERIFY(drill.waitForFinished(5000));
    said += drill.readAllStandardError();
    const QStringList lines = QString::fromUtf8(said).split('\n').filter("typing-drill:");
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().contains("folder cannot be created or written"), said.constData());
    QVERIFY(!QFile::exists(history));
}

QTEST_GUILESS_MAIN(TestHistoryCommandLine)
#include "tst_history_command_line.moc"
