#include "Harness.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace ondiva::bench {

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

// posix_spawn rather than QProcess: it starts the child without copying this
// process's page tables, so the figure measured next in this process is not
// slowed by copy-on-write faults on its own memory.
double runProcess(const QString& program, const QStringList& arguments, const QString& stdinFile)
{
    std::vector<QByteArray> storage{program.toLocal8Bit()};
    for (const QString& argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& item : storage)
        argv.push_back(item.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const QByteArray input = stdinFile.isEmpty() ? QByteArray("/dev/null") : stdinFile.toLocal8Bit();
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, input.constData(), O_RDONLY, 0);

    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench: %s failed\n", qPrintable(program));
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
