#include "jpeg_worksheet/exercise_pdf.h"

#include "file_io/file_writer.h"
#include "report/report.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>

namespace quadrel::worksheet {

namespace {

using report::Node;

constexpr double kLargestPoints = 10.0;
constexpr int kDotsPerInch = 300;

/// Draws `lines` in the fixed-pitch font, as large as fits `area` up to kLargestPoints.
void DrawPage(QPainter& painter, QPaintDevice& device, const QStringList& lines,
              const QRectF& area) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(kLargestPoints);
    const QFontMetricsF metrics(font, &device);
    double widest = 1.0;
    for (const QString& line : lines) {
        widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    const double tall = metrics.lineSpacing() * static_cast<double>(lines.size());
    const double shrink = std::min({1.0, area.width() / widest, area.height() / tall});
    font.setPointSizeF(kLargestPoints * shrink);
    painter.setFont(font);
    const QFontMetricsF fitted(font, &device);
    double y = area.top() + fitted.ascent();
    for (const QString& line : lines) {
        painter.drawText(QPointF(area.left(), y), line);
        y += fitted.lineSpacing();
    }
}

} // namespace

Result<std::vector<QStringList>> ExerciseSheetPages(const report::ExerciseSheet& sheet) {
    const Result<Node> report = report::ExerciseReport(sheet);
    if (!report) {
        return Fail(report.Message());
    }
    // The sheet's own fields head every page; the exercises array is split
    // into its elements, one to a page.
    Node header = report::Document();
    const Node* exercises = nullptr;
    for (const Node& child : report->Children) {
        if (child.NodeKind == Node::Kind::Array) {
            exercises = &child;
        } else {
            header.Add(child);
        }
    }
    std::vector<QStringList> pages;
    if (exercises == nullptr) {
        return pages;
    }
    for (const Node& exercise : exercises->Children) {
        // Each page an array of its one exercise, so that it reads as the
        // command line writes it.
        Node page = header;
        page.Add(Node::MakeArray(exercises->Key, exercises->Title)).Add(exercise);
        QString text = QString::fromStdString(report::Render(page, report::Format::Text));
        if (text.endsWith(QLatin1Char('\n'))) {
            text.chop(1);
        }
        pages.push_back(text.split(QLatin1Char('\n')));
    }
    return pages;
}

Result<QByteArray> ExerciseSheetPdf(const report::ExerciseSheet& sheet) {
    const Result<std::vector<QStringList>> pages = ExerciseSheetPages(sheet);
    if (!pages) {
        return Fail(pages.Message());
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter));
        pdf.setResolution(kDotsPerInch);
        pdf.setTitle(QStringLiteral("JPEG exercises, seed %1").arg(sheet.Seed));
        pdf.setCreator(QStringLiteral("Quadrel"));
        QPainter painter;
        if (!painter.begin(&pdf)) {
            return Fail("the PDF could not be started.");
        }
        const QRectF area(QPointF(0, 0), QSizeF(pdf.width(), pdf.height()));
        bool first = true;
        for (const QStringList& page : *pages) {
            if (!first && !pdf.newPage()) {
                return Fail("no new page could be started in the PDF.");
            }
            first = false;
            DrawPage(painter, pdf, page, area);
        }
        painter.end();
    }
    return buffer.data();
}

Status WriteExerciseSheetPdf(const QString& path, const report::ExerciseSheet& sheet) {
    const Result<QByteArray> pdf = ExerciseSheetPdf(sheet);
    if (!pdf) {
        return Fail(pdf.Message());
    }
    return WriteFile(path, *pdf, Streams::Refuse);
}

} // namespace quadrel::worksheet
