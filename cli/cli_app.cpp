#include "cli/cli_app.h"

#include "base/result.h"
#include "block_file/block_file_format.h"
#include "block_file/block_file_io.h"
#include "cli/commands.h"
#include "cli/compress_command.h"
#include "cli/jpeg_contents_command.h"
#include "cli/rd_command.h"
#include "cli/window_replay.h"
#include "compression/rate_distortion.h"
#include "engine/cell_text.h"
#include "file_io/file_writer.h"
#include "file_io/native_path.h"
#include "jpeg/jpeg_chain.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>

namespace quadrel::cli {

namespace {

using report::ExactNumber;
using report::ExerciseReport;
using report::Format;
using report::JpegReport;
using report::JpegSettings;
using report::kHighestDc;
using report::kLowestDc;

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

QString tr(const char* text) {
    return QCoreApplication::translate("quadrel-cli", text);
}

Failure Failed(const QString& message) {
    return Fail(message.toStdString());
}

QString MessageOf(const std::string& message) {
    return QString::fromStdString(message);
}

void WriteTo(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

/// A subcommand whose command line is in order: it reads its input and makes
/// the report, and fails only on input it cannot use.
using Job = std::function<Result<Node>()>;

class Options;

/// One subcommand: everything the help text, the option check and the
/// dispatch know about it.
struct Subcommand {
    const char* Name;
    /// How it is called, one help line each (the first without the name's indent).
    std::vector<const char*> Usage;
    /// What it does, pre-wrapped help lines.
    std::vector<const char*> Summary;
    /// The command-specific options it takes; any other such option is refused.
    std::vector<QCommandLineOption Options::*> Takes;
    /// Checks the command line (a failure is a usage error) and returns the job.
    Result<Job> (*Prepare)(const Options& options, const QStringList& rest);
    /// -o names the report's file; otherwise the report goes to standard output.
    bool OutputIsReport = true;
    /// Writes the report in the chosen form.
    std::string (*Write)(const Node& document, Format format) = report::Render;
};

/// The options of the command line, parsed.
class Options {
public:
    Options();

    QCommandLineParser Parser;
    QCommandLineOption Format;
    QCommandLineOption Output;
    QCommandLineOption Step;
    QCommandLineOption Quality;
    QCommandLineOption Table;
    QCommandLineOption PrevDc;
    QCommandLineOption Keep;
    QCommandLineOption Seed;
    QCommandLineOption Count;
    QCommandLineOption Difficulty;
    QCommandLineOption Sheet;
    QCommandLineOption Diff;
    QCommandLineOption Dct;
    QCommandLineOption Colour;
    QCommandLineOption Sampling;
    QCommandLineOption ChromaQuality;
    QCommandLineOption Upsampling;
    QCommandLineOption Chrominance;
    QCommandLineOption Jpeg;
    QCommandLineOption Optimize;
    QCommandLineOption Restart;
    QCommandLineOption BlockAt;
    QCommandLineOption Component;
    QCommandLineOption Qualities;
    QCommandLineOption Uniform;

    bool IsSet(const QCommandLineOption& option) const { return Parser.isSet(option); }
    QString Value(const QCommandLineOption& option) const { return Parser.value(option); }
    /// The option's value, or nothing when it is not given.
    std::optional<QString> Given(const QCommandLineOption& option) const {
        return IsSet(option) ? std::optional<QString>(Value(option)) : std::nullopt;
    }
    /// The option's whole number in lo..hi, `fallback` when it is not given.
    std::optional<int> NumberIn(const QCommandLineOption& option, int fallback, int lo,
                                int hi) const;
};

std::optional<int> WholeIn(const QString& text, int lo, int hi) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < lo || value > hi) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> Options::NumberIn(const QCommandLineOption& option, int fallback, int lo,
                                     int hi) const {
    return IsSet(option) ? WholeIn(Value(option), lo, hi) : std::optional<int>(fallback);
}

QString InputName(const QString& path) {
    return path == QLatin1String("-") ? tr("standard input") : ShownPath(path);
}

/// Up to 64 values of a block file; "-" is standard input.
Result<std::vector<double>> ReadValues(const QString& path) {
    Result<std::vector<double>> read =
        path == QLatin1String("-") ? ReadStandardInput() : ReadBlockFile(path);
    if (!read) {
        return Failed(QStringLiteral("%1: %2").arg(InputName(path), MessageOf(read.Message())));
    }
    return read;
}

/// A whole block: 64 values.
Result<std::vector<double>> ReadBlock(const QString& path) {
    Result<std::vector<double>> values = ReadValues(path);
    if (values && values->size() < kBlockFileValues) {
        const auto found = static_cast<int>(values->size());
        const QString text = found == 1 ? tr("%1: 1 value found; a block has 64.")
                                        : tr("%1: %2 values found; a block has 64.");
        return Failed(text.arg(InputName(path)).arg(found));
    }
    return values;
}

/// The table file of --table, or the failure naming it.
Result<jpeg::QuantTable> TableOption(const QString& path) {
    Result<jpeg::QuantTable> table = ReadTableFile(path);
    if (!table) {
        return Failed(QStringLiteral("%1: %2").arg(InputName(path), MessageOf(table.Message())));
    }
    return table;
}

/// The block file's 64 values as grey levels, or the failure naming the first that is not.
Result<jpeg::Samples> GreyLevels(const QString& path, std::span<const double> values) {
    jpeg::Samples samples{};
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double v = values[i];
        if (!(v >= 0.0 && v <= 255.0) || v != std::floor(v)) {
            // Larger magnitudes were read as the ceiling: say so rather than
            // name a number the file does not hold.
            const QString shown = std::abs(v) < kMaxTextMagnitude ? MessageOf(ExactNumber(v))
                                  : v > 0                         ? tr("1e300 or more")
                                                                  : tr("-1e300 or less");
            return Failed(tr("%1: value %2 (%3) is not a grey level, a whole number "
                             "from 0 to 255.")
                              .arg(InputName(path))
                              .arg(i + 1)
                              .arg(shown));
        }
        samples[i] = static_cast<std::uint8_t>(v);
    }
    return samples;
}

/// The block file argument of a block command: standard input unless one is named.
Result<QString> BlockPath(const char* command, const QStringList& rest) {
    if (rest.size() > 1) {
        return Failed(tr("%1 reads one block file at most.").arg(QLatin1String(command)));
    }
    return rest.isEmpty() ? QStringLiteral("-") : rest.first();
}

/// A command that reads one block and reports on it: dct and idct.
Result<Job> PrepareBlockReport(const char* command, const QStringList& rest,
                               Node (*report)(const std::vector<double>&)) {
    const Result<QString> path = BlockPath(command, rest);
    if (!path) {
        return Fail(path.Message());
    }
    return Job([file = *path, report]() -> Result<Node> {
        const Result<std::vector<double>> values = ReadBlock(file);
        if (!values) {
            return Fail(values.Message());
        }
        return report(*values);
    });
}

Result<Job> PrepareDct(const Options& /*options*/, const QStringList& rest) {
    return PrepareBlockReport("dct", rest, DctReport);
}

Result<Job> PrepareIdct(const Options& /*options*/, const QStringList& rest) {
    return PrepareBlockReport("idct", rest, IdctReport);
}

Result<Job> PrepareQuant(const Options& options, const QStringList& rest) {
    const Result<QString> path = BlockPath("quant", rest);
    if (!path) {
        return Fail(path.Message());
    }
    // Settings are checked before any input is read.
    const std::optional<int> step =
        options.NumberIn(options.Step, 16, 1, DctEngine::kMaxQuantScale);
    if (!step || !WindowReplay::IsQuantStep(*step)) {
        return Failed(tr("--step takes a step the window can reach: 1, 2, 4, ... 512."));
    }
    return Job([file = *path, q = *step]() -> Result<Node> {
        const Result<std::vector<double>> values = ReadBlock(file);
        if (!values) {
            return Fail(values.Message());
        }
        return QuantReport(*values, q);
    });
}

Result<Job> PreparePattern(const Options& /*options*/, const QStringList& rest) {
    if (rest.size() != 2) {
        return Failed(tr("pattern takes two frequencies, U and V."));
    }
    const std::optional<int> u = WholeIn(rest[0], 0, 7);
    const std::optional<int> v = WholeIn(rest[1], 0, 7);
    if (!u || !v) {
        return Failed(tr("pattern frequencies are whole numbers from 0 to 7."));
    }
    return Job([u = *u, v = *v]() -> Result<Node> { return PatternReport(u, v); });
}

Result<Job> PrepareJpeg(const Options& options, const QStringList& rest) {
    const Result<QString> path = BlockPath("jpeg", rest);
    if (!path) {
        return Fail(path.Message());
    }
    if (*path == QLatin1String("-") && options.Value(options.Table) == QLatin1String("-")) {
        return Failed(tr("the table and the block cannot both come from standard input."));
    }
    if (options.IsSet(options.Quality) && options.IsSet(options.Table)) {
        return Failed(tr("give --quality or --table, not both."));
    }
    const std::optional<int> quality =
        options.NumberIn(options.Quality, 50, jpeg::kMinQuality, jpeg::kMaxQuality);
    const std::optional<int> previous = options.NumberIn(options.PrevDc, 0, kLowestDc, kHighestDc);
    const std::optional<int> keep =
        options.NumberIn(options.Keep, jpeg::kBlockCells, 0, jpeg::kBlockCells);
    if (!quality) {
        return Failed(tr("--quality takes a whole number from 1 to 100."));
    }
    if (!previous) {
        return Failed(
            tr("--prev-dc takes a whole number from %1 to %2.").arg(kLowestDc).arg(kHighestDc));
    }
    if (!keep) {
        return Failed(tr("--keep takes a whole number from 0 to 64."));
    }
    JpegSettings settings;
    settings.PreviousDc = *previous;
    settings.Keep = *keep;
    settings.Component = options.IsSet(options.Chrominance) ? jpeg::HuffmanClass::Chrominance
                                                            : jpeg::HuffmanClass::Luminance;
    settings.Table = jpeg::StandardTable(settings.Component, *quality);
    settings.Quality = *quality;
    return Job([file = *path, tableFile = options.Given(options.Table),
                settings]() mutable -> Result<Node> {
        if (tableFile) {
            const Result<jpeg::QuantTable> table = TableOption(*tableFile);
            if (!table) {
                return Fail(table.Message());
            }
            settings.Table = *table;
            settings.Quality = 0;
            settings.TableFile = ShownPath(*tableFile).toStdString();
        }
        const Result<std::vector<double>> values = ReadBlock(file);
        if (!values) {
            return Fail(values.Message());
        }
        const Result<jpeg::Samples> samples = GreyLevels(file, *values);
        if (!samples) {
            return Fail(samples.Message());
        }
        return JpegReport(*samples, settings);
    });
}

Result<Job> PrepareExercise(const Options& options, const QStringList& rest) {
    if (!rest.isEmpty()) {
        return Failed(tr("exercise reads no file."));
    }
    bool ok = false;
    const qulonglong seed = options.Value(options.Seed).toULongLong(&ok);
    if (!options.IsSet(options.Seed) || !ok || seed > kLargestSeed) {
        return Failed(tr("exercise needs --seed S, a whole number from 0 to %1.")
                          .arg(static_cast<qulonglong>(kLargestSeed)));
    }
    const std::optional<int> count = options.NumberIn(options.Count, 1, 1, kMostExercises);
    if (!count) {
        return Failed(tr("--count takes a whole number from 1 to %1.").arg(kMostExercises));
    }
    const std::optional<int> quality =
        options.NumberIn(options.Quality, 50, jpeg::kMinQuality, jpeg::kMaxQuality);
    if (!quality) {
        return Failed(tr("--quality takes a whole number from 1 to 100."));
    }
    std::optional<jpeg::Difficulty> level = jpeg::Difficulty::Any;
    if (options.IsSet(options.Difficulty)) {
        level = jpeg::DifficultyFromName(options.Value(options.Difficulty).toStdString());
        if (!level) {
            return Failed(tr("--difficulty takes easy, medium or hard."));
        }
    }
    const std::optional<report::SheetPart> part =
        report::SheetPartFromName(options.Value(options.Sheet).toStdString());
    if (!part) {
        return Failed(tr("--sheet takes questions, answers or both."));
    }
    return Job([sheet = report::ExerciseSheet{seed, *count, *quality, *level, *part}] {
        return ExerciseReport(sheet);
    });
}

/// compress --colour's settings; the quality is the one already read.
Result<ColourCompressionSettings> ColourOptions(const Options& options,
                                                const CompressionSettings& grey) {
    if (grey.Mode != CompressionMode::Quality) {
        return Failed(tr("--colour codes with --quality and --chroma-quality, not --table, "
                         "--uniform or --step."));
    }
    ColourCompressionSettings colour;
    colour.Quality = grey.Quality;
    const std::optional<int> chroma =
        options.NumberIn(options.ChromaQuality, grey.Quality, jpeg::kMinQuality, jpeg::kMaxQuality);
    if (!chroma) {
        return Failed(tr("--chroma-quality takes a whole number from 1 to 100."));
    }
    colour.ChromaQuality = *chroma;
    if (options.IsSet(options.Sampling)) {
        const std::optional<jpeg::Subsampling> sampling =
            jpeg::SubsamplingFromName(options.Value(options.Sampling).toStdString());
        if (!sampling) {
            return Failed(tr("--sampling takes 4:4:4, 4:2:2, 4:2:0, 4:4:0 or 4:1:1."));
        }
        colour.Sampling = *sampling;
    }
    const QString upsampling = options.Value(options.Upsampling);
    if (upsampling == QLatin1String("box")) {
        colour.Upsample = jpeg::Upsampling::Box;
    } else if (options.IsSet(options.Upsampling) && upsampling != QLatin1String("smooth") &&
               upsampling != QLatin1String("fancy")) {
        return Failed(tr("--upsampling takes smooth (or fancy, the same) or box."));
    }
    return colour;
}

Result<Job> PrepareCompress(const Options& options, const QStringList& rest) {
    if (rest.size() != 1) {
        return Failed(tr("compress takes one picture file."));
    }
    const int given = int{options.IsSet(options.Quality)} + int{options.IsSet(options.Table)} +
                      int{options.IsSet(options.Uniform)} + int{options.IsSet(options.Step)};
    if (given > 1) {
        return Failed(tr("give one of --quality, --table, --uniform and --step."));
    }
    CompressRequest request;
    request.Picture = rest.first();
    request.Reconstruction = options.Value(options.Output);
    request.Difference = options.Value(options.Diff);
    if (options.IsSet(options.Step)) {
        const std::optional<int> step =
            options.NumberIn(options.Step, 16, 1, DctEngine::kMaxQuantScale);
        if (!step) {
            return Failed(tr("--step takes a whole number from 1 to 512."));
        }
        request.Settings.Mode = CompressionMode::QuadrelStep;
        request.Settings.Step = *step;
    } else if (options.IsSet(options.Uniform)) {
        const std::optional<int> step = options.NumberIn(options.Uniform, 16, 1, kMaxUniformStep);
        if (!step) {
            return Failed(tr("--uniform takes a whole number from 1 to 255."));
        }
        request.Settings.Mode = CompressionMode::Uniform;
        request.Settings.Step = *step;
    } else if (options.IsSet(options.Table)) {
        request.Settings.Mode = CompressionMode::Table;
        request.TableFile = options.Value(options.Table);
    } else {
        const std::optional<int> quality =
            options.NumberIn(options.Quality, 50, jpeg::kMinQuality, jpeg::kMaxQuality);
        if (!quality) {
            return Failed(tr("--quality takes a whole number from 1 to 100."));
        }
        request.Settings.Quality = *quality;
    }
    if (options.IsSet(options.Colour)) {
        const Result<ColourCompressionSettings> colour = ColourOptions(options, request.Settings);
        if (!colour) {
            return Fail(colour.Message());
        }
        request.Colour = true;
        request.ColourSettings = *colour;
    } else if (options.IsSet(options.Sampling) || options.IsSet(options.ChromaQuality) ||
               options.IsSet(options.Upsampling)) {
        return Failed(tr("--sampling, --chroma-quality and --upsampling need --colour."));
    }
    if (options.IsSet(options.Dct)) {
        const QString dct = options.Value(options.Dct);
        if (request.Settings.Mode == CompressionMode::QuadrelStep) {
            return Failed(tr("--dct does not apply to --step: Quadrel's own DCT codes it."));
        }
        if (dct != QLatin1String("float") && dct != QLatin1String("integer")) {
            return Failed(tr("--dct takes float or integer."));
        }
        request.Settings.Dct =
            dct == QLatin1String("float") ? jpeg::DctMethod::Float : jpeg::DctMethod::Integer;
        request.ColourSettings.Dct = request.Settings.Dct;
    }
    if (options.IsSet(options.Jpeg)) {
        if (request.Settings.Mode == CompressionMode::QuadrelStep) {
            return Failed(tr("--jpeg does not apply to --step: Quadrel's own quantiser makes no "
                             "JPEG file."));
        }
        const std::optional<int> restart = options.NumberIn(options.Restart, 0, 1, 65535);
        if (!restart) {
            return Failed(tr("--restart takes a whole number of MCUs from 1 to 65535."));
        }
        request.Jpeg = options.Value(options.Jpeg);
        request.Jfif.OptimiseHuffman = options.IsSet(options.Optimize);
        request.Jfif.RestartInterval = *restart;
    } else if (options.IsSet(options.Optimize) || options.IsSet(options.Restart)) {
        return Failed(tr("--optimize and --restart need --jpeg."));
    }
    return Job([request]() mutable -> Result<Node> {
        if (request.Settings.Mode == CompressionMode::Table) {
            const Result<jpeg::QuantTable> table = TableOption(request.TableFile);
            if (!table) {
                return Fail(table.Message());
            }
            request.Settings.Table = *table;
        }
        return CompressReport(request);
    });
}

/// "--block BX BY" as one option value, "BX,BY", so that the two numbers stay
/// together wherever the file name stands.
QStringList JoinBlockArguments(const QStringList& arguments) {
    QStringList joined;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--")) {
            joined += arguments.mid(i);
            break;
        }
        if (arguments[i] == QLatin1String("--block") && i + 2 < arguments.size() &&
            WholeIn(arguments[i + 1], 0, std::numeric_limits<int>::max()) &&
            WholeIn(arguments[i + 2], 0, std::numeric_limits<int>::max())) {
            joined << arguments[i] << arguments[i + 1] + QLatin1Char(',') + arguments[i + 2];
            i += 2;
            continue;
        }
        joined << arguments[i];
    }
    return joined;
}

