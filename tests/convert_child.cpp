// Runs one real conversion of an Access catalogue: convert_child READER CATALOGUE.
// The crash test starts it and kills it at random moments.

#include "catalogue/LegacyConversion.h"
#include "platform/AccessChildReader.h"
#include "platform/ConversionProgress.h"
#include "platform/PosixCatalogueFiles.h"

#include <cstdio>

namespace {
struct Silent : ondiva::ConversionProgress {
    void start(qint64) override {}
    bool advance(qint64) override { return true; }
    void finish() override {}
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
    return outcome.kind == ondiva::catalogue::ConversionOutcome::Kind::Converted ? 0 : 1;
}
