#include "qx5cmd/charts/TimeChart.h"

#include <algorithm>

namespace qx5cmd::charts {
namespace {

using svg::Point;

constexpr double kRight = kPlotArea.left + kPlotArea.width;
constexpr double kBottom = kPlotArea.top + kPlotArea.height;
const char* const kAxisColour = "#333";
const char* const kGridColour = "#ddd";

// Data to pixels along one axis of the plot, held to the plot's edges.
struct Scale {
  Range data;
  double from, to;
  double operator()(double v) const {
    const double at = from + (v - data.low) / data.span() * (to - from);
    return std::clamp(at, std::min(from, to), std::max(from, to));
  }
};

Scale horizontal(const Axis& axis) { return {axis.range, kPlotArea.left, kRight}; }
Scale vertical(const Axis& axis) { return {axis.range, kBottom, kPlotArea.top}; }

void drawShades(svg::Document& doc, const Chart& chart, const Scale& x) {
  for (const Shade& shade : chart.shades) {
    for (const Range& period : shade.periods) {
      const double from = x(period.low), to = x(period.high);
      doc.rect(from, kPlotArea.top, to - from, kPlotArea.height, {shade.colour, shade.opacity});
    }
  }
}

void drawBands(svg::Document& doc, const Chart& chart, const Scale& y) {
  for (const Band& band : chart.bands) {
    const double top = y(band.values.high), bottom = y(band.values.low);
    doc.rect(kPlotArea.left, top, kPlotArea.width, bottom - top, {band.colour, 0.25});
    if (band.level) {
      doc.line({kPlotArea.left, y(*band.level)}, {kRight, y(*band.level)},
               {band.colour, 1.5, "8 4"});
    }
  }
}

void drawGrid(svg::Document& doc, const Chart& chart, const Scale& x, const Scale& y) {
  for (const Tick& t : chart.x.ticks)
    doc.line({x(t.value), kPlotArea.top}, {x(t.value), kBottom}, {kGridColour});
  for (const Tick& t : chart.left.ticks)
    doc.line({kPlotArea.left, y(t.value)}, {kRight, y(t.value)}, {kGridColour});
}

void drawMarkers(svg::Document& doc, const Chart& chart, const Scale& x) {
  for (const Marker& marker : chart.markers) {
    const double at = x(marker.at);
    doc.line({at, kPlotArea.top}, {at, kBottom}, {marker.colour, 2, "4 3"});
    doc.text({at + 4, kPlotArea.top + 14}, marker.name, {11, svg::Anchor::start, marker.colour});
  }
}

void drawSeries(svg::Document& doc, const Chart& chart, const Scale& x) {
  for (const Series& series : chart.series) {
    const Scale y = vertical(series.rightAxis && chart.right ? *chart.right : chart.left);
    std::vector<Point> pixels;
    pixels.reserve(series.points.size());
    for (const Point& p : series.points) pixels.push_back({x(p.x), y(p.y)});
    // One sample is a dot: a line needs two ends.
    if (pixels.size() == 1) doc.circle(pixels.front(), 3, {series.colour});
    doc.polyline(pixels, {series.colour, 2});
  }
}

void drawAxes(svg::Document& doc, const Chart& chart, const Scale& x) {
  doc.rect(kPlotArea.left, kPlotArea.top, kPlotArea.width, kPlotArea.height, {}, {kAxisColour},
           "plot-area");
  for (const Tick& t : chart.x.ticks) {
    doc.line({x(t.value), kBottom}, {x(t.value), kBottom + 5}, {kAxisColour});
    doc.text({x(t.value), kBottom + 19}, t.label, {11, svg::Anchor::middle});
  }
  doc.text({kPlotArea.left + kPlotArea.width / 2, kBottom + 40}, chart.x.title,
           {12, svg::Anchor::middle});
  const Scale left = vertical(chart.left);
  for (const Tick& t : chart.left.ticks) {
    doc.line({kPlotArea.left - 5, left(t.value)}, {kPlotArea.left, left(t.value)}, {kAxisColour});
    doc.text({kPlotArea.left - 8, left(t.value) + 4}, t.label, {11, svg::Anchor::end});
  }
  const double middle = kPlotArea.top + kPlotArea.height / 2;
  doc.text({18, middle}, chart.left.title, {12, svg::Anchor::middle, "#000", false, -90});
  if (!chart.right) return;
  const Scale right = vertical(*chart.right);
  for (const Tick& t : chart.right->ticks) {
    doc.line({kRight, right(t.value)}, {kRight + 5, right(t.value)}, {kAxisColour});
    doc.text({kRight + 8, right(t.value) + 4}, t.label, {11, svg::Anchor::start});
  }
  doc.text({kChartWidth - 14.0, middle}, chart.right->title,
           {12, svg::Anchor::middle, "#000", false, 90});
}

// A swatch and a name per shaded period, band, level, marker and curve, in one row.
void drawLegend(svg::Document& doc, const Chart& chart) {
  struct Entry {
    std::string name, colour;
    bool area;
  };
  std::vector<Entry> entries;
  for (const Shade& s : chart.shades) entries.push_back({s.name, s.colour, true});
  for (const Band& b : chart.bands) {
    entries.push_back({b.name, b.colour, true});
    if (b.level) entries.push_back({b.levelName, b.colour, false});
  }
  for (const Marker& m : chart.markers) entries.push_back({m.name, m.colour, false});
  for (const Series& s : chart.series) entries.push_back({s.name, s.colour, false});
  double at = kPlotArea.left;
  const double y = kBottom + 66;
  for (const Entry& e : entries) {
    if (e.name.empty()) continue;
    if (e.area) {
      doc.rect(at, y - 10, 18, 12, {e.colour, 0.6});
    } else {
      doc.line({at, y - 4}, {at + 18, y - 4}, {e.colour, 3});
    }
    doc.text({at + 24, y}, e.name, {11});
    at += 24 + 6.5 * static_cast<double>(e.name.size()) + 18;
  }
}

}  // namespace

std::string drawChart(const Chart& chart) {
  svg::Document doc(kChartWidth, kChartHeight, chart.title);
  const Scale x = horizontal(chart.x);
  drawShades(doc, chart, x);
  drawBands(doc, chart, vertical(chart.left));
  drawGrid(doc, chart, x, vertical(chart.left));
  drawMarkers(doc, chart, x);
  drawSeries(doc, chart, x);
  drawAxes(doc, chart, x);
  doc.text({kChartWidth / 2.0, 28}, chart.title, {16, svg::Anchor::middle, "#000", true});
  drawLegend(doc, chart);
  double y = kBottom + 90;
  for (const std::string& line : chart.caption) {
    doc.text({kPlotArea.left, y}, line, {11, svg::Anchor::start, "#444"});
    y += 16;
  }
  return doc.str();
}

}  // namespace qx5cmd::charts
