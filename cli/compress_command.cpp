#include "cli/compress_command.h"

#include "picture_io/picture_file.h"

#include <QImageWriter>
#include <QSaveFile>

namespace quadrel::cli {

namespace {

Failure Failed(const QString& message) {
    return Fail(message.toStdString());
}

/// Writes a PNG, replacing the file only once it is whole.
Status WritePng(const QImage& picture, const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return Failed(QStringLiteral("%1 cannot be created: %2.").arg(path, file.errorString()));
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(picture) || !file.flush()) {
        const QString reason = writer.error() != QImageWriter::UnknownError ? writer.errorString()
                                                                            : file.errorString();
        file.cancelWriting();
        return Failed(QStringLiteral("%1 cannot be written: %2.").arg(path, reason));
    }
    if (!file.commit()) {
        return Failed(
            QStringLiteral("%1 could not be replaced: %2.").arg(path, file.errorString()));
    }
    return Done{};
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

} // namespace

Result<Node> CompressReport(const CompressRequest& request) {
    const Result<QImage> load = LoadPictureFile(request.Picture, Qt::white, PictureForm::GreyAsIs);
    if (!load) {
        return Failed(QStringLiteral("the picture \"%1\" cannot be used: %2")
                          .arg(request.Picture, QString::fromStdString(load.Message())));
    }
    const QImage grey = GreyPicture(*load);
    if (grey.isNull()) {
        return Fail("there is not enough memory to make the picture grey.");
    }
    const jpeg::PictureAnalysis a = Compress(grey, request.Settings);
    if (!request.Reconstruction.isEmpty()) {
        if (const Status written =
                WritePng(ReconstructionPicture(a, grey.size()), request.Reconstruction);
            !written) {
            return Fail(written.Message());
        }
    }
    if (!request.Difference.isEmpty()) {
        if (const Status written =
                WritePng(DifferencePicture(grey, a, request.Amplification), request.Difference);
            !written) {
            return Fail(written.Message());
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
