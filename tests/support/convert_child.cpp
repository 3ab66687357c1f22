// Runs the program's start-up conversion of an Access catalogue, as a user who
// answers "Sì", without a window: convert_child READER CATALOGUE; or, as
// convert_child bring SOURCE CATALOGUE, File ▸ Open earlier catalogue… with
// SOURCE chosen in the dialog (the catalogue in use is always kept). Every message
// the user would see is printed on a line of its own ("question: …" or
// "notice: …"). The crash test kills it at random moments, the fault test runs
// it with failing system calls, and the benchmark times it and reads the peak
// resident memory of it and of its reader on stderr.

#include "catalogue/ConversionOffer.h"
#include "catalogue/EarlierCatalogueCommand.h"
#include "platform/reader/AccessChildReader.h"
#include "platform/controls/ConversionProgress.h"
#include "platform/controls/FileDialog.h"
#include "platform/controls/MessageBox.h"
#include "platform/files/SystemCatalogueFiles.h"

#include <QFile>

#include <cstdio>
#include <sys/resource.h>

namespace {

struct Silent : ondiva::ConversionProgress {
    void runWhileShown(const std::function<void()>& work) override { work(); }
    void start(qint64) override {}
    bool advance(qint64) override { return true; }
};

struct Chosen : ondiva::FileDialog {
    QString path;
    void setFilter(const QString&) override {}
    void setFileName(const QString&) override {}
    void showOpen() override {}
    QString fileName() const override { return path; }
};

struct Printed : ondiva::MessageBox {
    bool converted = false;
    int show(const QString& text, int style, const QString&, const QString&) override
    {
        const bool question = (style & 0xF) == YesNo;
        converted = !question && (text.startsWith(QStringLiteral("Il catalogo è stato convertito")) ||
                                  text.contains(QStringLiteral("è ora il catalogo in uso")));
        std::printf("%s: %s\n", question ? "question" : "notice", QString(text).replace(u'\n', u' ').toUtf8().constData());
        std::fflush(stdout);
        return question ? AnswerYes : AnswerOk;
    }
};

} // namespace

int main(int argc, char** argv)
{
    const bool bring = argc == 4 && QByteArrayView(argv[1]) == "bring";
    if (argc != 3 && !bring)
        return 2;
    ondiva::SystemCatalogueFiles files;
    Silent progress;
    Printed messages;
    if (bring) {
        Chosen dialog;
        dialog.path = QString::fromLocal8Bit(argv[2]);
        ondiva::AccessChildReader reader(QString{});
        ondiva::catalogue::EarlierCatalogueCommand(QString::fromLocal8Bit(argv[3]), {}, QStringLiteral("Ondiva"),
                                                   {dialog, messages, progress, files, reader})
            .run();
        return messages.converted ? 0 : 1;
    }
    ondiva::AccessChildReader reader(QString::fromLocal8Bit(argv[1]));
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
