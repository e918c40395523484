#include "cli/compress_command.h"

#include "file_io/file_writer.h"
#include "file_io/native_path.h"
#include "picture_io/picture_file.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageWriter>

#include <cmath>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>

namespace quadrel::cli {

namespace {

Failure Failed(const QString& message) {
    return Fail(message.toStdString());
}

/// An output opened before anything is written, or none when it has no name.
using Output = std::optional<OutputFile>;

/// Opens an output; every output is opened before any is written, so one that
/// cannot be made fails the command with no file touched.
Status Open(const QString& path, Output& output) {
    if (path.isEmpty()) {
        return Done{};
    }
    Result<OutputFile> file = OutputFile::Open(path, Streams::Allow);
    if (!file) {
        return Failed(
            QStringLiteral("%1: %2").arg(ShownPath(path), QString::fromStdString(file.Message())));
    }
    output.emplace(std::move(file).Value());
    return Done{};
}

/// Encodes a PNG and writes it to an opened output; a file is replaced at Commit.
Status WritePng(const QImage& picture, const QString& path, Output& output) {
    if (!output) {
        return Done{};
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(picture)) {
        return Failed(QStringLiteral("%1: the picture cannot be encoded: %2.")
                          .arg(ShownPath(path), writer.errorString()));
    }
    const auto size = static_cast<std::size_t>(bytes.size());
    if (const Status written = output->Write(std::string_view(bytes.constData(), size)); !written) {
        return Failed(QStringLiteral("%1: %2").arg(ShownPath(path),
                                                   QString::fromStdString(written.Message())));
    }
    return Done{};
}

Status Commit(const QString& path, Output& output) {
    if (!output) {
        return Done{};
    }
    if (const Status committed = output->Commit(); !committed) {
        return Failed(QStringLiteral("%1: %2").arg(ShownPath(path),
                                                   QString::fromStdString(committed.Message())));
    }
    return Done{};
}

/// The outputs a request names, opened before the analysis runs.
struct Outputs {
    Output Reconstruction;
    Output Difference;
    Output Jpeg;
};

Result<Outputs> OpenOutputs(const CompressRequest& request) {
    Outputs outputs;
    if (const Status opened = Open(request.Reconstruction, outputs.Reconstruction); !opened) {
        return Fail(opened.Message());
    }
    if (const Status opened = Open(request.Difference, outputs.Difference); !opened) {
        return Fail(opened.Message());
    }
    if (const Status opened = Open(request.Jpeg, outputs.Jpeg); !opened) {
        return Fail(opened.Message());
    }
    return outputs;
}

/// Writes the JPEG file's bytes to its opened output.
Status WriteJpeg(const Result<std::string>& file, const QString& path, Output& output) {
    if (!file) {
        return Failed(QStringLiteral("%1: the file cannot be written: %2")
                          .arg(ShownPath(path), QString::fromStdString(file.Message())));
    }
    if (const Status written = output->Write(*file); !written) {
        return Failed(QStringLiteral("%1: %2").arg(ShownPath(path),
                                                   QString::fromStdString(written.Message())));
    }
    return Done{};
}

/// What the outputs are made of, each made only when asked for.
struct OutputSources {
    std::function<QImage()> Reconstruction;
    std::function<QImage()> Difference;
    std::function<jpeg::CodedPicture()> Coded;
};

/// Writes every output before any replaces its file; the JPEG file's size is
/// left in fileBytes.
Status WriteOutputs(const CompressRequest& request, Outputs& outputs, const OutputSources& sources,
                    std::optional<std::int64_t>& fileBytes) {
    Status done = outputs.Reconstruction ? WritePng(sources.Reconstruction(),
                                                    request.Reconstruction, outputs.Reconstruction)
                                         : Status(Done{});
    if (done && outputs.Difference) {
        done = WritePng(sources.Difference(), request.Difference, outputs.Difference);
    }
    if (done && outputs.Jpeg) {
        const Result<std::string> file = jpeg::WriteJfif(sources.Coded(), request.Jfif);
        done = WriteJpeg(file, request.Jpeg, outputs.Jpeg);
        if (file) {
            fileBytes = static_cast<std::int64_t>(file->size());
        }
    }
    for (auto [path, output] : {std::pair{&request.Reconstruction, &outputs.Reconstruction},
                                std::pair{&request.Difference, &outputs.Difference},
                                std::pair{&request.Jpeg, &outputs.Jpeg}}) {
        if (done) {
            done = Commit(*path, *output);
        }
    }
    return done;
}

/// The file's size in the report, when one was written.
void AddFileBytes(Node& doc, const std::optional<std::int64_t>& fileBytes) {
    if (fileBytes) {
        doc.Add(Node::MakeInteger("file_bytes", "JPEG file (bytes)", *fileBytes));
    }
}

} // namespace

void AddSsim(Node& doc, const std::string& title, double ssim) {
    Node& node = doc.Add(Node::MakeNumber("ssim", title, ssim, 4));
    if (std::isnan(ssim)) {
        node.Display = "not defined: the picture is under 11 pixels a side";
    }
}

namespace {

std::string ModeName(CompressionMode mode) {
    switch (mode) {
    case CompressionMode::Quality:
        return "jpeg-quality";
    case CompressionMode::Table:
        return "jpeg-table";
    case CompressionMode::Uniform:
        return "uniform-step";
    case CompressionMode::QuadrelStep:
        break;
    }
    return "quadrel-step";
}

std::string UpsamplingName(jpeg::Upsampling upsampling) {
    return upsampling == jpeg::Upsampling::Smooth ? "smooth" : "box";
}

Node ColourDocument(const CompressRequest& request, const jpeg::ColourAnalysis& a) {
    const ColourCompressionSettings& s = request.ColourSettings;
    const bool colour = a.Components == 3;
    Node doc = Node::MakeObject("", "");
    doc.Add(Node::MakeText("picture", "Picture", request.Picture.toStdString()));
    doc.Add(Node::MakeText("mode", "Mode", "jpeg-quality"));
    doc.Add(Node::MakeInteger("quality", "Quality", s.Quality));
    if (colour) {
        doc.Add(Node::MakeInteger("chroma_quality", "Chroma quality", s.ChromaQuality));
        doc.Add(Node::MakeText("sampling", "Sampling", std::string(SubsamplingName(s.Sampling))));
        doc.Add(Node::MakeText("upsampling", "Upsampling", UpsamplingName(s.Upsample)));
    } else {
        doc.Add(Node::MakeText("sampling", "Sampling", "grey: one component"));
    }
    doc.Add(Node::MakeText("dct", "DCT", s.Dct == jpeg::DctMethod::Float ? "float" : "integer"));
    doc.Add(Node::MakeInteger("width", "Width", a.Width));
    doc.Add(Node::MakeInteger("height", "Height", a.Height));
    Node& components = doc.Add(Node::MakeRecords("components", "Components"));
    for (const jpeg::ComponentCoding& c : a.Coding) {
        Node row = Node::MakeObject("", "");
        row.Add(Node::MakeText("name", "Name", c.Name));
        row.Add(Node::MakeInteger("blocks", "8x8 blocks", c.Blocks));
        row.Add(Node::MakeInteger("dc_bits", "DC bits", c.DcBits));
        row.Add(Node::MakeInteger("ac_bits", "AC bits", c.AcBits));
        row.Add(Node::MakeInteger("bits", "Bits", c.Bits()));
        components.Add(std::move(row));
    }
    doc.Add(Node::MakeInteger("bits", "Bits (entropy-coded data)", a.TotalBits));
    doc.Add(Node::MakeInteger("bytes", "Bytes", a.Bytes));
    doc.Add(Node::MakeNumber("bits_per_pixel", "Bits per pixel", a.BitsPerPixel, 4));
    doc.Add(Node::MakeNumber("raw_bits_per_pixel", "Bits per pixel before coding",
                             a.RawBitsPerPixel, 2));
    doc.Add(Node::MakeNumber("compression_ratio", "Compression ratio", a.CompressionRatio, 2));
    doc.Add(Node::MakeNumber("mse", "MSE", a.Mse, 4));
    Node& psnr = doc.Add(
        Node::MakeNumber("psnr", colour ? "PSNR over R, G, B (dB)" : "PSNR (dB)", a.Psnr, 4));
    if (a.Lossless) {
        psnr.Display = "infinite: the reconstruction equals the picture";
    }
    doc.Add(Node::MakeNumber("psnr_y", "PSNR of Y (dB)", a.PsnrY, 4));
    AddSsim(doc, colour ? "SSIM of Y" : "SSIM", a.Ssim);
    doc.Add(Node::MakeBoolean("lossless", "Lossless", a.Lossless));
    return doc;
}

/// The colour chain; its outputs are opened, written and replaced as the grey
/// chain's are.
Result<Node> ColourReport(const CompressRequest& request, const QImage& picture) {
    Result<Outputs> outputs = OpenOutputs(request);
    if (!outputs) {
        return Fail(outputs.Message());
    }
    ColourCompressionSettings settings = request.ColourSettings;
    settings.KeepBlocks = !request.Jpeg.isEmpty();
    const jpeg::ColourAnalysis a = CompressColour(picture, settings);
    if (a.Reconstruction.empty()) {
        return Fail("there is not enough memory to code the picture.");
    }
    std::optional<std::int64_t> fileBytes;
    const OutputSources sources{
        [&] { return ColourReconstructionPicture(a); },
        [&] { return ColourDifferencePicture(picture, a, request.Amplification); },
        [&] { return a.Coded; }};
    if (const Status written = WriteOutputs(request, *outputs, sources, fileBytes); !written) {
        return Fail(written.Message());
    }
    Node doc = ColourDocument(request, a);
    AddFileBytes(doc, fileBytes);
    return doc;
}

} // namespace

Result<Node> CompressReport(const CompressRequest& request) {
    const Result<QImage> load =
        LoadPictureFile(request.Picture, QColor(kCompressionBackground), PictureForm::Packed);
    if (!load) {
        return Failed(QStringLiteral("the picture \"%1\" cannot be used: %2")
                          .arg(ShownPath(request.Picture), QString::fromStdString(load.Message())));
    }
    if (request.Colour) {
        return ColourReport(request, *load);
    }
    const QImage grey = GreyPicture(*load);
    if (grey.isNull()) {
        return Fail("there is not enough memory to make the picture grey.");
    }
    Result<Outputs> outputs = OpenOutputs(request);
    if (!outputs) {
        return Fail(outputs.Message());
    }
    CompressionSettings settings = request.Settings;
    settings.KeepBlocks = !request.Jpeg.isEmpty();
    const jpeg::PictureAnalysis a = Compress(grey, settings);
    std::optional<std::int64_t> fileBytes;
    const OutputSources sources{[&] { return ReconstructionPicture(a, grey.size()); },
                                [&] { return DifferencePicture(grey, a, request.Amplification); },
                                [&] {
                                    return jpeg::GreyCodedPicture(
                                        a, grey.width(), grey.height(),
                                        TableOf(settings).value_or(jpeg::kLuminanceTable));
                                }};
    if (const Status written = WriteOutputs(request, *outputs, sources, fileBytes); !written) {
        return Fail(written.Message());
    }

    Node doc = Node::MakeObject("", "");
    doc.Add(Node::MakeText("picture", "Picture", ShownPath(request.Picture).toStdString()));
    doc.Add(Node::MakeText("mode", "Mode", ModeName(request.Settings.Mode)));
    switch (request.Settings.Mode) {
    case CompressionMode::Quality:
        doc.Add(Node::MakeInteger("quality", "Quality", request.Settings.Quality));
        break;
    case CompressionMode::Table:
        doc.Add(Node::MakeText("table", "Table file", ShownPath(request.TableFile).toStdString()));
        break;
    case CompressionMode::Uniform:
        doc.Add(Node::MakeInteger("step", "Step of every coefficient", request.Settings.Step));
        break;
    case CompressionMode::QuadrelStep:
        doc.Add(Node::MakeInteger("step", "Quantisation step", request.Settings.Step));
        break;
    }
    if (request.Settings.Mode != CompressionMode::QuadrelStep) {
        doc.Add(Node::MakeText(
            "dct", "DCT", request.Settings.Dct == jpeg::DctMethod::Float ? "float" : "integer"));
    }
    doc.Add(Node::MakeInteger("width", "Width", grey.width()));
    doc.Add(Node::MakeInteger("height", "Height", grey.height()));
    doc.Add(Node::MakeInteger("blocks", "8x8 blocks", std::int64_t{a.BlocksAcross} * a.BlocksDown));
    doc.Add(Node::MakeInteger("dc_bits", "DC bits", a.DcBits));
    doc.Add(Node::MakeInteger("ac_bits", "AC bits", a.AcBits));
    doc.Add(Node::MakeInteger("bits", "Bits (entropy-coded data)", a.TotalBits));
    doc.Add(Node::MakeInteger("bytes", "Bytes", (a.TotalBits + 7) / 8));
    doc.Add(Node::MakeNumber("bits_per_pixel", "Bits per pixel", a.BitsPerPixel, 4));
    doc.Add(Node::MakeNumber("compression_ratio", "Compression ratio", a.CompressionRatio, 2));
    doc.Add(Node::MakeNumber("zero_share", "Share of zero coefficients", a.ZeroShare, 4));
    doc.Add(Node::MakeNumber("mse", "MSE", a.Mse, 4));
    Node& psnr = doc.Add(Node::MakeNumber("psnr", "PSNR (dB)", a.Psnr, 4));
    if (a.Lossless) {
        psnr.Display = "infinite: the reconstruction equals the picture";
    }
    AddSsim(doc, "SSIM", a.Ssim);
    doc.Add(Node::MakeBoolean("lossless", "Lossless", a.Lossless));
    AddFileBytes(doc, fileBytes);
    return doc;
}

} // namespace quadrel::cli
