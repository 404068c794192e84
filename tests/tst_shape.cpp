// SPDX-License-Identifier: GPL-3.0-or-later
// The picture keeps its shape in both pipelines: a black disc on white, from
// sources of five shapes (one with non-square pixels), comes out round at
// every size, whole, centred on black bars, in a file of exactly the size
// that declares its own aspect. --stretch brings back the old distorted
// shapes, and on a 4:3 source both give the same picture.

#include "mediasupport.h"
#include "testsupport.h"
#include "toolcommands.h"

#include <QProcess>
#include <QtTest>

#include <numeric>

using namespace MediaSupport;

namespace {

struct Source {
    const char *name;
    const char *size;
    int sarNum, sarDen;
    double displayAspect;
};

// The disc's diameter is 0.7 of the shorter display side; the mkv keeps the
// sample aspect of the PAL widescreen frame.
const Source sources[] = {
    { "wide.mp4", "1280x720", 1, 1, 16.0 / 9 },        { "four3.mp4", "640x480", 1, 1, 4.0 / 3 },
    { "tall.mp4", "720x1280", 1, 1, 9.0 / 16 },        { "square.mp4", "480x480", 1, 1, 1.0 },
    { "anamorphic.mkv", "720x576", 64, 45, 16.0 / 9 },
};

bool makeDisc(const QString &path, const Source &source)
{
    const QString sar = QStringLiteral("%1/%2").arg(source.sarNum).arg(source.sarDen);
    // One frame drawn, then repeated: geq is slow.
    const QString picture = QStringLiteral("color=white:s=%1:r=25:d=0.04,format=gray,"
                                           "geq=lum='if(lte(hypot((X-W/2)*%2,Y-H/2),0.35*min(W*%2,H)),0,255)',"
                                           "loop=loop=24:size=1,setsar=%2,format=yuv420p")
                                .arg(source.size, sar);
    return QProcess::execute("ffmpeg",
                             { "-hide_banner", "-loglevel", "error",   "-y",      "-f",        "lavfi",
                               "-i",           picture,     "-f",      "lavfi",   "-i",        "sine=duration=1",
                               "-shortest",    "-c:v",      "libx264", "-preset", "ultrafast", "-c:a",
                               "aac",          path })
        == 0;
}

// Where the white picture and the black disc on it lie in the first frame.
struct Shape {
    int width = 0, height = 0;
    QRect picture, disc;
    int brightestBar = 0; // outside the picture
};

Shape measure(const QString &path)
{
    QProcess ffmpeg;
    ffmpeg.start(
        "ffmpeg",
        { "-v", "error", "-i", path, "-frames:v", "1", "-pix_fmt", "gray", "-c:v", "pgm", "-f", "image2pipe", "-" });
    Shape shape;
    if (!ffmpeg.waitForFinished(30000))
        return shape;
    const QByteArray pgm = ffmpeg.readAllStandardOutput();
    const QList<QByteArray> header = pgm.split('\n').mid(0, 3); // P5, width height, 255
    if (header.size() < 3)
        return shape;
    shape.width = header.at(1).split(' ').value(0).toInt();
    shape.height = header.at(1).split(' ').value(1).toInt();
    const int start = header.at(0).size() + header.at(1).size() + header.at(2).size() + 3;
    if (pgm.size() != start + shape.width * shape.height)
        return shape;
    const auto at = [&](int x, int y) { return quint8(pgm.at(start + y * shape.width + x)); };
    for (int y = 0; y < shape.height; ++y)
        for (int x = 0; x < shape.width; ++x)
            if (at(x, y) > 128)
                shape.picture |= QRect(x, y, 1, 1);
    // The disc: dark inside the picture, away from its edges' ringing.
    const QRect inside = shape.picture.adjusted(2, 2, -2, -2);
    for (int y = 0; y < shape.height; ++y) {
        for (int x = 0; x < shape.width; ++x) {
            if (inside.contains(x, y) && at(x, y) < 128)
                shape.disc |= QRect(x, y, 1, 1);
            else if (!shape.picture.contains(x, y))
                shape.brightestBar = qMax(shape.brightestBar, int(at(x, y)));
        }
    }
    return shape;
}

QString displayAspect(const QString &path)
{
    return probeStream(path, "v").value("display_aspect_ratio");
}

struct Finished {
    int exitCode = -1;
    QByteArray out;
};

Finished batch(const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(QUORVEL_BATCH), arguments);
    Finished run;
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    return run;
}

} // namespace

class ShapeTest : public QObject
{
    Q_OBJECT

    QStringList m_sources;

    static QString outputFolder(bool direct, const QString &size, bool stretch)
    {
        return QDir::current().filePath(
            QStringLiteral("output/%1-%2%3").arg(direct ? "direct" : "two-steps", size, stretch ? "-stretched" : ""));
    }

private slots:
    void initTestCase()
    {
        TestSupport::resetWorkDir();
        QVERIFY(prepareWorkDir(QDir::currentPath()));
        const QString clips = QDir::current().filePath("clips");
        QDir(clips).removeRecursively();
        QDir().mkpath(clips);
        for (const Source &source : sources) {
            m_sources << clips + "/" + source.name;
            QVERIFY(makeDisc(m_sources.last(), source));
        }
    }

