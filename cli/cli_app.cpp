#include "cli/cli_app.h"

#include "block_file/block_file_format.h"
#include "block_file/block_file_io.h"
#include "cli/commands.h"
#include "cli/compress_command.h"
#include "cli/window_replay.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

namespace quadrel::cli {

namespace {

using report::ExactNumber;
using report::ExerciseReport;
using report::Format;
using report::JpegReport;
using report::JpegSettings;
using report::kHighestDc;
using report::kLowestDc;
using report::Render;

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

/// A failure the user caused: its message, and whether it was the command line.
struct Failure {
    QString Message;
    bool Usage = false;
};

void WriteTo(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

QString Description() {
    return QCoreApplication::translate(
        "quadrel-cli",
        "Quadrel's block arithmetic and the textbook JPEG chain for one 8x8 block.\n"
        "\n"
        "Commands:\n"
        "  dct [FILE]          Quadrel's DCT of a pixel block, as the window shows it\n"
        "                      after Load Block.\n"
        "  idct [FILE]         Quadrel's inverse DCT of a frequency block (Build Picture).\n"
        "  quant [--step Q] [FILE]\n"
        "                      Load Block, then Quantise with step Q (1, 2, 4, ... 512;\n"
        "                      16 when not given), as the window does.\n"
        "  pattern U V         The picture of View Single DCT Pattern for horizontal\n"
        "                      frequency U and vertical frequency V (0..7).\n"
        "  jpeg [--quality N | --table FILE] [--prev-dc D] [--keep K] [FILE]\n"
        "                      The JPEG chain for one grey block: level shift, DCT,\n"
        "                      quantisation, zig-zag, symbols, Huffman bits,\n"
        "                      reconstruction and error.\n"
        "  exercise --seed S [--count N] [--quality N]\n"
        "                      N random photo-like blocks (the same on every machine\n"
        "                      for the same seed) with their full JPEG answer keys.\n"
        "  compress PICTURE [--quality N | --table FILE | --step Q] [-o RECONSTRUCTION.png]\n"
        "           [--diff DIFF.png]\n"
        "                      A whole picture made grey and coded block by block, by\n"
        "                      the JPEG chain or (--step) by Quadrel's own quantiser:\n"
        "                      size, bits per pixel, zero share, MSE and PSNR. -o writes\n"
        "                      the reconstruction, --diff the amplified difference.\n"
        "\n"
        "A block is the first 64 values of FILE in the block-file syntax (commas or\n"
        "line ends between values), row by row from the top; FILE - or no FILE reads\n"
        "standard input. Coefficient grids have the vertical frequency as row and the\n"
        "horizontal frequency as column.\n"
        "Exit status: 0 on success, 1 when the input cannot be used or the output\n"
        "cannot be written, 2 on a usage error.");
}

class Cli {
public:
    Cli()
        : format_({QStringLiteral("f"), QStringLiteral("format")},
                  QCoreApplication::translate("quadrel-cli",
                                              "Output format: text (default), csv, markdown, "
                                              "latex or json."),
                  QStringLiteral("format"), QStringLiteral("text")),
          output_({QStringLiteral("o"), QStringLiteral("output")},
                  QCoreApplication::translate(
                      "quadrel-cli", "Write to FILE instead of standard output; the file is "
                                     "replaced only once the whole result is written. "
                                     "compress: write the reconstruction there as a PNG "
                                     "picture (the report stays on standard output)."),
                  QStringLiteral("FILE")),
          step_(QStringLiteral("step"),
                QCoreApplication::translate("quadrel-cli",
                                            "quant: the quantisation step (power of two 1..512); "
                                            "compress: code with Quadrel's quantiser at step Q "
                                            "(1..512)."),
                QStringLiteral("Q")),
          quality_(QStringLiteral("quality"),
                   QCoreApplication::translate(
                       "quadrel-cli", "jpeg, exercise: scale the standard luminance table to "
                                      "quality N (1..100; default 50)."),
                   QStringLiteral("N")),
          table_(QStringLiteral("table"),
                 QCoreApplication::translate("quadrel-cli",
                                             "jpeg: read the 64 quantisation steps (1..255, row "
                                             "by row) from FILE instead."),
                 QStringLiteral("FILE")),
          prevDc_(QStringLiteral("prev-dc"),
                  QCoreApplication::translate("quadrel-cli",
                                              "jpeg: quantised DC of the previous block (default "
                                              "0), for the DC difference."),
                  QStringLiteral("D")),
          keep_(QStringLiteral("keep"),
                QCoreApplication::translate("quadrel-cli",
                                            "jpeg: keep only the first K coefficients in zig-zag "
                                            "order (0..64; default 64)."),
                QStringLiteral("K")),
          seed_(QStringLiteral("seed"),
                QCoreApplication::translate("quadrel-cli",
                                            "exercise: the seed (0..9007199254740991)."),
                QStringLiteral("S")),
          count_(QStringLiteral("count"),
                 QCoreApplication::translate("quadrel-cli",
                                             "exercise: how many blocks (1..1000; default 1)."),
                 QStringLiteral("N")),
          diff_(QStringLiteral("diff"),
                QCoreApplication::translate("quadrel-cli",
                                            "compress: write the difference, amplified 8 times "
                                            "around mid grey, as a PNG picture."),
                QStringLiteral("FILE")) {
        parser_.setApplicationDescription(Description());
        parser_.addHelpOption();
        parser_.addVersionOption();
        parser_.addOptions(
            {format_, output_, step_, quality_, table_, prevDc_, keep_, seed_, count_, diff_});
        parser_.addPositionalArgument(
            QStringLiteral("command"),
            QCoreApplication::translate("quadrel-cli",
                                        "dct, idct, quant, pattern, jpeg, exercise or "
                                        "compress."),
            QStringLiteral("command [arguments]"));
    }

    int Run(const QStringList& arguments) {
        if (!parser_.parse(arguments)) {
            return UsageError(parser_.errorText());
        }
        if (parser_.isSet(QStringLiteral("help"))) {
            WriteTo(stdout, parser_.helpText());
            return 0;
        }
        if (parser_.isSet(QStringLiteral("version"))) {
            WriteTo(stdout, QCoreApplication::applicationName() + QLatin1Char(' ') +
                                QCoreApplication::applicationVersion() + QLatin1Char('\n'));
            return 0;
        }
        std::optional<Failure> failure;
        const std::optional<std::string> text = Produce(failure);
        if (!text) {
            if (failure->Usage) {
                return UsageError(failure->Message);
            }
            WriteTo(stderr, QStringLiteral("quadrel-cli: %1\n").arg(failure->Message));
            return kExitError;
        }
        const QString error = Deliver(*text);
        if (!error.isEmpty()) {
            WriteTo(stderr, QStringLiteral("quadrel-cli: %1\n").arg(error));
            return kExitError;
        }
        return 0;
    }

private:
    int UsageError(const QString& message) {
        WriteTo(stderr, QStringLiteral("quadrel-cli: %1\n\n").arg(message) + parser_.helpText());
        return kExitUsage;
    }

    /// The whole output, or nothing and a failure.
    std::optional<std::string> Produce(std::optional<Failure>& failure) {
        auto fail = [&failure](const QString& message, bool usage) {
            failure = Failure{message, usage};
            return std::nullopt;
        };
        const QStringList positional = parser_.positionalArguments();
        if (positional.isEmpty()) {
            return fail(tr("no command given."), true);
        }
        const QString& command = positional.first();
        const QStringList rest = positional.mid(1);

        const std::optional<Format> format = ParseFormat(parser_.value(format_));
        if (!format) {
            return fail(tr("unknown format \"%1\": use text, csv, markdown, latex or json.")
                            .arg(parser_.value(format_)),
                        true);
        }
        // Each option belongs to certain commands; elsewhere it is a mistake.
        const QList<std::pair<const QCommandLineOption*, QStringList>> owners = {
            {&step_, {QStringLiteral("quant"), QStringLiteral("compress")}},
            {&quality_,
             {QStringLiteral("jpeg"), QStringLiteral("exercise"), QStringLiteral("compress")}},
            {&table_, {QStringLiteral("jpeg"), QStringLiteral("compress")}},
            {&diff_, {QStringLiteral("compress")}},
            {&prevDc_, {QStringLiteral("jpeg")}},
            {&keep_, {QStringLiteral("jpeg")}},
            {&seed_, {QStringLiteral("exercise")}},
            {&count_, {QStringLiteral("exercise")}}};
        const QStringList commands = {QStringLiteral("dct"),     QStringLiteral("idct"),
                                      QStringLiteral("quant"),   QStringLiteral("pattern"),
                                      QStringLiteral("jpeg"),    QStringLiteral("exercise"),
                                      QStringLiteral("compress")};
        if (!commands.contains(command)) {
            return fail(tr("unknown command \"%1\".").arg(command), true);
        }
        for (const auto& [option, users] : owners) {
            if (parser_.isSet(*option) && !users.contains(command)) {
                return fail(tr("--%1 does not apply to %2.").arg(option->names().last(), command),
                            true);
            }
        }

        std::optional<Node> doc;
        if (command == QLatin1String("pattern")) {
            doc = Pattern(rest, failure);
        } else if (command == QLatin1String("exercise")) {
            doc = Exercise(rest, failure);
        } else if (command == QLatin1String("compress")) {
            doc = CompressPicture(rest, failure);
        } else {
            doc = BlockCommand(command, rest, failure);
        }
        if (!doc) {
            return std::nullopt;
        }
        return Render(*doc, *format);
    }

    std::optional<Node> Pattern(const QStringList& rest, std::optional<Failure>& failure) {
        if (rest.size() != 2) {
            failure = Failure{tr("pattern takes two frequencies, U and V."), true};
            return std::nullopt;
        }
        const std::optional<int> u = WholeIn(rest[0], 0, 7);
        const std::optional<int> v = WholeIn(rest[1], 0, 7);
        if (!u || !v) {
            failure = Failure{tr("pattern frequencies are whole numbers from 0 to 7."), true};
            return std::nullopt;
        }
        return PatternReport(*u, *v);
    }

    std::optional<Node> Exercise(const QStringList& rest, std::optional<Failure>& failure) {
        if (!rest.isEmpty()) {
            failure = Failure{tr("exercise reads no file."), true};
            return std::nullopt;
        }
        bool ok = false;
        const qulonglong seed = parser_.value(seed_).toULongLong(&ok);
        if (!parser_.isSet(seed_) || !ok || seed > kLargestSeed) {
            failure = Failure{tr("exercise needs --seed S, a whole number from 0 to %1.")
                                  .arg(static_cast<qulonglong>(kLargestSeed)),
                              true};
            return std::nullopt;
        }
        const std::optional<int> count = OptionIn(count_, 1, 1, kMostExercises);
        const std::optional<int> quality =
            OptionIn(quality_, 50, jpeg::kMinQuality, jpeg::kMaxQuality);
        if (!count || !quality) {
            failure = Failure{
                !count ? tr("--count takes a whole number from 1 to %1.").arg(kMostExercises)
                       : tr("--quality takes a whole number from 1 to 100."),
                true};
            return std::nullopt;
        }
        return ExerciseReport(seed, *count, *quality);
    }

    std::optional<Node> CompressPicture(const QStringList& rest, std::optional<Failure>& failure) {
        if (rest.size() != 1) {
            failure = Failure{tr("compress takes one picture file."), true};
            return std::nullopt;
        }
        const int given =
            int{parser_.isSet(quality_)} + int{parser_.isSet(table_)} + int{parser_.isSet(step_)};
        if (given > 1) {
            failure = Failure{tr("give one of --quality, --table and --step."), true};
            return std::nullopt;
        }
        CompressRequest request;
        request.Picture = rest.first();
        request.Reconstruction = parser_.value(output_);
        request.Difference = parser_.value(diff_);
        if (parser_.isSet(step_)) {
            const std::optional<int> step = OptionIn(step_, 16, 1, DctEngine::kMaxQuantScale);
            if (!step) {
                failure = Failure{tr("--step takes a whole number from 1 to 512."), true};
                return std::nullopt;
            }
            request.Settings.Mode = CompressionMode::QuadrelStep;
            request.Settings.Step = *step;
        } else if (parser_.isSet(table_)) {
            QString problem;
            const QString file = parser_.value(table_);
            const std::optional<jpeg::QuantTable> table = ReadTableFile(file, problem);
            if (!table) {
                failure = Failure{QStringLiteral("%1: %2").arg(file, problem), false};
                return std::nullopt;
            }
            request.Settings.Mode = CompressionMode::Table;
            request.Settings.Table = *table;
            request.TableFile = file;
        } else {
            const std::optional<int> quality =
                OptionIn(quality_, 50, jpeg::kMinQuality, jpeg::kMaxQuality);
            if (!quality) {
                failure = Failure{tr("--quality takes a whole number from 1 to 100."), true};
                return std::nullopt;
            }
            request.Settings.Quality = *quality;
        }
        QString problem;
        std::optional<Node> report = CompressReport(request, problem);
        if (!report) {
            failure = Failure{problem, false};
        }
        return report;
    }

    std::optional<Node> BlockCommand(const QString& command, const QStringList& rest,
                                     std::optional<Failure>& failure) {
        if (rest.size() > 1) {
            failure = Failure{tr("%1 reads one block file at most.").arg(command), true};
            return std::nullopt;
        }
        // Settings are checked before any input is read.
        std::optional<int> step;
        std::optional<JpegSettings> jpegSettings;
        if (command == QLatin1String("quant")) {
            step = OptionIn(step_, 16, 1, DctEngine::kMaxQuantScale);
            if (!step || !WindowReplay::IsQuantStep(*step)) {
                failure = Failure{tr("--step takes a step the window can reach: 1, 2, 4, ... 512."),
                                  true};
                return std::nullopt;
            }
        }
        const QString path = rest.isEmpty() ? QStringLiteral("-") : rest.first();
        if (command == QLatin1String("jpeg")) {
            if (path == QLatin1String("-") && parser_.value(table_) == QLatin1String("-")) {
                failure = Failure{
                    tr("the table and the block cannot both come from standard input."), true};
                return std::nullopt;
            }
            jpegSettings = JpegOptions(failure);
            if (!jpegSettings) {
                return std::nullopt;
            }
        }
        const std::optional<std::vector<double>> values = ReadBlock(path, failure);
        if (!values) {
            return std::nullopt;
        }
        if (command == QLatin1String("dct")) {
            return DctReport(*values);
        }
        if (command == QLatin1String("idct")) {
            return IdctReport(*values);
        }
        if (command == QLatin1String("quant")) {
            return QuantReport(*values, *step);
        }
        jpeg::Samples samples{};
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const double v = (*values)[i];
            if (!(v >= 0.0 && v <= 255.0) || v != std::floor(v)) {
                failure = Failure{tr("%1: value %2 (%3) is not a grey level, a whole number "
                                     "from 0 to 255.")
                                      .arg(InputName(path))
                                      .arg(i + 1)
                                      .arg(QString::fromStdString(ExactNumber(v))),
                                  false};
                return std::nullopt;
            }
            samples[i] = static_cast<std::uint8_t>(v);
        }
        return JpegReport(samples, *jpegSettings);
    }

    std::optional<JpegSettings> JpegOptions(std::optional<Failure>& failure) {
        JpegSettings settings;
        if (parser_.isSet(quality_) && parser_.isSet(table_)) {
            failure = Failure{tr("give --quality or --table, not both."), true};
            return std::nullopt;
        }
        const std::optional<int> quality =
            OptionIn(quality_, 50, jpeg::kMinQuality, jpeg::kMaxQuality);
        const std::optional<int> previous = OptionIn(prevDc_, 0, kLowestDc, kHighestDc);
        const std::optional<int> keep = OptionIn(keep_, jpeg::kBlockCells, 0, jpeg::kBlockCells);
        if (!quality || !previous || !keep) {
            failure = Failure{!quality    ? tr("--quality takes a whole number from 1 to 100.")
                              : !previous ? tr("--prev-dc takes a whole number from %1 to %2.")
                                                .arg(kLowestDc)
                                                .arg(kHighestDc)
                                          : tr("--keep takes a whole number from 0 to 64."),
                              true};
            return std::nullopt;
        }
        settings.PreviousDc = *previous;
        settings.Keep = *keep;
        if (parser_.isSet(table_)) {
            const QString file = parser_.value(table_);
            const std::optional<std::vector<double>> values = ReadValues(file, failure);
            if (!values) {
                return std::nullopt;
            }
            std::string problem;
            const std::optional<jpeg::QuantTable> table = jpeg::TableFromValues(*values, problem);
            if (!table) {
                failure = Failure{
                    QStringLiteral("%1: %2").arg(InputName(file), QString::fromStdString(problem)),
                    false};
                return std::nullopt;
            }
            settings.Table = *table;
            settings.Quality = 0;
            settings.TableFile = file.toStdString();
        } else {
            settings.Table = jpeg::LuminanceTable(*quality);
            settings.Quality = *quality;
        }
        return settings;
    }

    static QString InputName(const QString& path) {
        return path == QLatin1String("-") ? tr("standard input") : path;
    }

    /// Up to 64 values of a block file; "-" is standard input.
    /// Standard input by the block file's own rules; the file reader takes
    /// ordinary files only, and a pipe is what a command line usually gives.
    static BlockFileRead ReadStandardInput() {
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly)) {
            return {{}, tr("Standard input cannot be read: %1.").arg(in.errorString())};
        }
        // One byte over the limit tells whether the input goes on beyond it. A
        // pipe hands over what it has; read on until its end or the limit.
        QByteArray bytes;
        while (bytes.size() <= kMaxBlockFileBytes) {
            const QByteArray chunk = in.read(kMaxBlockFileBytes + 1 - bytes.size());
            if (chunk.isEmpty()) {
                break;
            }
            bytes += chunk;
        }
        if (in.error() != QFileDevice::NoError) {
            return {{}, tr("Standard input cannot be read: %1.").arg(in.errorString())};
        }
        const auto size = static_cast<std::size_t>(bytes.size());
        const BlockFileValues parsed = ParseBlockValues(std::string_view(bytes.constData(), size));
        if (bytes.size() > kMaxBlockFileBytes &&
            (parsed.Consumed >= size ||
             (!parsed.Error && parsed.Values.size() < kBlockFileValues))) {
            return {{}, tr("The input is larger than 1 MiB and does not start with 64 values.")};
        }
        if (parsed.Error) {
            return {{}, QString::fromStdString(DescribeError(*parsed.Error))};
        }
        return {parsed.Values, {}};
    }

