#include "compression/rate_distortion.h"

#include "jpeg/jfif_writer.h"

#include <QStringList>

#include <algorithm>
#include <string>
#include <thread>

namespace quadrel {

namespace {

jpeg::GreyPicture View(const QImage& grey) {
    return {grey.constBits(), grey.width(), grey.height(), grey.bytesPerLine()};
}

/// The bytes of a baseline file's entropy-coded data without restarts, as
/// compress counts them: what follows the scan header, less the closing marker
/// and the zero byte stuffed after each 0xFF.
std::int64_t ScanBytesOf(const std::string& file) {
    std::size_t at = 2; // past the start-of-image marker
    while (at + 4 <= file.size()) {
        const auto marker = static_cast<std::uint8_t>(file[at + 1]);
        const std::size_t length = (std::size_t{static_cast<std::uint8_t>(file[at + 2])} << 8) |
                                   static_cast<std::uint8_t>(file[at + 3]);
        at += 2 + length;
        if (marker != 0xDA) {
            continue;
        }
        const std::size_t end = file.size() < at + 2 ? at : file.size() - 2;
        std::int64_t bytes = 0;
        for (std::size_t i = at; i < end; ++i) {
            const bool stuffed = i > at && file[i] == '\0' && file[i - 1] == '\xFF';
            bytes += stuffed ? 0 : 1;
        }
        return bytes;
    }
    return 0;
}

/// The whole file's size and bits per pixel with tables made for the picture.
bool OptimisedFile(const jpeg::CodedPicture& coded, std::int64_t pixels, RatePoint& point) {
    jpeg::JfifOptions options;
    options.OptimiseHuffman = true;
    const Result<std::string> file = jpeg::WriteJfif(coded, options);
    if (!file) {
        return false;
    }
    point.Bytes = static_cast<std::int64_t>(file->size());
    point.BitsPerPixel = 8.0 * static_cast<double>(point.Bytes) / static_cast<double>(pixels);
    point.ScanBitsPerPixel =
        8.0 * static_cast<double>(ScanBytesOf(*file)) / static_cast<double>(pixels);
    return true;
}

} // namespace

GreySweep::GreySweep(const QImage& grey, jpeg::DctMethod dct)
    : grey_(grey), transformed_(View(grey), dct) {}

std::optional<RatePoint> GreySweep::At(GreyRule rule, int setting, bool optimise,
                                       const std::atomic<bool>* cancel, unsigned threads) const {
    jpeg::PictureControl control;
    control.Cancel = cancel;
    jpeg::PictureAnalysis a;
    jpeg::QuantTable table{};
    if (rule == GreyRule::QuadrelStep) {
        if (optimise) {
            return std::nullopt;
        }
        CompressionSettings settings;
        settings.Mode = CompressionMode::QuadrelStep;
        settings.Step = setting;
        a = Compress(grey_, settings, control);
    } else {
        if (rule == GreyRule::StandardTable) {
            table = jpeg::LuminanceTable(setting);
        } else {
            table.fill(static_cast<std::uint16_t>(setting));
        }
        jpeg::PictureSettings settings;
        settings.Table = table;
        settings.KeepBlocks = optimise;
        settings.Threads = threads;
        a = jpeg::AnalysePicture(transformed_, settings, control);
    }
    if (a.Cancelled || a.Reconstruction.empty()) {
        return std::nullopt;
    }
    RatePoint point;
    point.Setting = setting;
    point.Bytes = (a.TotalBits + 7) / 8;
    point.BitsPerPixel = a.BitsPerPixel;
    point.ScanBitsPerPixel = a.BitsPerPixel;
    point.Psnr = a.Psnr;
    point.PsnrY = a.Psnr;
    point.Ssim = a.Ssim;
    point.Lossless = a.Lossless;
    const std::int64_t pixels = std::int64_t{grey_.width()} * grey_.height();
    if (optimise && !OptimisedFile(jpeg::GreyCodedPicture(a, grey_.width(), grey_.height(), table),
                                   pixels, point)) {
        return std::nullopt;
    }
    return point;
}

namespace {

std::optional<RatePoint> PointOf(const jpeg::ColourAnalysis& a, int setting, bool optimise) {
    if (a.Cancelled || a.Coding.empty()) {
        return std::nullopt;
    }
    RatePoint point;
    point.Setting = setting;
    point.Bytes = a.Bytes;
    point.BitsPerPixel = a.BitsPerPixel;
    point.ScanBitsPerPixel = a.BitsPerPixel;
    point.Psnr = a.Psnr;
    point.PsnrY = a.PsnrY;
    point.Ssim = a.Ssim;
    point.Lossless = a.Lossless;
    const std::int64_t pixels = std::int64_t{a.Width} * a.Height;
    if (optimise && !OptimisedFile(a.Coded, pixels, point)) {
        return std::nullopt;
    }
    return point;
}

} // namespace

std::optional<RatePoint> ColourPoint(const QImage& picture,
                                     const ColourCompressionSettings& settings, bool optimise,
                                     const std::atomic<bool>* cancel) {
    ColourCompressionSettings s = settings;
    s.KeepBlocks = optimise;
    return PointOf(CompressColour(picture, s, cancel), settings.Quality, optimise);
}

ColourSweep::ColourSweep(const QImage& picture, jpeg::Subsampling sampling, jpeg::DctMethod dct)
    : prepared_(picture, sampling, dct) {}

std::optional<RatePoint> ColourSweep::At(const ColourCompressionSettings& settings, bool optimise,
                                         const std::atomic<bool>* cancel, unsigned threads) const {
    ColourCompressionSettings s = settings;
    s.KeepBlocks = optimise;
    s.KeepReconstruction = false; // a point is figures only
    return PointOf(prepared_.Compress(s, cancel, threads), settings.Quality, optimise);
}

std::vector<std::optional<RatePoint>> SweepPoints(const std::vector<int>& settings,
                                                  const PointMaker& point) {
    std::vector<std::optional<RatePoint>> points(settings.size());
    const std::size_t workers = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1,
                                                        std::max<std::size_t>(1, settings.size()));
    // A single point has the cores to itself.
    const unsigned threads = workers > 1 ? 1 : 0;
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < settings.size(); i = next++) {
            points[i] = point(settings[i], threads);
        }
    };
    {
        std::vector<std::jthread> others;
        for (std::size_t w = 1; w < workers; ++w) {
            others.emplace_back(work);
        }
        work();
    } // the others join here
    return points;
}

std::optional<std::vector<int>> ParseSettings(const QString& text, int lo, int hi) {
    const auto whole = [lo, hi](const QString& part) -> std::optional<int> {
        bool ok = false;
        const int value = part.trimmed().toInt(&ok);
        return ok && value >= lo && value <= hi ? std::optional<int>(value) : std::nullopt;
    };
    std::vector<int> settings;
    const QStringList range = text.split(QLatin1Char(':'));
    if (range.size() == 3) {
        const std::optional<int> first = whole(range[0]);
        const std::optional<int> last = whole(range[1]);
        bool ok = false;
        const int step = range[2].trimmed().toInt(&ok);
        if (!first || !last || !ok || step < 1 || *last < *first) {
            return std::nullopt;
        }
        for (int s = *first; s <= *last; s += step) {
            settings.push_back(s);
        }
        return settings;
    }
    if (range.size() != 1) {
        return std::nullopt;
    }
    for (const QString& part : text.split(QLatin1Char(','))) {
        const std::optional<int> value = whole(part);
        if (!value) {
            return std::nullopt;
        }
        settings.push_back(*value);
    }
    return settings;
}

} // namespace quadrel
