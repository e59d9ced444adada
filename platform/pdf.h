// A PDF drawn as vectors on A4 pages, for a program without a window (Qt's offscreen platform):
// text, lines, polylines and rectangles in millimetres from the page's top left corner. Pens and
// fills that read in black and white: line styles and hatching, no colour.
#pragma once

#include <string>
#include <utility>
#include <vector>

// The run-time of a program that draws but shows nothing: Qt Gui on its offscreen platform, once.
void InitDrawingRuntime(int argc, char** argv);

enum class PdfPen { Solid, Dash, Dot, DashDot, Grid };  // Grid: a thin light grey line
enum class PdfFill { None, Hatch, CrossHatch, LightGrey, Black };
enum class PdfAlign { Left, Centre, Right };

// Begins a document in memory, its first page empty. Its properties: `title`, `author` and
// `subject` (each left out when empty), and `creator`, the program that made it.
void PdfBegin(const std::string& title, const std::string& author, const std::string& subject, const std::string& creator);
void PdfNewPage();
// Text with its baseline at y; `pt` in points.
void PdfText(double x, double y, const std::string& text, double pt, bool bold = false, PdfAlign align = PdfAlign::Left);
// Text turned a quarter to the left (reading upwards), centred on (x, y).
void PdfTextUp(double x, double y, const std::string& text, double pt);
double PdfTextWidth(const std::string& text, double pt, bool bold = false);
// `width` of the line in millimetres.
void PdfLine(double x1, double y1, double x2, double y2, double width, PdfPen pen = PdfPen::Solid);
void PdfPolyline(const std::vector<std::pair<double, double>>& points, double width, PdfPen pen = PdfPen::Solid);
// A rectangle, filled and then outlined (width 0: no outline).
void PdfRect(double x, double y, double w, double h, double width, PdfFill fill, PdfPen pen = PdfPen::Solid);
// While on, the drawing calls above draw nothing and PdfNewPage begins none; text widths are
// measured as ever. A page is laid out once so to find what fits, then drawn.
void PdfMeasureOnly(bool on);
// Ends the document; its bytes ("" when it could not be made).
std::string PdfEnd();