    static std::optional<std::vector<double>> ReadValues(const QString& path,
                                                         std::optional<Failure>& failure) {
        const BlockFileRead read =
            path == QLatin1String("-") ? ReadStandardInput() : ReadBlockFile(path);
        if (!read.Ok()) {
            failure = Failure{QStringLiteral("%1: %2").arg(InputName(path), read.Error), false};
            return std::nullopt;
        }
        return read.Values;
    }

    static std::optional<std::vector<double>> ReadBlock(const QString& path,
                                                        std::optional<Failure>& failure) {
        std::optional<std::vector<double>> values = ReadValues(path, failure);
        if (values && values->size() < kBlockFileValues) {
            const auto found = static_cast<int>(values->size());
            const QString text = found == 1 ? tr("%1: 1 value found; a block has 64.")
                                            : tr("%1: %2 values found; a block has 64.");
            failure = Failure{text.arg(InputName(path)).arg(found), false};
            return std::nullopt;
        }
        return values;
    }

    std::optional<int> OptionIn(const QCommandLineOption& option, int fallback, int lo,
                                int hi) const {
        return parser_.isSet(option) ? WholeIn(parser_.value(option), lo, hi)
                                     : std::optional<int>(fallback);
    }

    static std::optional<int> WholeIn(const QString& text, int lo, int hi) {
        bool ok = false;
        const int value = text.toInt(&ok);
        if (!ok || value < lo || value > hi) {
            return std::nullopt;
        }
        return value;
    }

