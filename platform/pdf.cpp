#include "platform/pdf.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPolygonF>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/utility.h"

namespace {

constexpr int kDpi = 1200;  // device units of the PDF: fine enough for every line and letter
std::unique_ptr<QBuffer> buffer;
std::unique_ptr<QPdfWriter> writer;
std::unique_ptr<QPainter> painter;
std::vector<std::pair<std::string, std::string>> properties;  // of the document being drawn
bool measureOnly = false;  // PdfMeasureOnly

double U(double mm) { return mm * kDpi / 25.4; }
QPointF P(double x, double y) { return {U(x), U(y)}; }

QFont Font(double pt, bool bold) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(pt);
    f.setBold(bold);
    // letters one by one, no ligatures: the PDF's text reads back (and is searched) as written
    f.setLetterSpacing(QFont::PercentageSpacing, 100.001);
    return f;
}

QPen PenOf(double width, PdfPen style) {
    QPen pen(Qt::black, U(width));
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::RoundJoin);
    switch (style) {
    case PdfPen::Dash: pen.setDashPattern({6, 3}); break;
    case PdfPen::Dot: pen.setDashPattern({1, 2.5}); break;
    case PdfPen::DashDot: pen.setDashPattern({8, 2.5, 1.5, 2.5}); break;
    case PdfPen::Grid: pen.setColor(QColor(200, 200, 200)); break;
    default: break;
    }
    return pen;
}

}  // namespace

void InitDrawingRuntime(int argc, char** argv) {
    if (QGuiApplication::instance()) return;
    EnsureRuntimeDir();
    qputenv("QT_QPA_PLATFORM", "offscreen");  // nothing is shown: no display is needed
    static int s_argc = argc;
    new QGuiApplication(s_argc, argv);
}

void PdfBegin(const std::string& title, const std::string& author, const std::string& subject, const std::string& creator) {
    properties = {{"Title", title}, {"Author", author}, {"Subject", subject}, {"Creator", creator}};
    buffer = std::make_unique<QBuffer>();
    buffer->open(QIODevice::WriteOnly);
    writer = std::make_unique<QPdfWriter>(buffer.get());
    writer->setPageSize(QPageSize(QPageSize::A4));
    writer->setPageMargins(QMarginsF(0, 0, 0, 0));
    writer->setResolution(kDpi);
    writer->setTitle(QString::fromStdString(title));
    writer->setCreator(QString::fromStdString(creator));
    painter = std::make_unique<QPainter>(writer.get());
    painter->setRenderHint(QPainter::Antialiasing);
}

void PdfNewPage() {
    if (!measureOnly) writer->newPage();
}

void PdfMeasureOnly(bool on) { measureOnly = on; }

void PdfText(double x, double y, const std::string& text, double pt, bool bold, PdfAlign align) {
    if (measureOnly) return;
    const QString t = QString::fromStdString(text);
    painter->setFont(Font(pt, bold));
    painter->setPen(Qt::black);
    double at = U(x);
    const double w = QFontMetricsF(painter->font(), writer.get()).horizontalAdvance(t);
    if (align == PdfAlign::Centre) at -= w / 2;
    if (align == PdfAlign::Right) at -= w;
    painter->drawText(QPointF(at, U(y)), t);
}

void PdfTextUp(double x, double y, const std::string& text, double pt) {
    if (measureOnly) return;
    const QString t = QString::fromStdString(text);
    painter->save();
    painter->setFont(Font(pt, false));
    painter->setPen(Qt::black);
    const double w = QFontMetricsF(painter->font(), writer.get()).horizontalAdvance(t);
    painter->translate(P(x, y));
    painter->rotate(-90);
    painter->drawText(QPointF(-w / 2, 0), t);
    painter->restore();
}

double PdfTextWidth(const std::string& text, double pt, bool bold) {
    return QFontMetricsF(Font(pt, bold), writer.get()).horizontalAdvance(QString::fromStdString(text)) * 25.4 / kDpi;
}

void PdfLine(double x1, double y1, double x2, double y2, double width, PdfPen pen) {
    if (measureOnly) return;
    painter->setPen(PenOf(width, pen));
    painter->drawLine(P(x1, y1), P(x2, y2));
}