Result<Job> PrepareContents(const Options& options, const QStringList& rest) {
    if (rest.size() != 1) {
        return Failed(tr("inspect takes one JPEG file."));
    }
    ContentsRequest request;
    request.File = rest.first();
    const std::optional<int> component =
        options.NumberIn(options.Component, 0, 0, std::numeric_limits<int>::max());
    if (!component) {
        return Failed(tr("--component takes a component index: 0, 1, 2, ..."));
    }
    if (options.IsSet(options.BlockAt)) {
        const QStringList xy = options.Value(options.BlockAt).split(QLatin1Char(','));
        const std::optional<int> x =
            xy.size() == 2 ? WholeIn(xy[0], 0, std::numeric_limits<int>::max()) : std::nullopt;
        const std::optional<int> y =
            xy.size() == 2 ? WholeIn(xy[1], 0, std::numeric_limits<int>::max()) : std::nullopt;
        if (!x || !y) {
            return Failed(tr("--block takes a block column and row, BX BY, counted from 0."));
        }
        request.Block = jpeg_file::BlockAddress{*component, *x, *y};
    } else if (options.IsSet(options.Component)) {
        return Failed(tr("--component needs --block."));
    }
    return Job([request]() -> Result<Node> { return ContentsReport(request); });
}

Result<Job> PrepareRd(const Options& options, const QStringList& rest) {
    if (rest.size() != 1) {
        return Failed(tr("rd takes one picture file."));
    }
    RateRequest request;
    request.Picture = rest.first();
    const std::optional<std::vector<int>> qualities =
        ParseSettings(options.Given(options.Qualities).value_or(QStringLiteral("5:95:5")),
                      jpeg::kMinQuality, jpeg::kMaxQuality);
    if (!qualities || qualities->empty()) {
        return Failed(tr("--qualities takes A:B:STEP or Q1,Q2,... with qualities from 1 to 100."));
    }
    request.Qualities = *qualities;
    if (options.IsSet(options.Colour)) {
        CompressionSettings grey;
        grey.Quality = request.Qualities.front();
        const Result<ColourCompressionSettings> colour = ColourOptions(options, grey);
        if (!colour) {
            return Fail(colour.Message());
        }
        request.Colour = true;
        request.ColourSettings = *colour;
        request.ChromaFollows = !options.IsSet(options.ChromaQuality);
    } else if (options.IsSet(options.Sampling) || options.IsSet(options.ChromaQuality) ||
               options.IsSet(options.Upsampling)) {
        return Failed(tr("--sampling, --chroma-quality and --upsampling need --colour."));
    }
    if (options.IsSet(options.Dct)) {
        const QString dct = options.Value(options.Dct);
        if (dct != QLatin1String("float") && dct != QLatin1String("integer")) {
            return Failed(tr("--dct takes float or integer."));
        }
        request.Dct =
            dct == QLatin1String("float") ? jpeg::DctMethod::Float : jpeg::DctMethod::Integer;
    }
    request.Optimise = options.IsSet(options.Optimize);
    return Job([request]() -> Result<Node> { return RateReport(request); });
}

