// Prints the progress window's figures on a large history: start to first frame and to complete
// content, resident memory, and a refresh after a new run (latency and main-thread CPU time),
// beside the same window on an absent history; and on a history of 20 learners, the start to one
// learner's complete content and the switch to the overview of all of them (全部学员). Each
// measurement runs in a fresh process. Also counts the shared libraries of both programs: the
// drill must not load Qt Charts.
//
// Usage: bench_progress [RUNS]            (generates its histories with generate_history)
//        bench_progress --child PATH [--overview]   (one measured start, printing its figures;
//                                                     then the overview instead of refreshes)
#include "figures.h"
#include "progress_window.h"
#include "run_identity.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <sqlite3.h>

namespace {

constexpr int starts = 7;
constexpr int refreshes = 5;

double nowMs()
{
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double threadCpuMs()
{
    timespec time {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
    return double(time.tv_sec) * 1e3 + double(time.tv_nsec) / 1e6;
}

double residentMiB()
{
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return 0;
}

// A run of 100 keys appended the way the drill writes one, from another connection.
void appendRun(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    std::string sql = "BEGIN; INSERT INTO runs (started, ended, ended_by, ticks, total, correct,"
                      " wrong, speed, accuracy, uuid, learner) VALUES ("
                      " strftime('%Y-%m-%dT%H:%M:%f+08:00', 'now', '+8 hours'),"
                      " strftime('%Y-%m-%dT%H:%M:%f+08:00', 'now', '+8 hours'),"
                      " 'restart', 600, 100, 95, 5, 100.0, 95.0, '"
        + newRunUuid() + "', 1);";
    for (int n = 1; n <= 100; ++n) {
        const char letter = char('A' + n % 26);
        sql += "INSERT INTO keys VALUES ((SELECT max(id) FROM runs), " + std::to_string(n) + ", '"
            + letter + "', " + std::to_string(n % 20 ? letter : 'R') + ", " + (n % 20 ? "1" : "0")
            + ", 300, " + std::to_string(350 + n) + ");";
    }
    sql += "COMMIT;";
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        qFatal("could not append a run: %s", sqlite3_errmsg(db));
    sqlite3_close(db);
}

// Notes the time of the window's first paint.
struct FirstPaint : QObject
{
    double at = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && at == 0)
            at = nowMs();
        return false;
    }
};

int child(int argc, char **argv, const QString &path, bool overview)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("typing-drill");
    FirstPaint firstPaint;
    ProgressWindow window(path);
    window.installEventFilter(&firstPaint);
    bool refreshed = false;
    QObject::connect(&window, &ProgressWindow::refreshed, [&] { refreshed = true; });
    window.show();
    while (!refreshed)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    window.repaint();
    const double complete = nowMs();
    QApplication::processEvents();
    std::printf("first_frame %.3f\ncomplete %.3f\n", firstPaint.at, complete);

    const auto waitMs = [](int ms) {
        const double until = nowMs() + ms;
        while (nowMs() < until)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
    };
    waitMs(1000);
    std::printf("memory %.2f\n", residentMiB());
    auto *learner = window.findChild<QComboBox *>("learner");
    if (overview && learner) {
        // The overview, chosen as the last entry of the selector.
        refreshed = false;
        const double chosen = nowMs();
        learner->setCurrentIndex(learner->count() - 1);
        emit learner->activated(learner->count() - 1);
        while (!refreshed)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        window.repaint();
        std::printf("overview %.3f\n", nowMs() - chosen);
        return 0;
    }
    if (!QFile::exists(path))
        return 0;
    for (int i = 0; i < refreshes; ++i) {
        refreshed = false;
        appendRun(path);
        const double written = nowMs();
        const double cpu = threadCpuMs();
        while (!refreshed)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        window.repaint();
        std::printf("refresh_cpu %.3f\nrefresh_latency %.3f\n", threadCpuMs() - cpu,
                    nowMs() - written);
        waitMs(300);
    }
    return 0;
}

// Figures of one child run by name; several values under one name for the refreshes.
std::multimap<std::string, double> runChild(const QString &self, const QString &path,
                                            bool overview = false)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
    const double started = nowMs();
    process.start(self,
                  overview ? QStringList {"--child", path, "--overview"}
                           : QStringList {"--child", path});
    process.waitForFinished(120000);
    std::multimap<std::string, double> figures;
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() != 2)
            continue;
        double value = parts[1].toDouble();
        if (parts[0] == "first_frame" || parts[0] == "complete")
            value -= started;
        figures.emplace(parts[0].toStdString(), value);
    }
    return figures;
}

