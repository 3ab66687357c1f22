#include "Harness.h"

#include <QProcess>

#include <cstdio>

namespace ondiva::bench {

double medianSeconds(int repeats, const std::function<void()>& fn, bool warmUp)
{
    if (warmUp)
        fn();
    std::vector<double> times;
    for (int i = 0; i < std::max(1, repeats); ++i) {
        QElapsedTimer timer;
        timer.start();
        fn();
        times.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::pair<double, double> medianPair(int repeats, const std::function<void()>& a, const std::function<void()>& b)
{
    a(); // warm-up
    b();
    std::vector<double> first, second;
    auto time = [](const std::function<void()>& fn) {
        QElapsedTimer timer;
        timer.start();
        fn();
        return double(timer.nsecsElapsed()) / 1e9;
    };
    for (int i = 0; i < std::max(1, repeats); ++i) {
        first.push_back(time(a));
        second.push_back(time(b));
    }
    std::sort(first.begin(), first.end());
    std::sort(second.begin(), second.end());
    return {first[first.size() / 2], second[second.size() / 2]};
}

double runProcess(const QString& program, const QStringList& arguments, const QString& stdinFile)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    if (!stdinFile.isEmpty())
        process.setStandardInputFile(stdinFile);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "bench: %s failed: %s\n", qPrintable(program), process.readAllStandardError().constData());
        return -1;
    }
    return double(timer.nsecsElapsed()) / 1e9;
}

void Report::add(Figure figure)
{
    if (figure.baseline > 0)
        std::printf("%-8s %-48s %10.4f %-3s  baseline %10.4f  ratio %6.2fx\n", qPrintable(figure.section),
                    qPrintable(figure.name), figure.value, qPrintable(figure.unit), figure.baseline, figure.ratio());
    else
        std::printf("%-8s %-48s %10.4f %-3s\n", qPrintable(figure.section), qPrintable(figure.name), figure.value,
                    qPrintable(figure.unit));
    std::fflush(stdout);
    m_figures.push_back(std::move(figure));
}

double Report::medianRatio(const QString& section) const
{
    std::vector<double> ratios;
    for (const Figure& f : m_figures) {
        if (f.section == section && f.baseline > 0)
            ratios.push_back(f.ratio());
    }
    if (ratios.empty())
        return 0;
    std::sort(ratios.begin(), ratios.end());
    return ratios[ratios.size() / 2];
}

double Report::maxRatio(const QString& section) const
{
    double worst = 0;
    for (const Figure& f : m_figures) {
        if (f.section == section && f.baseline > 0)
            worst = std::max(worst, f.ratio());
    }
    return worst;
}

} // namespace ondiva::bench