/// Every subcommand, in the order the help text lists them.
const std::vector<Subcommand>& Subcommands() {
    static const std::vector<Subcommand> kAll = {
        {"dct",
         {"dct [FILE]"},
         {"Quadrel's DCT of a pixel block, as the window shows it", "after Load Block."},
         {},
         PrepareDct},
        {"idct",
         {"idct [FILE]"},
         {"Quadrel's inverse DCT of a frequency block (Build Picture)."},
         {},
         PrepareIdct},
        {"quant",
         {"quant [--step Q] [FILE]"},
         {"Load Block, then Quantise with step Q (1, 2, 4, ... 512;",
          "16 when not given), as the window does."},
         {&Options::Step},
         PrepareQuant},
        {"pattern",
         {"pattern U V"},
         {"The picture of View Single DCT Pattern for horizontal",
          "frequency U and vertical frequency V (0..7)."},
         {},
         PreparePattern},
        {"jpeg",
         {"jpeg [--quality N | --table FILE] [--prev-dc D] [--keep K] [--chrominance]",
          "         [FILE]"},
         {"The JPEG chain for one grey block: level shift, DCT,",
          "quantisation, zig-zag, symbols, Huffman bits,", "reconstruction and error;",
          "--chrominance works it as a Cb or Cr block."},
         {&Options::Quality, &Options::Table, &Options::PrevDc, &Options::Keep,
          &Options::Chrominance},
         PrepareJpeg},
        {"exercise",
         {"exercise --seed S [--count N] [--quality N] [--difficulty easy|medium|hard]",
          "         [--sheet questions|answers|both]"},
         {"N random photo-like blocks (the same on every machine",
          "for the same seed) with their full JPEG answer keys, or",
          "(--sheet questions) with their tasks alone; LaTeX is a",
          "whole document to print, one exercise to a page."},
         {&Options::Quality, &Options::Seed, &Options::Count, &Options::Difficulty,
          &Options::Sheet},
         PrepareExercise,
         true,
         report::RenderPrintable},
        {"compress",
         {"compress PICTURE [--quality N | --table FILE | --uniform S | --step Q]",
          "         [-o RECONSTRUCTION.png] [--diff DIFF.png] [--dct float|integer]",
          "         [--colour [--sampling 4:2:0] [--chroma-quality M] [--upsampling smooth|box]]",
          "         [--jpeg OUT.jpg [--optimize] [--restart N]]"},
         {"A whole picture made grey and coded block by block, by",
          "the JPEG chain (--uniform: one step for every coefficient)",
          "or (--step) by Quadrel's own DCT and Quant rule:",
          "size, bits per pixel, zero share, MSE and PSNR. -o writes",
          "the reconstruction, --diff the amplified difference.",
          "--colour codes Y, Cb and Cr as cjpeg and djpeg do;",
          "--jpeg writes the baseline JPEG file cjpeg writes."},
         {&Options::Step, &Options::Quality, &Options::Table, &Options::Uniform, &Options::Diff,
          &Options::Dct, &Options::Colour, &Options::Sampling, &Options::ChromaQuality,
          &Options::Upsampling, &Options::Jpeg, &Options::Optimize, &Options::Restart},
         PrepareCompress,
         false},
        {"inspect",
         {"inspect FILE.jpg [--block BX BY [--component C]]"},
         {"What a JPEG file holds: segments, frame, tables with",
          "their quality, scans, Exif, warnings; --block adds one",
          "block's stored coefficients, dequantised values, samples",
          "and (sequential files) its bits and symbols."},
         {&Options::BlockAt, &Options::Component},
         PrepareContents},
        {"rd",
         {"rd PICTURE [--qualities A:B:STEP | Q1,Q2,...] [--dct float|integer] [--optimize]",
          "         [--colour [--sampling 4:2:0] [--chroma-quality M] [--upsampling smooth|box]]"},
         {"Rate against distortion: a row per quality (default",
          "5:95:5) with compress's bits per pixel, bytes, PSNR and",
          "SSIM; --optimize gives the JPEG file's size with",
          "Huffman tables made for the picture."},
         {&Options::Qualities, &Options::Dct, &Options::Colour, &Options::Sampling,
          &Options::ChromaQuality, &Options::Upsampling, &Options::Optimize},
         PrepareRd},
    };
    return kAll;
}

