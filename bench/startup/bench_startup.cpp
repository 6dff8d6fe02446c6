// Runs the reporter (built to end as soon as its window is shown), a minimal Qt dialog program and
// the window's form built by the toolkit alone in turn, offscreen, and prints the median wall time
// of each from process start to exit. The form's figure is the floor of the window itself: what
// its widgets and texts cost, before anything of the reporter's own; the reporter is measured
// against it, and the form against the minimal dialog.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>

namespace {
double runOnce(const QString &program, const QStringList &arguments, const QProcessEnvironment &env)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        qFatal("%s did not end cleanly", qPrintable(program));
    return double(timer.nsecsElapsed()) / 1e6;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 21;
    QTemporaryDir home;
    QFile dump(home.path() + QStringLiteral("/crash.dmp"));
    dump.open(QIODevice::WriteOnly);
    dump.write("MDMP");
    dump.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    const QStringList reporterArgs = { QStringLiteral("--dump=") + dump.fileName(),
        QStringLiteral("-v"), QStringLiteral("66051"), QStringLiteral("-c"),
        QStringLiteral("Velmora"), QStringLiteral("-s"), QStringLiteral("Tracker") };

    // Warm the file cache for both programs first.
    runOnce(QStringLiteral(REPORTER_BIN), reporterArgs, env);
    runOnce(QStringLiteral(MINIMAL_BIN), {}, env);
    runOnce(QStringLiteral(FORM_BIN), {}, env);

    QList<double> reporter, minimal, form;
    for (int i = 0; i < runs; ++i) {
        minimal << runOnce(QStringLiteral(MINIMAL_BIN), {}, env);
        reporter << runOnce(QStringLiteral(REPORTER_BIN), reporterArgs, env);
        form << runOnce(QStringLiteral(FORM_BIN), {}, env);
    }
    const double r = median(reporter), m = median(minimal), f = median(form);
    QTextStream out(stdout);
    out << "startup.reporter_ms " << QString::number(r, 'f', 1) << '\n'
        << "startup.minimal_ms " << QString::number(m, 'f', 1) << '\n'
        << "startup.ratio " << QString::number(r / m, 'f', 3) << '\n'
        << "startup.form_ms " << QString::number(f, 'f', 1) << '\n'
        << "startup.form_ratio " << QString::number(f / m, 'f', 3) << '\n'
        << "startup.reporter_form_ratio " << QString::number(r / f, 'f', 3) << '\n';
    return 0;
}
