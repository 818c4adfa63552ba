// The viewer's decoding of a 12-megapixel JPEG for a 401 × 313 panel (decoded at an eighth
// by libjpeg), beside djpeg decoding the same file at an eighth ("-scale 1/8") in the same
// run: once baseline, once progressive 4:4:4 (written by cjpeg), where only the DC scans are
// read. Times are CPU times, so the comparison holds on a busy machine. Goals: x_djpeg_eighth
// (our time over djpeg's) <= 1.05 for the baseline file and <= 0.5 for the progressive one;
// for the baseline file with its fit, mean_abs_diff (0-255 per channel, against the smoothed
// full decode) below 3 and memory_x_shown (decoded plus shown pixels over the shown picture)
// below 3.
#include <benchmark/benchmark.h>

#include <cmath>

#include <sys/resource.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "PhotoPicture.h"
#include "picture/PictureDecode.h"
#include "picture/PictureFit.h"

namespace {

const QSize Panel(401, 313);

// A photo-like 4000 × 3000 JPEG (gradients, shapes and grain), written once per run.
const std::string& largeJpeg() {
    static QTemporaryDir folder;
    static const std::string path = [] {
        const QImage image = lumi::bench::photoLikePicture(QSize(4000, 3000), true);
        const QString file = folder.filePath(QStringLiteral("large.jpg"));
        image.save(file, "JPG", 90);
        // The same picture progressive with full-size colour, as cameras and editors write it.
        image.save(folder.filePath(QStringLiteral("large.ppm")), "PPM");
        const QString cjpeg = QStandardPaths::findExecutable(QStringLiteral("cjpeg"));
        if (!cjpeg.isEmpty())
            QProcess::execute(cjpeg, {QStringLiteral("-quality"), QStringLiteral("90"),
                                      QStringLiteral("-sample"), QStringLiteral("1x1"),
                                      QStringLiteral("-progressive"), QStringLiteral("-outfile"),
                                      folder.filePath(QStringLiteral("progressive.jpg")),
                                      folder.filePath(QStringLiteral("large.ppm"))});
        return file.toStdString();
    }();
    return path;
}

const std::string& progressiveJpeg() {
    static const std::string path = [] {
        const std::string large = largeJpeg();
        return large.substr(0, large.rfind('/') + 1) + "progressive.jpg";
    }();
    return path;
}

QImage fitted(const lumi::Picture& picture) {
    return picture.image.scaled(lumi::shownSize(picture.natural, Panel), Qt::IgnoreAspectRatio,
                                Qt::SmoothTransformation);
}

double meanAbsDiff(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * x.width() * x.height());
}

// CPU time, so that the comparison holds on a machine shared with other work.
double cpuMilliseconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    const auto ms = [](timeval t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

void runDjpeg(const QString& djpeg, const std::string& path, bool eighth) {
    QStringList arguments{QStringLiteral("-outfile"), QStringLiteral("/dev/null")};
    if (eighth) arguments << QStringLiteral("-scale") << QStringLiteral("1/8");
    QProcess process;
    process.start(djpeg, arguments << QString::fromStdString(path));
    process.waitForFinished(-1);
}

// djpeg's decode of the file at an eighth: CPU milliseconds per run over five (0 without
// djpeg).
double djpegEighthMilliseconds(const std::string& path) {
    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    if (djpeg.isEmpty()) return 0;
    const double before = cpuMilliseconds(RUSAGE_CHILDREN);
    for (int run = 0; run < 5; ++run)
        runDjpeg(djpeg, path, true);
    return (cpuMilliseconds(RUSAGE_CHILDREN) - before) / 5;
}

// The viewer's decode of path for the panel, against djpeg at an eighth.
void decodeAgainstDjpeg(benchmark::State& state, const std::string& path) {
    if (!QFile::exists(QString::fromStdString(path))) {
        state.SkipWithError("no test file (cjpeg missing: Debian libjpeg-turbo-progs)");
        return;
    }
    const double start = cpuMilliseconds(RUSAGE_SELF);
    for (auto _ : state) {
        const lumi::Picture picture = lumi::loadPictureFile(path, Panel);
        benchmark::DoNotOptimize(picture.image.constBits());
    }
    const double ms = (cpuMilliseconds(RUSAGE_SELF) - start) / double(state.iterations());
    const double djpeg = djpegEighthMilliseconds(path);
    state.counters["cpu_ms"] = ms;
    state.counters["djpeg_eighth_cpu_ms"] = djpeg;
    if (djpeg > 0) state.counters["x_djpeg_eighth"] = ms / djpeg;
}

void BM_ViewerDecodeBaseline(benchmark::State& state) {
    decodeAgainstDjpeg(state, largeJpeg());
}
BENCHMARK(BM_ViewerDecodeBaseline)->Unit(benchmark::kMillisecond);

void BM_ViewerDecodeProgressive(benchmark::State& state) {
    decodeAgainstDjpeg(state, progressiveJpeg());
}
BENCHMARK(BM_ViewerDecodeProgressive)->Unit(benchmark::kMillisecond);

// The baseline file decoded and fitted as the viewer shows it: quality and memory.
void BM_ViewerDecodeAndFit(benchmark::State& state) {
    const std::string& path = largeJpeg();
    const QImage reference = fitted(lumi::loadPictureFile(path));
    QImage shown;
    qint64 decoded = 0;
    for (auto _ : state) {
        const lumi::Picture picture = lumi::loadPictureFile(path, Panel);
        shown = fitted(picture);
        decoded = picture.image.sizeInBytes();
        benchmark::DoNotOptimize(shown.constBits());
    }
    state.counters["mean_abs_diff"] = meanAbsDiff(shown, reference);
    state.counters["memory_x_shown"] =
        double(decoded + shown.sizeInBytes()) / double(shown.sizeInBytes());
}
BENCHMARK(BM_ViewerDecodeAndFit)->Unit(benchmark::kMillisecond);

void BM_DjpegFullSize(benchmark::State& state) {
    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    if (djpeg.isEmpty()) {
        state.SkipWithError("djpeg not found (Debian libjpeg-turbo-progs)");
        return;
    }
    for (auto _ : state)
        runDjpeg(djpeg, largeJpeg(), false);
}
BENCHMARK(BM_DjpegFullSize)->Unit(benchmark::kMillisecond);

// Our decoder at full size with the same fit: what the scaled decode saves.
void BM_FullDecodeAndFit(benchmark::State& state) {
    for (auto _ : state) {
        const QImage shown = fitted(lumi::loadPictureFile(largeJpeg()));
        benchmark::DoNotOptimize(shown.constBits());
    }
}
BENCHMARK(BM_FullDecodeAndFit)->Unit(benchmark::kMillisecond);

} // namespace
