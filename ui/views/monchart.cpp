#include "ui/views/monchart.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "platform/text/SysUtils.h"

namespace dv {

namespace {

constexpr double kSecondsPerDay = 86400.0;
// Label steps of the time axis, in seconds.
constexpr double kTimeSteps[] = {1,    2,    5,    10,   15,    30,    60,    120,   300,
                                 600,  900,  1800, 3600, 7200,  10800, 21600, 43200, 86400};

bool Placeable(const TGanttBar& b) { return std::isfinite(b.Start) && std::isfinite(b.End); }

// Gaps around the plot area and between its parts, in pixels.
constexpr int kOuter = 6;
constexpr int kTick = 4;
constexpr int kGap = 4;

}  // namespace

// ---------------------------------------------------------------- series

void TGanttSeries::Clear() {
    FBars.clear();
    if (FChart) FChart->update();
}

int TGanttSeries::AddGanttColor(TDateTime start, TDateTime end, int64_t y, const std::string&, TColor color) {
    // After every bar that starts at or before this one: equal starts keep
    // their order, and a start that is not a number goes last.
    auto at = std::upper_bound(FBars.begin(), FBars.end(), start,
                               [](TDateTime s, const TGanttBar& b) { return s < b.Start; });
    at = FBars.insert(at, TGanttBar{start, end, y, color});
    if (FChart) FChart->update();
    return static_cast<int>(at - FBars.begin());
}

// ---------------------------------------------------------------- axes

TChart::TChart(QWidget* parent) : QWidget(parent) {
    setObjectName("RChart");
    setAutoFillBackground(false);
}

double TChart::TimeStep(double spanDays, int maxTicks) {
    if (maxTicks < 1) maxTicks = 1;
    const double span = std::isfinite(spanDays) && spanDays > 0 ? spanDays * kSecondsPerDay : 0;
    for (double s : kTimeSteps)
        if (span / s <= maxTicks) return s / kSecondsPerDay;
    // Longer than a day per label: whole days, 1, 2, 5 times a power of ten.
    for (double mag = 1;; mag *= 10)
        for (double m : {1.0, 2.0, 5.0})
            if (span / (m * mag * kSecondsPerDay) <= maxTicks || mag > 1e12) return m * mag;
}

double TChart::ValueStep(double span, int maxTicks) {
    if (maxTicks < 1) maxTicks = 1;
    if (!std::isfinite(span) || span <= 0) return 1;
    const double raw = span / maxTicks;
    if (raw <= 1) return 1;
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * mag >= raw) return m * mag;
    return 10 * mag;
}

TAxisScale TChart::BottomAxis(int maxTicks) const {
    TAxisScale a;
    bool any = false;
    for (int i = 0; i < Series1.Count(); ++i) {
        const TGanttBar& b = Series1.Bar(i);
        if (!Placeable(b)) continue;
        const double lo = std::min(b.Start, b.End), hi = std::max(b.Start, b.End);
        if (!any) {
            a.Min = lo;
            a.Max = hi;
            any = true;
        } else {
            a.Min = std::min(a.Min, lo);
            a.Max = std::max(a.Max, hi);
        }
    }
    if (!any) return a;
    // A bar of no length still needs an axis to stand on: one second each side.
    const double second = 1 / kSecondsPerDay;
    if (a.Max - a.Min < second) {
        a.Min -= second;
        a.Max += second;
    }
    const double step = TimeStep(a.Max - a.Min, maxTicks) * kSecondsPerDay;
    const double lo = a.Min * kSecondsPerDay, hi = a.Max * kSecondsPerDay;
    // Counted in seconds so that the ticks fall on whole seconds.
    // Dates of today carry some noise at this magnitude: allow for it.
    for (double k = std::ceil(lo / step - 1e-4); k * step <= hi + step * 1e-4 && a.Ticks.size() < 1000; k += 1)
        a.Ticks.push_back(k * step / kSecondsPerDay);
    return a;
}

TAxisScale TChart::LeftAxis(int maxTicks) const {
    TAxisScale a;
    if (Series1.Count() == 0) return a;
    double lo = Series1.Bar(0).Y, hi = lo;
    for (int i = 1; i < Series1.Count(); ++i) {
        lo = std::min<double>(lo, Series1.Bar(i).Y);
        hi = std::max<double>(hi, Series1.Bar(i).Y);
    }
    // Room above the highest and below the lowest bar.
    const double pad = std::max(0.5, (hi - lo) * 0.05);
    a.Min = lo - pad;
    a.Max = hi + pad;
    const double step = ValueStep(a.Max - a.Min, maxTicks);
    for (double k = std::ceil(a.Min / step); k * step <= a.Max && a.Ticks.size() < 1000; k += 1)
        a.Ticks.push_back(k * step);
    return a;
}

// ---------------------------------------------------------------- layout

int TChart::LeftTicksFor(int plotHeight) const {
    return std::max(2, plotHeight / std::max(1, fontMetrics().height() * 2));
}

int TChart::BottomTicksFor(int plotWidth) const {
    const int label = fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")) + 16;
    return std::max(2, plotWidth / std::max(1, label));
}

