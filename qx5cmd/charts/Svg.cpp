#include "qx5cmd/charts/Svg.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace qx5cmd::svg {
namespace {

std::string strokeAttributes(const Stroke& stroke) {
  std::string text = " stroke=\"" + escaped(stroke.colour) + "\"";
  if (stroke.colour != "none") text += " stroke-width=\"" + number(stroke.width) + "\"";
  if (!stroke.dashes.empty()) text += " stroke-dasharray=\"" + escaped(stroke.dashes) + "\"";
  return text;
}

std::string fillAttributes(const Fill& fill) {
  std::string text = " fill=\"" + escaped(fill.colour) + "\"";
  if (fill.opacity < 1) text += " fill-opacity=\"" + number(fill.opacity) + "\"";
  return text;
}

const char* anchorName(Anchor anchor) {
  switch (anchor) {
    case Anchor::middle:
      return "middle";
    case Anchor::end:
      return "end";
    case Anchor::start:
      break;
  }
  return "start";
}

}  // namespace

std::string number(double value) {
  // Not a number or beyond any drawing would make the document invalid.
  if (!std::isfinite(value)) value = 0;
  value = std::round(value * 100) / 100;
  if (value == 0) value = 0;  // no "-0"
  char text[32];
  auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
  std::string out(text, result.ptr);
  out.erase(out.find_last_not_of('0') + 1);
  if (out.back() == '.') out.pop_back();
  return out;
}

std::string escaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        // Control characters are not allowed in XML 1.0 at all.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') {
          out += '?';
        } else {
          out += c;
        }
    }
  }
  return out;
}

Document::Document(int width, int height, const std::string& title)
    : width_(width), height_(height), title_(title) {}

void Document::rect(double x, double y, double width, double height, const Fill& fill,
                    const Stroke& stroke, const std::string& id) {
  body_ += "<rect";
  if (!id.empty()) body_ += " id=\"" + escaped(id) + "\"";
  body_ += " x=\"" + number(x) + "\" y=\"" + number(y) + "\" width=\"" +
           number(std::max(0.0, width)) + "\" height=\"" + number(std::max(0.0, height)) + "\"" +
           fillAttributes(fill) + strokeAttributes(stroke) + "/>\n";
}

void Document::line(Point from, Point to, const Stroke& stroke) {
  body_ += "<line x1=\"" + number(from.x) + "\" y1=\"" + number(from.y) + "\" x2=\"" +
           number(to.x) + "\" y2=\"" + number(to.y) + "\"" + strokeAttributes(stroke) + "/>\n";
}

void Document::polyline(const std::vector<Point>& points, const Stroke& stroke) {
  if (points.empty()) return;
  body_ +=
      "<polyline fill=\"none\" stroke-linejoin=\"round\"" + strokeAttributes(stroke) + " points=\"";
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (i) body_ += ' ';
    body_ += number(points[i].x) + ',' + number(points[i].y);
  }
  body_ += "\"/>\n";
}

void Document::circle(Point centre, double radius, const Fill& fill) {
  body_ += "<circle cx=\"" + number(centre.x) + "\" cy=\"" + number(centre.y) + "\" r=\"" +
           number(radius) + "\"" + fillAttributes(fill) + "/>\n";
}

void Document::text(Point at, const std::string& text, const Font& font) {
  body_ += "<text x=\"" + number(at.x) + "\" y=\"" + number(at.y) + "\" font-size=\"" +
           number(font.size) + "\" text-anchor=\"" + anchorName(font.anchor) + "\" fill=\"" +
           escaped(font.colour) + "\"";
  if (font.bold) body_ += " font-weight=\"bold\"";
  if (font.rotate != 0) {
    body_ += " transform=\"rotate(" + number(font.rotate) + ' ' + number(at.x) + ' ' +
             number(at.y) + ")\"";
  }
  body_ += ">" + escaped(text) + "</text>\n";
}

std::string Document::str() const {
  const std::string w = std::to_string(width_), h = std::to_string(height_);
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" +
         w + "\" height=\"" + h + "\" viewBox=\"0 0 " + w + ' ' + h +
         "\" font-family=\"DejaVu Sans, Verdana, sans-serif\">\n<title>" + escaped(title_) +
         "</title>\n<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n" + body_ + "</svg>\n";
}

}  // namespace qx5cmd::svg