/// The options that belong to certain subcommands, in the order they are checked.
constexpr std::array kSpecificOptions = {
    &Options::Step,      &Options::Quality,       &Options::Table,      &Options::Diff,
    &Options::Dct,       &Options::PrevDc,        &Options::Keep,       &Options::Seed,
    &Options::Count,     &Options::Difficulty,    &Options::Sheet,      &Options::Colour,
    &Options::Sampling,  &Options::ChromaQuality, &Options::Upsampling, &Options::Chrominance,
    &Options::Jpeg,      &Options::Optimize,      &Options::Restart,    &Options::BlockAt,
    &Options::Component, &Options::Qualities,     &Options::Uniform};

const Subcommand* FindSubcommand(const QString& name) {
    for (const Subcommand& command : Subcommands()) {
        if (name == QLatin1String(command.Name)) {
            return &command;
        }
    }
    return nullptr;
}

/// The "Commands:" part of the help text: usage at the indent, the summary in
/// a column of its own, beside a short usage line or below a long one.
QString CommandsHelp() {
    constexpr qsizetype kIndent = 2;
    constexpr qsizetype kSummaryColumn = 22;
    QString text;
    for (const Subcommand& command : Subcommands()) {
        QStringList lines;
        for (const char* usage : command.Usage) {
            lines << QString(kIndent, QLatin1Char(' ')) + tr(usage);
        }
        std::size_t summary = 0;
        if (lines.size() == 1 && lines.first().size() < kSummaryColumn - 1) {
            lines.first() = lines.first().leftJustified(kSummaryColumn) + tr(command.Summary[0]);
            summary = 1;
        }
        for (; summary < command.Summary.size(); ++summary) {
            lines << QString(kSummaryColumn, QLatin1Char(' ')) + tr(command.Summary[summary]);
        }
        text += lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    }
    return text;
}

