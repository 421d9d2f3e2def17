// The monitor's time chart: one horizontal bar per open transaction, from
// its start to the moment of the refresh, at the height of its number. A
// small widget painted by hand; only what the monitor needs of a chart.
#pragma once

#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/text/DateUtils.h"
#include "platform/gui/Graphics.h"

namespace dv {

struct TGanttBar {
    TDateTime Start = 0;
    TDateTime End = 0;
    int64_t Y = 0;
    TColor Color = 0;
};

// Horizontal bars with a start, an end and a Y value, kept in ascending
// order of their start (bars with the same start keep the order they came in).
class TGanttSeries {
public:
    explicit TGanttSeries(QWidget* chart = nullptr) : FChart(chart) {}

    // Teal, as the series shows every bar.
    TColor SeriesColor = 0x00808000;
    // Half the height of a bar in pixels (the bar is 2 * VertSize + 1 high).
    int VertSize = 2;

    void Clear();
    // Adds a bar; the label is not shown (the series has no marks). Returns
    // the bar's position in start order.
    int AddGanttColor(TDateTime start, TDateTime end, int64_t y, const std::string& label, TColor color);
    int Count() const { return static_cast<int>(FBars.size()); }
    const TGanttBar& Bar(int index) const { return FBars.at(static_cast<size_t>(index)); }

private:
    QWidget* FChart;   // repainted on every change
    std::vector<TGanttBar> FBars;
};

// An axis range and the values where its labels go.
struct TAxisScale {
    double Min = 0;
    double Max = 1;
    std::vector<double> Ticks;
};

class TChart : public QWidget {
public:
    explicit TChart(QWidget* parent = nullptr);

    TGanttSeries Series1{this};
    std::string BottomAxisTitle = "Time";
    std::string LeftAxisTitle = "Transaction N";
    // Labels of the bottom axis (HH hours, MM after HH minutes, SS seconds).
    std::string DateTimeFormat = "HH:MM:SS";

    // The axes for the current bars; maxTicks limits the number of labels.
    // An empty series gives no ticks; a single instant or a single Y value
    // still gives a range of non-zero width.
    TAxisScale BottomAxis(int maxTicks) const;
    TAxisScale LeftAxis(int maxTicks) const;
    // Label steps: seconds, minutes, hours, days for time; 1, 2, 5 times a
    // power of ten (never below 1) for transaction numbers.
    static double TimeStep(double spanDays, int maxTicks);
    static double ValueStep(double span, int maxTicks);
    // The plot area inside the widget for the current font and bars.
    QRect PlotRect() const;
    // Where a bar lands inside the plot area (empty for a bar that cannot
    // be placed: dates that are not finite).
    QRect BarRect(const TGanttBar& bar) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int BottomTicksFor(int plotWidth) const;
    int LeftTicksFor(int plotHeight) const;
    QRect PlotRectFor(const TAxisScale& left) const;
};

}  // namespace dv
