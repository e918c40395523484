#include "cli/compress_command.h"

#include "picture_io/picture_file.h"

#include <QImageWriter>
#include <QSaveFile>

namespace quadrel::cli {

namespace {

Failure Failed(const QString& message) {
    return Fail(message.toStdString());
}

/// Opens an output, or nothing when it has no name. QSaveFile writes beside the
/// file and replaces it only at commit, so every output is opened before any is
/// written: one that cannot be created fails the command with no file touched.
Status Open(QSaveFile& file) {
    if (file.fileName().isEmpty() || file.open(QIODevice::WriteOnly)) {
        return Done{};
    }
    return Failed(
        QStringLiteral("%1 cannot be created: %2.").arg(file.fileName(), file.errorString()));
}

/// Writes a PNG into an opened output; it replaces the file at Commit.
Status WritePng(const QImage& picture, QSaveFile& file) {
    QImageWriter writer(&file, "png");
    // An explicit flush: commit() alone can miss a failing last write.
    if (!writer.write(picture) || !file.flush()) {
        const QString reason = writer.error() != QImageWriter::UnknownError ? writer.errorString()
                                                                            : file.errorString();
        file.cancelWriting();
        return Failed(QStringLiteral("%1 cannot be written: %2.").arg(file.fileName(), reason));
    }
    return Done{};
}

Status Commit(QSaveFile& file) {
    if (!file.isOpen() || file.commit()) {
        return Done{};
    }
    return Failed(
        QStringLiteral("%1 could not be replaced: %2.").arg(file.fileName(), file.errorString()));
}

std::string ModeName(CompressionMode mode) {
    switch (mode) {
    case CompressionMode::Quality:
        return "jpeg-quality";
    case CompressionMode::Table:
        return "jpeg-table";
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
    doc.Add(Node::MakeBoolean("lossless", "Lossless", a.Lossless));
    return doc;
}

/// The colour chain; its outputs are opened, written and replaced as the grey
/// chain's are.
Result<Node> ColourReport(const CompressRequest& request, const QImage& picture) {
    QSaveFile reconstruction(request.Reconstruction);
    QSaveFile difference(request.Difference);
    for (QSaveFile* output : {&reconstruction, &difference}) {
        if (const Status opened = Open(*output); !opened) {
            return Fail(opened.Message());
        }
    }
    const jpeg::ColourAnalysis a = CompressColour(picture, request.ColourSettings);
    if (a.Reconstruction.empty()) {
        return Fail("there is not enough memory to code the picture.");
    }
    if (reconstruction.isOpen()) {
        if (const Status written = WritePng(ColourReconstructionPicture(a), reconstruction);
            !written) {
            return Fail(written.Message());
        }
    }
    if (difference.isOpen()) {
        if (const Status written =
                WritePng(ColourDifferencePicture(picture, a, request.Amplification), difference);
            !written) {
            return Fail(written.Message());
        }
    }
    for (QSaveFile* output : {&reconstruction, &difference}) {
        if (const Status committed = Commit(*output); !committed) {
            return Fail(committed.Message());
        }
    }
    return ColourDocument(request, a);
}

} // namespace

Result<Node> CompressReport(const CompressRequest& request) {
    const Result<QImage> load =
        LoadPictureFile(request.Picture, QColor(kCompressionBackground), PictureForm::GreyAsIs);
    if (!load) {
        return Failed(QStringLiteral("the picture \"%1\" cannot be used: %2")
                          .arg(request.Picture, QString::fromStdString(load.Message())));
    }
    if (request.Colour) {
        return ColourReport(request, *load);
    }
    const QImage grey = GreyPicture(*load);
    if (grey.isNull()) {
        return Fail("there is not enough memory to make the picture grey.");
    }
    QSaveFile reconstruction(request.Reconstruction);
    QSaveFile difference(request.Difference);
    for (QSaveFile* output : {&reconstruction, &difference}) {
        if (const Status opened = Open(*output); !opened) {
            return Fail(opened.Message());
        }
    }
    const jpeg::PictureAnalysis a = Compress(grey, request.Settings);
    if (reconstruction.isOpen()) {
        if (const Status written = WritePng(ReconstructionPicture(a, grey.size()), reconstruction);
            !written) {
            return Fail(written.Message());
        }
    }
    if (difference.isOpen()) {
        if (const Status written =
                WritePng(DifferencePicture(grey, a, request.Amplification), difference);
            !written) {
            return Fail(written.Message());
        }
    }
    for (QSaveFile* output : {&reconstruction, &difference}) {
        if (const Status committed = Commit(*output); !committed) {
            return Fail(committed.Message());
        }
    }

    Node doc = Node::MakeObject("", "");
    doc.Add(Node::MakeText("picture", "Picture", request.Picture.toStdString()));
    doc.Add(Node::MakeText("mode", "Mode", ModeName(request.Settings.Mode)));
    switch (request.Settings.Mode) {
    case CompressionMode::Quality:
        doc.Add(Node::MakeInteger("quality", "Quality", request.Settings.Quality));
        break;
    case CompressionMode::Table:
        doc.Add(Node::MakeText("table", "Table file", request.TableFile.toStdString()));
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
    doc.Add(Node::MakeBoolean("lossless", "Lossless", a.Lossless));
    return doc;
}

} // namespace quadrel::cli
