// Runs the program's start-up conversion of an Access catalogue, as a user who
// answers "Sì", without a window: convert_child READER CATALOGUE. Every message
// the user would see is printed on a line of its own ("question: …" or
// "notice: …"). The crash test kills it at random moments, the fault test runs
// it with failing system calls, and the benchmark times it and reads the peak
// resident memory of it and of its reader on stderr.

#include "catalogue/ConversionOffer.h"
#include "platform/AccessChildReader.h"
#include "platform/ConversionProgress.h"
#include "platform/MessageBox.h"
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

struct Printed : ondiva::MessageBox {
    bool converted = false;
    int show(const QString& text, int style, const QString&, const QString&) override
    {
        const bool question = (style & 0xF) == YesNo;
        converted = !question && text.startsWith(QStringLiteral("Il catalogo è stato convertito"));
        std::printf("%s: %s\n", question ? "question" : "notice", QString(text).replace(u'\n', u' ').toUtf8().constData());
        std::fflush(stdout);
        return question ? AnswerYes : AnswerOk;
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    ondiva::AccessChildReader reader(QString::fromLocal8Bit(argv[1]));
    ondiva::PosixCatalogueFiles files;
    Silent progress;
    Printed messages;
    const QString catalogue = QString::fromLocal8Bit(argv[2]);
    ondiva::catalogue::ConversionOffer(catalogue, QStringLiteral("Ondiva"), messages, reader, files, progress).run();
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
    return messages.converted ? 0 : 1;
}
