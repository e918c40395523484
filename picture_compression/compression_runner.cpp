#include "picture_compression/compression_runner.h"

#include <QtConcurrent/QtConcurrentRun>

#include <utility>

namespace quadrel {

namespace {

/// Analyses with the blocks kept when a file is asked for, writes the file and
/// drops the blocks unless the request itself keeps them.
void Analyse(const CompressionRequest& request, const std::atomic<bool>& cancel,
             std::atomic<int>& rowsDone, CompressionResult& result) {
    const bool file = request.Jfif.has_value();
    if (request.Colour) {
        ColourCompressionSettings settings = request.ColourSettings;
        settings.KeepBlocks = settings.KeepBlocks || file;
        result.ColourAnalysis = CompressColour(request.Picture, settings, &cancel);
        jpeg::ColourAnalysis& a = result.ColourAnalysis;
        if (file && !a.Cancelled && !a.Reconstruction.empty()) {
            result.File = jpeg::WriteJfifFile(a.Coded, *request.Jfif);
        }
        if (!request.ColourSettings.KeepBlocks) {
            a.Coded = {};
        }
        return;
    }
    CompressionSettings settings = request.Settings;
    settings.KeepBlocks = settings.KeepBlocks || file;
    result.Analysis = Compress(request.Picture, settings, {{}, &cancel, &rowsDone});
    jpeg::PictureAnalysis& a = result.Analysis;
    if (file && !a.Cancelled && !a.Reconstruction.empty()) {
        const std::optional<jpeg::QuantTable> table = TableOf(settings);
        result.File = jpeg::WriteJfifFile(
            jpeg::GreyCodedPicture(a, request.Picture.width(), request.Picture.height(),
                                   table.value_or(jpeg::kLuminanceTable)),
            *request.Jfif);
    }
    if (!request.Settings.KeepBlocks) {
        a.Quantised = {};
    }
}

} // namespace

CompressionRunner::CompressionRunner(QObject* parent) : QObject(parent) {
    connect(&watcher_, &QFutureWatcherBase::finished, this, &CompressionRunner::OnDone);
}

CompressionRunner::~CompressionRunner() {
    if (job_) {
        job_->Cancel = true;
    }
    watcher_.waitForFinished();
}

void CompressionRunner::Start(const CompressionRequest& request) {
    if (Busy()) {
        job_->Cancel = true;
        waiting_ = request;
        return;
    }
    Launch(request);
}

void CompressionRunner::Cancel() {
    waiting_.reset();
    if (Busy()) {
        job_->Cancel = true;
    }
}

bool CompressionRunner::Busy() const {
    return job_ != nullptr;
}

double CompressionRunner::Progress() const {
    if (!job_) {
        return 0.0;
    }
    return job_->Measured ? static_cast<double>(job_->RowsDone.load()) / job_->Rows : -1.0;
}

void CompressionRunner::Launch(const CompressionRequest& request) {
    auto job = std::make_shared<Job>();
    job->Rows = std::max(1, (request.Picture.height() + 7) / 8);
    job->Measured = !request.Colour;
    job_ = job;
    watcher_.setFuture(QtConcurrent::run([job, request]() {
        auto result = std::make_shared<CompressionResult>();
        result->Request = request;
        Analyse(request, job->Cancel, job->RowsDone, *result);
        return std::shared_ptr<const CompressionResult>(std::move(result));
    }));
}

void CompressionRunner::OnDone() {
    const std::shared_ptr<const CompressionResult> result = watcher_.result();
    // A cancel that came too late to stop the work still discards its result.
    const bool cancelled =
        job_->Cancel || result->Analysis.Cancelled || result->ColourAnalysis.Cancelled;
    job_.reset();
    if (waiting_) {
        const CompressionRequest next = *waiting_;
        waiting_.reset();
        Launch(next);
        return;
    }
    if (cancelled) {
        emit Stopped();
        return;
    }
    emit Finished(result);
}

} // namespace quadrel