    static std::optional<Format> ParseFormat(const QString& name) {
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

    /// Writes the result; returns what went wrong, or nothing.
    QString Deliver(const std::string& text) {
        const auto size = static_cast<qint64>(text.size());
        // For compress, -o names the reconstruction; the report goes to standard output.
        const bool compress = parser_.positionalArguments().value(0) == QLatin1String("compress");
        if (!parser_.isSet(output_) || compress) {
            std::fwrite(text.data(), 1, text.size(), stdout);
            if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
                return tr("the result could not be written to standard output.");
            }
            return {};
        }
        const QString path = parser_.value(output_);
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            return tr("%1 cannot be created: %2.").arg(path, file.errorString());
        }
        // An explicit flush: commit() alone can miss a failing last write.
        if (file.write(text.data(), size) != size || !file.flush()) {
            const QString reason = file.errorString();
            file.cancelWriting();
            return tr("%1 cannot be written: %2.").arg(path, reason);
        }
        if (!file.commit()) {
            return tr("%1 could not be replaced: %2.").arg(path, file.errorString());
        }
        return {};
    }

    static QString tr(const char* text, const char* disambiguation = nullptr, int n = -1) {
        return QCoreApplication::translate("quadrel-cli", text, disambiguation, n);
    }

    QCommandLineParser parser_;
    QCommandLineOption format_;
    QCommandLineOption output_;
    QCommandLineOption step_;
    QCommandLineOption quality_;
    QCommandLineOption table_;
    QCommandLineOption prevDc_;
    QCommandLineOption keep_;
    QCommandLineOption seed_;
    QCommandLineOption count_;
    QCommandLineOption diff_;
};

} // namespace

int RunCli(const QStringList& arguments) {
    Cli cli;
    return cli.Run(arguments);
}

} // namespace quadrel::cli
