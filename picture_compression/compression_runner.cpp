#include "picture_compression/compression_runner.h"

#include <QtConcurrent/QtConcurrentRun>

namespace quadrel {

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
        if (request.Colour) {
            result->ColourAnalysis =
                CompressColour(request.Picture, request.ColourSettings, &job->Cancel);
        } else {
            result->Analysis =
                Compress(request.Picture, request.Settings, {{}, &job->Cancel, &job->RowsDone});
        }
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
