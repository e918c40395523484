#include "cli/rd_command.h"

#include "cli/compress_command.h"
#include "compression/rate_distortion.h"
#include "file_io/native_path.h"
#include "picture_io/picture_file.h"

#include <cmath>
#include <optional>
#include <string>

namespace quadrel::cli {

namespace {

using report::Node;

Node Row(const RateRequest& request, const RatePoint& point) {
    Node row = Node::MakeObject("", "");
    row.Add(Node::MakeInteger("quality", "Quality", point.Setting));
    row.Add(Node::MakeNumber("bits_per_pixel",
                             request.Optimise ? "File bits per pixel" : "Bits per pixel",
                             point.BitsPerPixel, 4));
    row.Add(request.Optimise ? Node::MakeInteger("file_bytes", "JPEG file (bytes)", point.Bytes)
                             : Node::MakeInteger("bytes", "Bytes", point.Bytes));
    Node& psnr = row.Add(Node::MakeNumber(
        "psnr", request.Colour ? "PSNR over R, G, B (dB)" : "PSNR (dB)", point.Psnr, 4));
    if (point.Lossless) {
        psnr.Display = "infinite";
    }
    if (request.Colour) {
        Node& psnrY = row.Add(Node::MakeNumber("psnr_y", "PSNR of Y (dB)", point.PsnrY, 4));
        if (std::isinf(point.PsnrY)) {
            psnrY.Display = "infinite";
        }
    }
    AddSsim(row, request.Colour ? "SSIM of Y" : "SSIM", point.Ssim);
    return row;
}

} // namespace

Result<Node> RateReport(const RateRequest& request) {
    const Result<QImage> load =
        LoadPictureFile(request.Picture, QColor(kCompressionBackground), PictureForm::GreyAsIs);
    if (!load) {
        return Fail(QStringLiteral("the picture \"%1\" cannot be used: %2")
                        .arg(ShownPath(request.Picture), QString::fromStdString(load.Message()))
                        .toStdString());
    }
    Node doc = Node::MakeObject("", "");
    doc.Add(Node::MakeText("picture", "Picture", ShownPath(request.Picture).toStdString()));
    doc.Add(Node::MakeText("mode", "Mode", "jpeg-quality"));
    doc.Add(
        Node::MakeText("dct", "DCT", request.Dct == jpeg::DctMethod::Float ? "float" : "integer"));
    doc.Add(Node::MakeText("huffman", "Huffman tables",
                           request.Optimise ? "optimised (whole file's size)" : "standard"));
    Node rows = Node::MakeRecords("rows", "Rate and distortion");
    const auto failed = [](int quality) {
        return Fail("the picture cannot be coded at quality " + std::to_string(quality) + ".");
    };
    if (request.Colour) {
        const ColourCompressionSettings& s = request.ColourSettings;
        const bool colour = load->format() != QImage::Format_Grayscale8;
        doc.Add(Node::MakeText("sampling", "Sampling",
                               colour ? std::string(SubsamplingName(s.Sampling))
                                      : "grey: one component"));
        if (colour) {
            doc.Add(request.ChromaFollows
                        ? Node::MakeText("chroma_quality", "Chroma quality", "the quality")
                        : Node::MakeInteger("chroma_quality", "Chroma quality", s.ChromaQuality));
        }
        const ColourSweep sweep(*load, s.Sampling, request.Dct);
        const std::vector<std::optional<RatePoint>> points =
            SweepPoints(request.Qualities, [&sweep, &request, &s](int quality, unsigned threads) {
                ColourCompressionSettings settings = s;
                settings.Quality = quality;
                if (request.ChromaFollows) {
                    settings.ChromaQuality = quality;
                }
                return sweep.At(settings, request.Optimise, nullptr, threads);
            });
        for (std::size_t i = 0; i < points.size(); ++i) {
            if (!points[i]) {
                return failed(request.Qualities[i]);
            }
            rows.Add(Row(request, *points[i]));
        }
    } else {
        const QImage grey = GreyPicture(*load);
        if (grey.isNull()) {
            return Fail("there is not enough memory to make the picture grey.");
        }
        const GreySweep sweep(grey, request.Dct);
        const std::vector<std::optional<RatePoint>> points =
            SweepPoints(request.Qualities, [&sweep, &request](int quality, unsigned threads) {
                return sweep.At(GreyRule::StandardTable, quality, request.Optimise, nullptr,
                                threads);
            });
        for (std::size_t i = 0; i < points.size(); ++i) {
            if (!points[i]) {
                return failed(request.Qualities[i]);
            }
            rows.Add(Row(request, *points[i]));
        }
    }
    doc.Add(Node::MakeInteger("width", "Width", load->width()));
    doc.Add(Node::MakeInteger("height", "Height", load->height()));
    doc.Add(std::move(rows));
    return doc;
}

} // namespace quadrel::cli