std::vector<double> valuesOf(const std::vector<std::multimap<std::string, double>> &runs,
                             const std::string &name)
{
    std::vector<double> values;
    for (const auto &figures : runs) {
        const auto [from, to] = figures.equal_range(name);
        for (auto it = from; it != to; ++it)
            values.push_back(it->second);
    }
    return values;
}

// The shared libraries a program loads, as the dynamic loader resolves them.
QStringList sharedLibraries(const QString &program)
{
    QProcess ldd;
    ldd.start("ldd", {program});
    ldd.waitForFinished();
    QStringList libraries;
    for (const QByteArray &line : ldd.readAllStandardOutput().split('\n')) {
        if (line.contains("=>"))
            libraries.append(QString::fromUtf8(line.trimmed().split(' ').first()));
    }
    return libraries;
}

} // namespace

bool generate(const QString &path, const QStringList &options)
{
    QProcess generator;
    generator.start(QDir(QCoreApplication::applicationDirPath()).filePath("generate_history"),
                    QStringList {path} + options);
    if (generator.waitForFinished(600000) && generator.exitCode() == 0)
        return true;
    std::fprintf(stderr, "generate_history failed\n");
    return false;
}

int main(int argc, char **argv)
{
    if (argc >= 3 && std::string(argv[1]) == "--child")
        return child(argc, argv, QString::fromLocal8Bit(argv[2]),
                     argc == 4 && std::string(argv[3]) == "--overview");
    QCoreApplication app(argc, argv);
    const QString runs = argc > 1 ? argv[1] : "10000";
    QTemporaryDir folder;
    const QString history = folder.filePath("history.sqlite");
    // Twenty learners of 100,000 keys each (1,000 runs), practising over the same 60 days.
    const QString learnersHistory = folder.filePath("learners.sqlite");
    if (!generate(
            history,
            {"--runs", runs, "--keys", QString::number(runs.toLongLong() * 100), "--days", "400"})
        || !generate(learnersHistory,
                     {"--runs", "1000", "--keys", "100000", "--days", "60", "--learners", "20"}))
        return 1;
    const QString self = QCoreApplication::applicationFilePath();
    std::vector<std::multimap<std::string, double>> large;
    std::vector<std::multimap<std::string, double>> absent;
    runChild(self, history); // warm the file cache
    std::vector<std::multimap<std::string, double>> learners;
    runChild(self, learnersHistory, true);
    for (int i = 0; i < starts; ++i) {
        large.push_back(runChild(self, history));
        absent.push_back(runChild(self, folder.filePath("absent.sqlite")));
        learners.push_back(runChild(self, learnersHistory, true));
    }
    const std::string size = runs.toStdString() + " runs";
    const QDir programs(TYPING_DRILL_PROGRAM_FOLDER);
    const QStringList drill = sharedLibraries(programs.filePath("typing-drill"));
    const QStringList progress = sharedLibraries(programs.filePath("typing-drill-progress"));
    printTable({
        {"shared libraries: typing-drill-progress (floor: typing-drill)", "",
         summarise({double(progress.size())}), summarise({double(drill.size())}),
         "the drill without Qt Charts"},
        {"start to first frame, " + size, "ms", summarise(valuesOf(large, "first_frame")),
         summarise(valuesOf(absent, "first_frame")), "floor: absent history"},
        {"start to complete content, " + size, "ms", summarise(valuesOf(large, "complete")),
         summarise(valuesOf(absent, "complete")), "<= 500 ms"},
        {"resident memory, " + size, "MiB", summarise(valuesOf(large, "memory")),
         summarise(valuesOf(absent, "memory")), "< 120 MiB"},
        {"refresh after a new run: main-thread CPU",
         "ms",
         summarise(valuesOf(large, "refresh_cpu")),
         {},
         "< 50 ms"},
        {"refresh after a new run: written to shown",
         "ms",
         summarise(valuesOf(large, "refresh_latency")),
         {},
         "<= 3 s; polled each second"},
        {"start to complete content, 20 learners x 100000 keys", "ms",
         summarise(valuesOf(learners, "complete")), summarise(valuesOf(absent, "complete")),
         "<= 500 ms"},
        {"overview of 20 learners: chosen to shown",
         "ms",
         summarise(valuesOf(learners, "overview")),
         {},
         "<= 500 ms"},
    });
    std::printf("\ntyping-drill loads Qt Charts: %s\n",
                drill.filter("Qt6Charts").isEmpty() ? "no" : "YES");
    return 0;
}
