// A small SVG writer: just the shapes the tester's charts draw, written as plain SVG 1.1 text
// that browsers and image tools open as it is (no scripts, no external references).
#pragma once

#include <string>
#include <vector>

namespace qx5cmd::svg {

struct Point {
  double x = 0;
  double y = 0;
};

struct Stroke {
  std::string colour = "none";
  double width = 1;
  std::string dashes = "";  // e.g. "6 4"; empty draws a solid line
};

struct Fill {
  std::string colour = "none";
  double opacity = 1;
};

enum class Anchor { start, middle, end };

struct Font {
  double size = 12;
  Anchor anchor = Anchor::start;
  std::string colour = "#000";
  bool bold = false;
  double rotate = 0;  // degrees about the text's own position
};

// Numbers as SVG wants them whatever the C locale: a point, at most two decimals.
std::string number(double value);
// Text safe inside an element or an attribute value.
std::string escaped(const std::string& text);

class Document {
 public:
  Document(int width, int height, const std::string& title);

  void rect(double x, double y, double width, double height, const Fill& fill,
            const Stroke& stroke = {}, const std::string& id = "");
  void line(Point from, Point to, const Stroke& stroke);
  void polyline(const std::vector<Point>& points, const Stroke& stroke);
  void circle(Point centre, double radius, const Fill& fill);
  void text(Point at, const std::string& text, const Font& font);

  // The whole document, closed.
  std::string str() const;

 private:
  int width_;
  int height_;
  std::string title_;
  std::string body_;
};

}  // namespace qx5cmd::svg
