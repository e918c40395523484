#pragma once
// Runs picture analyses in the background, one at a time: a new request cancels
// the running analysis and starts once it has stopped, so quick changes of the
// quality never pile up work. The last finished result is the caller's to keep.

#include "compression/picture_compression.h"

#include <QFutureWatcher>
#include <QObject>

#include <atomic>
#include <memory>
#include <optional>

namespace quadrel {

struct CompressionResult {
    QImage Grey; ///< the picture analysed
    CompressionSettings Settings;
    jpeg::PictureAnalysis Analysis;
};

class CompressionRunner : public QObject {
    Q_OBJECT
public:
    explicit CompressionRunner(QObject* parent = nullptr);
    /// Cancels what runs and waits for it.
    ~CompressionRunner() override;
    CompressionRunner(const CompressionRunner&) = delete;
    CompressionRunner& operator=(const CompressionRunner&) = delete;

    void Start(const QImage& grey, const CompressionSettings& settings);
    /// Stops the running analysis and drops a waiting one; nothing is finished.
    void Cancel();
    bool Busy() const;
    /// Share of the running analysis done, 0..1.
    double Progress() const;

signals:
    void Finished(std::shared_ptr<const CompressionResult> result);
    /// A cancelled analysis has stopped and nothing waits.
    void Stopped();

private:
    struct Job {
        std::atomic<bool> Cancel{false};
        std::atomic<int> RowsDone{0};
        int Rows = 1;
    };
    struct Request {
        QImage Grey;
        CompressionSettings Settings;
    };
    void Launch(const Request& request);
    void OnDone();

    QFutureWatcher<std::shared_ptr<const CompressionResult>> watcher_;
    std::shared_ptr<Job> job_;
    std::optional<Request> waiting_;
};

} // namespace quadrel
