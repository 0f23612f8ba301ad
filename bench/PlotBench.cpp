// What the live plot costs the GUI thread: one hour of 10 Hz samples of 8
// series in the buffer, then a new sample appended and the plot redrawn, many
// times. The same with Qt Charts where it is installed, as the peer the
// plotting library was chosen against. Prints
//   plot_ms median=… p99=…
//   plot_hour_mb=…
// Run offscreen: QT_QPA_PLATFORM=offscreen build/bench/halvik-bench-plot

#include "tools/PlotDlg.h"

#include <qcustomplot.h>

#include <QApplication>

#ifdef HALVIK_HAVE_QTCHARTS
#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QValueAxis>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kHour = 36000; // samples: one hour at 10 Hz
constexpr int kSeries = 8;

double RssMb() {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

StatusSample Sample(int i) {
    StatusSample s;
    s.wallMs = 1'800'000'000'000LL + 100LL * i;
    for (int k = 0; k < kPlotSeriesCount; ++k)
        s.v[k] = static_cast<float>(100.0 * std::sin(i * 0.01 + k) + k * 10);
    return s;
}

struct Stats {
    double median, p99;
};
Stats Summarise(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)]};
}

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// The GUI thread's own processor time per step: what it costs that thread,
// whatever else the machine runs meanwhile. Wall time beside it.
template <class F> std::pair<std::vector<double>, std::vector<double>> Time(int rounds, F&& step) {
    std::vector<double> cpu, wall;
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = ThreadCpuMs();
        step(i);
        cpu.push_back(ThreadCpuMs() - c0);
        wall.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
        QCoreApplication::processEvents();
    }
    return {cpu, wall};
}

} // namespace

int main(int argc, char** argv) {
    if (!getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    int rounds = 300;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = std::max(10, std::atoi(argv[++i]));

    const double before = RssMb();
    CPlotDlg dlg;
    for (int k = 0; k < kPlotSeriesCount; ++k)
        dlg.SetSeriesShown(k, k < kSeries);
    dlg.resize(1280, 720);
    dlg.show();
    for (int i = 0; i < kHour; ++i)
        dlg.AddSample(Sample(i));
    dlg.Redraw();
    QCoreApplication::processEvents();
    const double hourMb = RssMb() - before;

    const auto [oursCpu, oursWall] = Time(rounds, [&](int i) {
        dlg.AddSample(Sample(kHour + i));
        dlg.Redraw();
    });
    const Stats ours = Summarise(oursCpu), oursW = Summarise(oursWall);
    std::printf("QCustomPlot %s, %d series, %d samples each, %d rounds, 1280x720\n",
                QCUSTOMPLOT_VERSION_STR, kSeries, kHour, rounds);
    std::printf("  append + redraw, GUI thread CPU: median %.2f ms, p99 %.2f ms"
                " (wall %.2f / %.2f)\n",
                ours.median, ours.p99, oursW.median, oursW.p99);

#ifdef HALVIK_HAVE_QTCHARTS
    {
        const double chartBefore = RssMb();
        auto* chart = new QChart;
        auto* time = new QValueAxis;
        chart->addAxis(time, Qt::AlignBottom);
        std::vector<QLineSeries*> series;
        for (int k = 0; k < kSeries; ++k) {
            auto* s = new QLineSeries;
            QList<QPointF> points;
            points.reserve(kHour);
            for (int i = 0; i < kHour; ++i)
                points.append(QPointF(i * 0.1, static_cast<double>(Sample(i).v[k])));
            s->replace(points);
            chart->addSeries(s);
            auto* axis = new QValueAxis;
            chart->addAxis(axis, Qt::AlignLeft);
            s->attachAxis(time);
            s->attachAxis(axis);
            axis->setRange(-100 + k * 10, 100 + k * 10);
            series.push_back(s);
        }
        QChartView view(chart);
        view.resize(1280, 720);
        view.show();
        QCoreApplication::processEvents();
        const double chartMb = RssMb() - chartBefore;
        const auto [peerCpu, peerWall] = Time(std::min(rounds, 60), [&](int i) {
            const StatusSample s = Sample(kHour + i);
            for (int k = 0; k < kSeries; ++k) {
                series[static_cast<size_t>(k)]->remove(0);
                series[static_cast<size_t>(k)]->append((kHour + i) * 0.1,
                                                       static_cast<double>(s.v[k]));
            }
            time->setRange((i + 1) * 0.1, (kHour + i) * 0.1);
            view.repaint();
        });
        const Stats peer = Summarise(peerCpu), peerW = Summarise(peerWall);
        std::printf("Qt Charts %s, same data, %d rounds\n", qVersion(), std::min(rounds, 60));
        std::printf("  append + redraw, GUI thread CPU: median %.2f ms, p99 %.2f ms"
                    " (wall %.2f / %.2f); memory %.1f MB\n",
                    peer.median, peer.p99, peerW.median, peerW.p99, chartMb);
        std::printf("plot_ms_qtcharts median=%.2f p99=%.2f\n", peer.median, peer.p99);
    }
#endif
    std::printf("plot_ms median=%.2f p99=%.2f\n", ours.median, ours.p99);
    std::printf("plot_hour_mb=%.1f\n", hourMb);
    return 0;
}
