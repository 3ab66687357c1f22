#pragma once

// A small benchmark harness: medians of repeated runs, external baselines run
// as child processes, and a table of figures with their ratios.

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace ondiva::bench {

// Medians of two functions run in turn (a, b, a, b ...), so that the machine's
// slow and fast moments fall on both alike.
std::pair<double, double> medianPair(int repeats, const std::function<void()>& a, const std::function<void()>& b);

// Runs a program with its standard output sent to /dev/null and, when given,
// stdinFile fed to its standard input; returns wall-clock seconds, or -1 on failure.
double runProcess(const QString& program, const QStringList& arguments, const QString& stdinFile = {});

// Prints one figure: "name  value unit  baseline  ratio".
struct Figure {
    QString section;
    QString name;
    double value;
    double baseline; // 0 when there is none
    QString unit;

    double ratio() const { return baseline > 0 ? value / baseline : 0; }
};

class Report {
public:
    void add(Figure figure);
    const std::vector<Figure>& figures() const { return m_figures; }
    // The median ratio of a section's figures that have a baseline.
    double medianRatio(const QString& section) const;
    double maxRatio(const QString& section) const;

private:
    std::vector<Figure> m_figures;
};

} // namespace ondiva::bench