void PdfPolyline(const std::vector<std::pair<double, double>>& points, double width, PdfPen pen) {
    if (measureOnly) return;
    QPolygonF line;
    for (const auto& [x, y] : points) line << P(x, y);
    painter->setPen(PenOf(width, pen));
    painter->setBrush(Qt::NoBrush);
    painter->drawPolyline(line);
}

namespace {

// Lines at 45 degrees (rising, or falling too for a cross hatch) 1.2 mm apart, drawn as vectors
// within the rectangle.
void Hatch(const QRectF& r, bool cross) {
    painter->save();
    painter->setClipRect(r);
    painter->setPen(PenOf(0.15, PdfPen::Solid));
    const double step = U(1.2), span = r.width() + r.height();
    for (double d = 0; d <= span; d += step) {
        painter->drawLine(QPointF(r.left() + d - r.height(), r.bottom()), QPointF(r.left() + d, r.top()));
        if (cross) painter->drawLine(QPointF(r.left() + d - r.height(), r.top()), QPointF(r.left() + d, r.bottom()));
    }
    painter->restore();
}

}  // namespace

void PdfRect(double x, double y, double w, double h, double width, PdfFill fill, PdfPen pen) {
    if (measureOnly) return;
    const QRectF r(P(x, y), P(x + w, y + h));
    painter->setPen(Qt::NoPen);
    if (fill == PdfFill::Hatch || fill == PdfFill::CrossHatch) {
        Hatch(r, fill == PdfFill::CrossHatch);
    } else if (fill != PdfFill::None) {
        painter->setBrush(fill == PdfFill::Black ? QColor(Qt::black) : QColor(225, 225, 225));
        painter->drawRect(r);
    }
    if (width > 0) {
        painter->setPen(PenOf(width, pen));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(r);
    }
}

namespace {

// A PDF text string: UTF-16BE after its byte-order mark, in hexadecimal.
std::string PdfString(const std::string& text) {
    std::string out = "<FEFF";
    char t[8];
    for (const QChar c : QString::fromStdString(text)) {
        std::snprintf(t, sizeof t, "%04X", unsigned(c.unicode()));
        out += t;
    }
    return out + ">";
}

// The number after `key` in the last trailer of `pdf` ("/Root 2 0 R" gives 2); -1 when none.
long TrailerNumber(const std::string& pdf, const std::string& key) {
    const size_t trailer = pdf.rfind("trailer");
    const size_t at = trailer == std::string::npos ? trailer : pdf.find(key, trailer);
    return at == std::string::npos ? -1 : std::strtol(pdf.c_str() + at + key.size(), nullptr, 10);
}

// The document's properties as a new information dictionary, added as an update at the end of
// the file: Qt's writer keeps a title and a creator, no author or subject. "" when the document
// is not as the writer leaves it.
std::string WithProperties(const std::string& pdf) {
    const long size = TrailerNumber(pdf, "/Size"), root = TrailerNumber(pdf, "/Root");
    const size_t start = pdf.rfind("startxref");
    if (size < 1 || root < 1 || start == std::string::npos) return "";
    const long previous = std::strtol(pdf.c_str() + start + 9, nullptr, 10);
    std::string out = pdf;
    if (out.back() != '\n') out += '\n';
    const size_t info = out.size();
    out += std::to_string(size) + " 0 obj\n<<\n";
    for (const auto& [key, value] : properties)
        if (!value.empty()) out += "/" + key + " " + PdfString(value) + "\n";
    out += "/Producer " + PdfString(std::string("Qt ") + qVersion()) + "\n";
    // the writer's own creation date, taken over as it stands
    const size_t date = pdf.find("/CreationDate (");
    if (date != std::string::npos) out += pdf.substr(date, pdf.find(')', date) + 1 - date) + "\n";
    out += ">>\nendobj\n";
    const size_t xref = out.size();
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", info);
    out += "xref\n" + std::to_string(size) + " 1\n" + entry;
    out += "trailer\n<<\n/Size " + std::to_string(size + 1) + "\n/Info " + std::to_string(size) + " 0 R\n/Root " +
           std::to_string(root) + " 0 R\n/Prev " + std::to_string(previous) + "\n>>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return out;
}

}  // namespace

std::string PdfEnd() {
    if (!painter) return "";
    const bool ok = painter->end();
    painter.reset();
    writer.reset();
    const std::string bytes = ok ? WithProperties(buffer->data().toStdString()) : "";
    buffer.reset();
    return bytes;
}
