// Runs one real conversion of an Access catalogue: convert_child READER CATALOGUE.
// The crash test starts it and kills it at random moments; the benchmark times
// it, and reads the peak resident memory of it and of its reader on stderr.

#include "catalogue/LegacyConversion.h"
#include "platform/AccessChildReader.h"
#include "platform/ConversionProgress.h"
#include "platform/PosixCatalogueFiles.h"

#include <QFile>

#include <cstdio>
#include <sys/resource.h>

namespace {
struct Silent : ondiva::ConversionProgress {
    void runWhileShown(const std::function<void()>& work) override { work(); }
    void start(qint64) override {}
    bool advance(qint64) override { return true; }
};
} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    ondiva::AccessChildReader reader(QString::fromLocal8Bit(argv[1]));
    ondiva::PosixCatalogueFiles files;
    Silent progress;
    const QString catalogue = QString::fromLocal8Bit(argv[2]);
    const auto outcome = ondiva::catalogue::LegacyConversion(catalogue, reader, files, progress).run();
    std::printf("%s\n", ondiva::catalogue::noticeFor(outcome, catalogue).text.toUtf8().constData());
    QFile status(QStringLiteral("/proc/self/status"));
    long peak = 0;
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                peak = line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    struct rusage children {};
    getrusage(RUSAGE_CHILDREN, &children);
    std::fprintf(stderr, "peak_kib=%ld reader_peak_kib=%ld\n", peak, children.ru_maxrss);
    return outcome.kind == ondiva::catalogue::ConversionOutcome::Kind::Converted ? 0 : 1;
}