QRect TChart::PlotRectFor(const TAxisScale& left) const {
    const QFontMetrics fm = fontMetrics();
    int labels = 0;
    for (double t : left.Ticks)
        labels = std::max(labels, fm.horizontalAdvance(QString::number(static_cast<qlonglong>(t))));
    const int l = kOuter + fm.height() + kGap + labels + kTick;
    const int t = kOuter + fm.height() / 2;
    const int r = kOuter + fm.horizontalAdvance(QStringLiteral("00:00:00")) / 2;
    const int b = kTick + fm.height() + kGap + fm.height() + kOuter;
    return QRect(QPoint(l, t), QPoint(width() - 1 - r, height() - 1 - b));
}

QRect TChart::PlotRect() const {
    const QFontMetrics fm = fontMetrics();
    const int plotHeight = height() - (kOuter + fm.height() / 2) - (kTick + 2 * fm.height() + kGap + kOuter);
    return PlotRectFor(LeftAxis(LeftTicksFor(plotHeight)));
}

QRect TChart::BarRect(const TGanttBar& bar) const {
    if (!Placeable(bar)) return QRect();
    const QRect plot = PlotRect();
    if (plot.width() <= 0 || plot.height() <= 0) return QRect();
    const TAxisScale x = BottomAxis(BottomTicksFor(plot.width()));
    const TAxisScale y = LeftAxis(LeftTicksFor(plot.height()));
    auto px = [&](double t) {
        const double f = (t - x.Min) / (x.Max - x.Min);
        return plot.left() + static_cast<int>(std::lround(std::clamp(f, 0.0, 1.0) * (plot.width() - 1)));
    };
    const double fy = (bar.Y - y.Min) / (y.Max - y.Min);
    const int cy = plot.bottom() - static_cast<int>(std::lround(std::clamp(fy, 0.0, 1.0) * (plot.height() - 1)));
    const int x1 = px(std::min(bar.Start, bar.End)), x2 = px(std::max(bar.Start, bar.End));
    const int v = std::max(0, Series1.VertSize);
    return QRect(QPoint(x1, cy - v), QPoint(std::max(x1, x2), cy + v));
}

// ---------------------------------------------------------------- painting

void TChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setPen(QColor(160, 160, 160));
    p.drawRect(rect().adjusted(0, 0, -1, -1));

    const QFontMetrics fm = fontMetrics();
    const QRect plot = PlotRect();
    p.setPen(Qt::black);
    // Axis titles: "Time" under the labels, "Transaction N" turned up the left side.
    const QString bottomTitle = QString::fromStdString(BottomAxisTitle);
    p.drawText(QRect(plot.left(), height() - kOuter - fm.height(), std::max(0, plot.width()), fm.height()),
               Qt::AlignHCenter | Qt::AlignVCenter, bottomTitle);
    p.save();
    p.translate(kOuter, plot.top() + plot.height() / 2);
    p.rotate(-90);
    p.drawText(QRect(-plot.height() / 2, 0, std::max(0, plot.height()), fm.height()), Qt::AlignCenter,
               QString::fromStdString(LeftAxisTitle));
    p.restore();
    if (plot.width() <= 0 || plot.height() <= 0) return;

    const TAxisScale x = BottomAxis(BottomTicksFor(plot.width()));
    const TAxisScale y = LeftAxis(LeftTicksFor(plot.height()));
    const QColor grid(220, 220, 220);
    for (double t : x.Ticks) {
        const int px = plot.left() + static_cast<int>(std::lround((t - x.Min) / (x.Max - x.Min) * (plot.width() - 1)));
        p.setPen(grid);
        p.drawLine(px, plot.top(), px, plot.bottom());
        p.setPen(Qt::black);
        p.drawLine(px, plot.bottom(), px, plot.bottom() + kTick);
        const QString label = QString::fromStdString(FormatDateTime(DateTimeFormat, t));
        const int w = fm.horizontalAdvance(label);
        p.drawText(QRect(px - w / 2 - 1, plot.bottom() + kTick, w + 2, fm.height()), Qt::AlignCenter, label);
    }
    for (double v : y.Ticks) {
        const int py = plot.bottom() - static_cast<int>(std::lround((v - y.Min) / (y.Max - y.Min) * (plot.height() - 1)));
        p.setPen(grid);
        p.drawLine(plot.left(), py, plot.right(), py);
        p.setPen(Qt::black);
        p.drawLine(plot.left() - kTick, py, plot.left(), py);
        const QString label = QString::number(static_cast<qlonglong>(v));
        p.drawText(QRect(0, py - fm.height() / 2, plot.left() - kTick - 2, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, label);
    }
    p.setPen(Qt::black);
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    p.drawLine(plot.bottomLeft(), plot.topLeft());

    p.setClipRect(plot);
    for (int i = 0; i < Series1.Count(); ++i) {
        const TGanttBar& bar = Series1.Bar(i);
        const QRect r = BarRect(bar);
        if (r.isNull()) continue;
        const QColor c = ColorFromWin(bar.Color);
        p.fillRect(r, c);
        p.setPen(c.darker(150));
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }
}

}  // namespace dv
