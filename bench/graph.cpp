// The light-curve drawing of a 100,000-row three-object table in Entire view,
// against QPainter drawing the same precomputed points (three polylines and their
// markers) into the same image; and a Part view of that table against one of a
// 1,000-row table.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>

#include "graph/light_curve.h"
#include "reference_timing.h"

namespace {

std::vector<std::string> Table(int n) {
    std::vector<std::string> lines(6, "header");
    for (int i = 0; i < n; ++i) {
        std::string line = std::to_string(i) + ".0";
        for (int f = 2; f <= 60; ++f) {
            line += ',';
            if (f >= 11 && f <= 13) line += std::to_string(1000 + (i * 37 + f * 101) % 500 + 700 * (f - 11)) + ".25";
        }
        lines.push_back(line);
    }
    return lines;
}

struct Setup {
    std::vector<std::string> lines;
    GraphView g;
    GraphInputs in;
    LightCurveGraph graph;
    QImage image{740, 425, QImage::Format_RGB32};
    explicit Setup(int n, int item) : lines(Table(n)) {
        in.lines = &lines;
        in.objectShown[1] = in.objectShown[2] = true;
        g.DataRowCount = n;
        g.FirstShownFrame = n / 2;
        item_ = item;
    }
    void Draw() {
        WidthChoice width{true, item_};
        ScrollRange scroll;
        graph.GraphShow3(g, in, image, nullptr, width, scroll);
    }
    int item_;
};

// The same points as the drawing, computed once, drawn with QPainter.
double ReferenceNs(Setup& s) {
    s.Draw();
    std::vector<QPolygon> curves(3);
    for (int k = 1; k <= 3; ++k)
        for (int i = 0; i < s.g.ShownFrameCount && i < s.g.DataRowCount; ++i)
            curves[k - 1].append(QPoint(RowToX(s.g, i), ValueToY(s.g, 425, s.graph.Table().At(s.g.FirstShownFrame + i, k).value)));
    QImage image(740, 425, QImage::Format_RGB32);
    return bench::BestNsPerCall(
        [&](int) {
            image.fill(Qt::white);
            QPainter p(&image);
            const QColor colours[3] = {QColor(0, 0, 255), QColor(255, 170, 0), QColor(255, 0, 255)};
            for (int k = 0; k < 3; ++k) {
                p.setPen(colours[k]);
                p.drawPolyline(curves[k]);
                p.setBrush(colours[k]);
                for (const QPoint& q : curves[k]) p.drawEllipse(QRect(q.x() - 3, q.y() - 3, 6, 6));
            }
        },
        3, 3);
}

void EntireUnchanged(benchmark::State& state) {
    Setup s(100000, 1);
    const double ref = ReferenceNs(s);
    bench::TimedAgainst(state, ref, "vs_painter", [&](int) { s.Draw(); });
}

void EntireAfterTableChange(benchmark::State& state) {
    Setup s(100000, 1);
    const double ref = ReferenceNs(s);
    bench::TimedAgainst(state, ref, "vs_painter", [&](int i) {
        s.in.generation = static_cast<uint64_t>(i) + 1;
        s.Draw();
    });
}

void PartLongVsShort(benchmark::State& state) {
    Setup small(1000, 0);
    small.Draw();
    const double ref = bench::BestNsPerCall([&](int) { small.Draw(); }, 20, 5);
    Setup s(100000, 0);
    bench::TimedAgainst(state, ref, "vs_1000_rows", [&](int) { s.Draw(); });
}

}  // namespace

BENCHMARK(EntireUnchanged)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(EntireAfterTableChange)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(PartLongVsShort)->Unit(benchmark::kMillisecond)->Iterations(50);

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
