// A chart of readings over time: curves on a left and an optional right axis, shaded periods,
// a horizontal band and level, moments marked, a legend and a caption, drawn as one SVG.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "qx5cmd/charts/Svg.h"
#include "qx5cmd/charts/Ticks.h"

namespace qx5cmd::charts {

// Where the data lands in every chart, in SVG pixels; the element has the id "plot-area".
struct PlotArea {
  double left, top, width, height;
};
inline constexpr int kChartWidth = 900;
inline constexpr int kChartHeight = 480;
inline constexpr PlotArea kPlotArea{80, 50, 740, 300};

struct Series {
  std::string name;
  std::string colour;
  std::vector<svg::Point> points;  // in data units, in time order
  bool rightAxis = false;
};

// Periods of time shaded from top to bottom of the plot.
struct Shade {
  std::string name;
  std::string colour;
  double opacity = 1;
  std::vector<Range> periods;
};

// A value band across the whole plot on the left axis, with a line at `level`.
struct Band {
  std::string name;
  std::string colour;
  Range values;
  std::optional<double> level;
  std::string levelName;
};

struct Marker {
  std::string name;
  std::string colour;
  double at = 0;
};

struct Chart {
  std::string title;
  Axis x;
  Axis left;
  std::optional<Axis> right;
  std::vector<Shade> shades;
  std::vector<Band> bands;
  std::vector<Marker> markers;
  std::vector<Series> series;
  std::vector<std::string> caption;  // one entry per line under the legend
};

std::string drawChart(const Chart& chart);

}  // namespace qx5cmd::charts