    void pictureKeepsItsShape_data()
    {
        QTest::addColumn<bool>("direct");
        QTest::addColumn<QString>("size");
        QTest::addColumn<bool>("stretch");
        for (const bool direct : { false, true }) {
            for (const QString &size : resolutionLabels())
                QTest::addRow("%s %s", direct ? "direct" : "two steps", qPrintable(size)) << direct << size << false;
            // The old way, at the one size where the file's pixels are square.
            QTest::addRow("%s 320x240 stretched", direct ? "direct" : "two steps") << direct << "320x240" << true;
        }
    }

    void pictureKeepsItsShape()
    {
        QFETCH(bool, direct);
        QFETCH(QString, size);
        QFETCH(bool, stretch);
        const int width = size.section('x', 0, 0).toInt();
        const int height = size.section('x', 1, 1).toInt();
        const QString output = outputFolder(direct, size, stretch);
        QStringList arguments { "--jobs", "2", "-s", size, "-o", output };
        if (direct)
            arguments << "--direct";
        if (stretch)
            arguments << "--stretch";
        const Finished run = batch(arguments + m_sources);
        QVERIFY2(run.exitCode == 0, run.out.constData());

        const int divisor = std::gcd(width, height);
        const QString ownAspect = QStringLiteral("%1:%2").arg(width / divisor).arg(height / divisor);
        const double tolerance = width == height ? 0.05 : 0.03;
        for (const Source &source : sources) {
            const QString result = output + "/" + baseNameOf(source.name) + ".avi";
            const Shape shape = measure(result);
            const QString what = QStringLiteral(
                                     "%1: %2x%3, picture %4x%5 at %6,%7, disc %8x%9 at %10,%11, bars up to %12")
                                     .arg(source.name)
                                     .arg(shape.width)
                                     .arg(shape.height)
                                     .arg(shape.picture.width())
                                     .arg(shape.picture.height())
                                     .arg(shape.picture.x())
                                     .arg(shape.picture.y())
                                     .arg(shape.disc.width())
                                     .arg(shape.disc.height())
                                     .arg(shape.disc.x())
                                     .arg(shape.disc.y())
                                     .arg(shape.brightestBar);
            QVERIFY2(shape.width == width && shape.height == height && shape.disc.height() > height / 4,
                     qPrintable(what));
            // Stretched, the disc is drawn out by the frame's aspect over the source's.
            const double ratio = double(shape.disc.width()) / shape.disc.height();
            const double wanted = stretch ? 4.0 / 3 / source.displayAspect : 1.0;
            QVERIFY2(qAbs(ratio / wanted - 1) <= tolerance, qPrintable(what + QStringLiteral(", ratio %1").arg(ratio)));
            if (stretch) {
                QVERIFY2(shape.picture == QRect(0, 0, width, height), qPrintable(what));
                QCOMPARE(displayAspect(result), QStringLiteral("4:3"));
                continue;
            }
            // Whole, filling the size one way, centred, on black.
            const int left = shape.picture.left(), right = width - 1 - shape.picture.right();
            const int top = shape.picture.top(), bottom = height - 1 - shape.picture.bottom();
            QVERIFY2(qMin(left + right, top + bottom) <= 2, qPrintable(what));
            QVERIFY2(qAbs(left - right) <= 2 && qAbs(top - bottom) <= 2, qPrintable(what));
            const QPointF offCentre = QRectF(shape.disc).center() - QPointF(width / 2.0, height / 2.0);
            QVERIFY2(qAbs(offCentre.x()) <= 2 && qAbs(offCentre.y()) <= 2, qPrintable(what));
            QVERIFY2(shape.brightestBar <= 32, qPrintable(what));
            // mencoder's AVI header can hold 5:4 only as 16384:13107.
            const QString aspect = displayAspect(result);
            if (direct || aspect != "16384:13107")
                QCOMPARE(aspect, ownAspect);
            else
                QCOMPARE(ownAspect, QStringLiteral("5:4"));
        }
    }

    // Nothing to fit on a 4:3 source at 320x240: kept or stretched, the
    // picture is the same.
    void fourByThreeIsUntouched_data()
    {
        QTest::addColumn<bool>("direct");
        QTest::newRow("two steps") << false;
        QTest::newRow("direct") << true;
    }

    void fourByThreeIsUntouched()
    {
        QFETCH(bool, direct);
        const QString kept = outputFolder(direct, "320x240", false) + "/four3.avi";
        const QString stretched = outputFolder(direct, "320x240", true) + "/four3.avi";
        QProcess ffmpeg;
        ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
        ffmpeg.start("ffmpeg",
                     { "-hide_banner", "-nostdin", "-i", kept, "-i", stretched, "-lavfi", "ssim", "-f", "null", "-" });
        QVERIFY(ffmpeg.waitForFinished(30000));
        const QString log = QString::fromUtf8(ffmpeg.readAll());
        const QRegularExpressionMatch all = QRegularExpression(" All:([0-9.]+)").match(log);
        QVERIFY2(all.hasMatch() && all.captured(1).toDouble() >= 0.99, qPrintable(log.right(300)));
    }
};

QTEST_GUILESS_MAIN(ShapeTest)
#include "tst_shape.moc"