/// "dct, idct, ... or compress."
QString CommandNames() {
    QStringList names;
    for (const Subcommand& command : Subcommands()) {
        names << QLatin1String(command.Name);
    }
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) + tr(" or ") + last + QLatin1Char('.');
}

QString Description() {
    return tr("Quadrel's block arithmetic and the textbook JPEG chain for one 8x8 block.\n"
              "\n"
              "Commands:\n") +
           CommandsHelp() +
           tr("\n"
              "A block is the first 64 values of FILE in the block-file syntax (commas or\n"
              "line ends between values), row by row from the top; FILE - or no FILE reads\n"
              "standard input. Coefficient grids have the vertical frequency as row and the\n"
              "horizontal frequency as column.\n"
              "Exit status: 0 on success, 1 when the input cannot be used or the output\n"
              "cannot be written, 2 on a usage error.");
}

Options::Options()
    : Format({QStringLiteral("f"), QStringLiteral("format")},
             tr("Output format: text (default), csv, markdown, latex or json."),
             QStringLiteral("format"), QStringLiteral("text")),
      Output({QStringLiteral("o"), QStringLiteral("output")},
             tr("Write to FILE instead of standard output; the file is "
                "replaced only once the whole result is written (a pipe, a device "
                "or - is written as a stream). "
                "compress: write the reconstruction there as a PNG "
                "picture (the report stays on standard output)."),
             QStringLiteral("FILE")),
      Step(QStringLiteral("step"),
           tr("quant: the quantisation step (power of two 1..512); "
              "compress: code with Quadrel's own DCT and Quant rule (a dead zone) at step Q "
              "(1..512)."),
           QStringLiteral("Q")),
      Quality(QStringLiteral("quality"),
              tr("jpeg, exercise: scale the standard luminance table to "
                 "quality N (1..100; default 50)."),
              QStringLiteral("N")),
      Table(QStringLiteral("table"),
            tr("jpeg: read the 64 quantisation steps (1..255, row by row) from FILE instead."),
            QStringLiteral("FILE")),
      PrevDc(QStringLiteral("prev-dc"),
             tr("jpeg: quantised DC of the previous block (default 0), for the DC difference."),
             QStringLiteral("D")),
      Keep(QStringLiteral("keep"),
           tr("jpeg: keep only the first K coefficients in zig-zag order (0..64; default 64)."),
           QStringLiteral("K")),
      Seed(QStringLiteral("seed"), tr("exercise: the seed (0..9007199254740991)."),
           QStringLiteral("S")),
      Count(QStringLiteral("count"), tr("exercise: how many blocks (1..1000; default 1)."),
            QStringLiteral("N")),
      Difficulty(QStringLiteral("difficulty"),
                 tr("exercise: only blocks with 1 to 4 (easy), 5 to 12 (medium) or 13 or more "
                    "(hard) non-zero quantised indices."),
                 QStringLiteral("LEVEL")),
      Sheet(QStringLiteral("sheet"),
            tr("exercise: questions (the blocks and tasks, no answer), answers (the keys) or "
               "both (default, each block with its key)."),
            QStringLiteral("PART"), QStringLiteral("both")),
      Diff(QStringLiteral("diff"),
           tr("compress: write the difference, amplified 8 times around mid grey, as a PNG "
              "picture."),
           QStringLiteral("FILE")),
      Dct(QStringLiteral("dct"),
          tr("compress, rd: the encoder's transform, float (default; as cjpeg -dct float and "
             "djpeg -dct float) or integer (as plain cjpeg and djpeg)."),
          QStringLiteral("METHOD")),
      Colour(QStringLiteral("colour"),
             tr("compress, rd: code the picture in colour, Y, Cb and Cr, as cjpeg and djpeg do (a "
                "grey picture as one component, as cjpeg codes a PGM file).")),
      Sampling(QStringLiteral("sampling"),
               tr("compress --colour: the chroma sampling, 4:4:4, 4:2:2, 4:2:0 (default), "
                  "4:4:0 or 4:1:1."),
               QStringLiteral("S")),
      ChromaQuality(QStringLiteral("chroma-quality"),
                    tr("compress --colour: scale the standard chrominance table to quality M "
                       "(1..100; default: the --quality)."),
                    QStringLiteral("M")),
      Upsampling(QStringLiteral("upsampling"),
                 tr("compress --colour: how the decoder enlarges Cb and Cr, smooth (or fancy; "
                    "default, as djpeg) or box (as djpeg -nosmooth)."),
                 QStringLiteral("METHOD")),
      Chrominance(QStringLiteral("chrominance"),
                  tr("jpeg: work the block as chrominance (Cb or Cr): the standard chrominance "
                     "table at the quality, and the chrominance Huffman codes (with --table "
                     "too).")),
      Jpeg(QStringLiteral("jpeg"),
           tr("compress: write the coded picture there as a baseline JPEG file, byte for byte "
              "as cjpeg -baseline writes it (not with --step)."),
           QStringLiteral("FILE")),
      Optimize(QStringLiteral("optimize"),
               tr("compress --jpeg: Huffman tables made for the picture, as cjpeg -optimize; "
                  "rd: the size of the file with such tables.")),
      Restart(QStringLiteral("restart"),
              tr("compress --jpeg: a restart marker every N MCUs (1..65535), as cjpeg "
                 "-restart NB."),
              QStringLiteral("N")),
      BlockAt(QStringLiteral("block"),
              tr("inspect: report on block BX BY (column and row of the component's blocks, "
                 "from 0) as well."),
              QStringLiteral("BX BY")),
      Component(QStringLiteral("component"),
                tr("inspect --block: the component's index in the frame (0 the first; default "
                   "0)."),
                QStringLiteral("C")),
      Qualities(QStringLiteral("qualities"),
                tr("rd: the qualities, A:B:STEP (A, A+STEP, ... up to B) or a list Q1,Q2,... "
                   "(default 5:95:5)."),
                QStringLiteral("LIST")),
      Uniform(QStringLiteral("uniform"),
              tr("compress: code with a uniform quantiser, one step S (1..255) for every "
                 "coefficient: a flat table through the JPEG chain."),
              QStringLiteral("S")) {
    Parser.setApplicationDescription(Description());
    Parser.addHelpOption();
    Parser.addVersionOption();
    Parser.addOptions({Format,   Output,        Step,       Quality,     Table, PrevDc,   Keep,
                       Seed,     Count,         Difficulty, Sheet,       Diff,  Dct,      Colour,
                       Sampling, ChromaQuality, Upsampling, Chrominance, Jpeg,  Optimize, Restart,
                       BlockAt,  Component,     Qualities,  Uniform});
    Parser.addPositionalArgument(QStringLiteral("command"), CommandNames(),
                                 QStringLiteral("command [arguments]"));
}

