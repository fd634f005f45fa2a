// One picture test: runs a program that writes a PNG (vistrel --screenshot,
// vistrel-thumbnailer), then compares the picture with its committed
// baseline. Pixels count as different when a channel (alpha included) is off
// by more than kChannelTolerance; the test fails when more than TOLERANCE per
// cent of them are, or the sizes differ. A failed test leaves the actual
// picture and a picture of the differences in OUT_DIR for a person to look
// at; VISTREL_UPDATE_BASELINES=1 writes the actual picture as the baseline.
//
//   picture_test NAME BASELINE_DIR OUT_DIR TOLERANCE -- PROGRAM ARGUMENT... (@OUT@ for the picture)
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>

#include <cstdio>

namespace {

constexpr int kChannelTolerance = 24;

int Fail(const QString& text) {
    std::fprintf(stderr, "picture_test: %s\n", qPrintable(text));
    return 1;
}

bool Differs(QRgb a, QRgb b) {
    return qAbs(qRed(a) - qRed(b)) > kChannelTolerance || qAbs(qGreen(a) - qGreen(b)) > kChannelTolerance ||
           qAbs(qBlue(a) - qBlue(b)) > kChannelTolerance || qAbs(qAlpha(a) - qAlpha(b)) > kChannelTolerance;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    const qsizetype dashes = args.indexOf(QStringLiteral("--"));
    if (dashes != 5 || args.size() < 7)
        return Fail(QStringLiteral("usage: NAME BASELINE_DIR OUT_DIR TOLERANCE -- PROGRAM ..."));
    const QString name = args[1];
    const QString baseline = QDir(args[2]).filePath(name + QStringLiteral(".png"));
    QDir().mkpath(args[3]);
    const QString actual = QDir(args[3]).filePath(name + QStringLiteral(".png"));
    const QString differences = QDir(args[3]).filePath(name + QStringLiteral(".diff.png"));
    const double tolerance = args[4].toDouble();
    QStringList command = args.mid(dashes + 1);
    for (QString& argument : command) argument.replace(QStringLiteral("@OUT@"), actual);

    QFile::remove(actual);
    QFile::remove(differences);
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(command.takeFirst(), command);
    if (!program.waitForFinished(120000) || program.exitStatus() != QProcess::NormalExit || program.exitCode() != 0)
        return Fail(QStringLiteral("%1: the program failed (exit %2)").arg(name).arg(program.exitCode()));

    const QImage got = QImage(actual).convertToFormat(QImage::Format_ARGB32);
    if (got.isNull()) return Fail(name + QStringLiteral(": no picture written"));
    if (qEnvironmentVariable("VISTREL_UPDATE_BASELINES") == QLatin1String("1")) {
        QFile::remove(baseline);
        if (!QFile::copy(actual, baseline)) return Fail(QStringLiteral("cannot write ") + baseline);
        std::printf("%s: baseline written\n", qPrintable(name));
        return 0;
    }
    const QImage want = QImage(baseline).convertToFormat(QImage::Format_ARGB32);
    if (want.isNull())
        return Fail(QStringLiteral("%1: no baseline %2; the picture is at %3 (copy it there if it is right)")
                        .arg(name, baseline, actual));
    if (want.size() != got.size())
        return Fail(QStringLiteral("%1: %2x%3, the baseline is %4x%5; the picture is at %6")
                        .arg(name)
                        .arg(got.width())
                        .arg(got.height())
                        .arg(want.width())
                        .arg(want.height())
                        .arg(actual));
    QImage diff(got.size(), QImage::Format_RGB32);
    qint64 different = 0;
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x) {
            const bool off = Differs(got.pixel(x, y), want.pixel(x, y));
            different += off;
            diff.setPixel(x, y, off ? qRgb(255, 0, 0) : qRgb(qGray(want.pixel(x, y)) / 3, 0, 0));
        }
    const double share = 100.0 * static_cast<double>(different) / static_cast<double>(got.width() * got.height());
    std::printf("%s: %lld pixels differ (%.3f %%, tolerance %.3f %%)\n", qPrintable(name),
                static_cast<long long>(different), share, tolerance);
    if (share > tolerance) {
        diff.save(differences);
        return Fail(QStringLiteral("%1 differs from its baseline: the picture is at %2, the differences at %3")
                        .arg(name, actual, differences));
    }
    QFile::remove(actual);
    return 0;
}