std::optional<Format> ParseFormat(const QString& name) {
    const QList<std::pair<QString, Format>> formats = {
        {QStringLiteral("text"), Format::Text},
        {QStringLiteral("csv"), Format::Csv},
        {QStringLiteral("markdown"), Format::Markdown},
        {QStringLiteral("latex"), Format::Latex},
        {QStringLiteral("json"), Format::Json}};
    for (const auto& [text, format] : formats) {
        if (name == text) {
            return format;
        }
    }
    return std::nullopt;
}

/// Whether two names lead to one file: the same path, or the same file reached
/// through links.
bool SameFile(const QString& a, const QString& b) {
    if (QDir::cleanPath(QDir::current().absoluteFilePath(a)) ==
        QDir::cleanPath(QDir::current().absoluteFilePath(b))) {
        return true;
    }
    struct stat first {};
    struct stat second {};
    return ::stat(NativePath(a).constData(), &first) == 0 &&
           ::stat(NativePath(b).constData(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

/// The subcommand the command line names, with its job; a failure is a usage error.
Result<std::pair<const Subcommand*, Job>> Prepare(const Options& options) {
    const QStringList positional = options.Parser.positionalArguments();
    if (positional.isEmpty()) {
        return Failed(tr("no command given."));
    }
    const QString& name = positional.first();
    if (!ParseFormat(options.Value(options.Format))) {
        return Failed(tr("unknown format \"%1\": use text, csv, markdown, latex or json.")
                          .arg(options.Value(options.Format)));
    }
    const Subcommand* command = FindSubcommand(name);
    if (command == nullptr) {
        return Failed(tr("unknown command \"%1\".").arg(name));
    }
    // Each option belongs to certain commands; elsewhere it is a mistake.
    for (QCommandLineOption Options::*option : kSpecificOptions) {
        const QCommandLineOption& given = options.*option;
        if (options.IsSet(given) && std::find(command->Takes.begin(), command->Takes.end(),
                                              option) == command->Takes.end()) {
            return Failed(tr("--%1 does not apply to %2.").arg(given.names().last(), name));
        }
    }
    // An empty name writes nothing; one file named twice keeps only one result.
    const std::optional<QString> output = options.Given(options.Output);
    const std::optional<QString> diff = options.Given(options.Diff);
    if (output && output->isEmpty()) {
        return Failed(tr("-o needs a file name."));
    }
    if (diff && diff->isEmpty()) {
        return Failed(tr("--diff needs a file name."));
    }
    if (output && diff && SameFile(*output, *diff)) {
        return Failed(tr("-o and --diff name the same file, %1.").arg(ShownPath(*output)));
    }
    // compress reports on standard output; a picture there would be mixed into it.
    if (!command->OutputIsReport && (output == QLatin1String("-") || diff == QLatin1String("-"))) {
        return Failed(tr("%1 writes its report to standard output; name a file for each "
                         "picture.")
                          .arg(name));
    }
    Result<Job> job = command->Prepare(options, positional.mid(1));
    if (!job) {
        return Fail(job.Message());
    }
    return std::pair{command, std::move(job).Value()};
}

/// Writes the report to -o's file (a pipe, a device or "-" as a stream), or to standard output.
Status Deliver(const std::string& text, const std::optional<QString>& file) {
    if (!file) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
            return Failed(tr("the result could not be written to standard output."));
        }
        return Done{};
    }
    if (const Status written = WriteFile(*file, text, Streams::Allow); !written) {
        return Failed(QStringLiteral("%1: %2").arg(ShownPath(*file), MessageOf(written.Message())));
    }
    return Done{};
}

int UsageError(const Options& options, const QString& message) {
    WriteTo(stderr, QStringLiteral("quadrel-cli: %1\n\n").arg(message) + options.Parser.helpText());
    return kExitUsage;
}

int InputError(const std::string& message) {
    WriteTo(stderr, QStringLiteral("quadrel-cli: %1\n").arg(MessageOf(message)));
    return kExitError;
}

} // namespace

int RunCli(const QStringList& arguments) {
    Options options;
    if (!options.Parser.parse(JoinBlockArguments(arguments))) {
        return UsageError(options, options.Parser.errorText());
    }
    if (options.Parser.isSet(QStringLiteral("help"))) {
        WriteTo(stdout, options.Parser.helpText());
        return 0;
    }
    if (options.Parser.isSet(QStringLiteral("version"))) {
        WriteTo(stdout, QCoreApplication::applicationName() + QLatin1Char(' ') +
                            QCoreApplication::applicationVersion() + QLatin1Char('\n'));
        return 0;
    }
    const auto prepared = Prepare(options);
    if (!prepared) {
        return UsageError(options, MessageOf(prepared.Message()));
    }
    const auto& [command, job] = *prepared;
    const Result<Node> doc = job();
    if (!doc) {
        return InputError(doc.Message());
    }
    const std::string text = command->Write(*doc, *ParseFormat(options.Value(options.Format)));
    const std::optional<QString> file =
        command->OutputIsReport ? options.Given(options.Output) : std::nullopt;
    if (const Status delivered = Deliver(text, file); !delivered) {
        return InputError(delivered.Message());
    }
    return 0;
}

} // namespace quadrel::cli
