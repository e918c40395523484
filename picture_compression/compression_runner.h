#pragma once
// Runs picture analyses in the background, one at a time: a new request cancels
// the running analysis and starts once it has stopped, so quick changes of the
// quality never pile up work. The last finished result is the caller's to keep.

#include "base/result.h"
#include "compression/colour_compression.h"
#include "compression/picture_compression.h"
#include "jpeg/jfif_writer.h"

#include <QFutureWatcher>
#include <QObject>

#include <atomic>
#include <memory>
#include <optional>

namespace quadrel {

/// What to analyse: a grey picture through the grey chain, or (Colour) any
/// picture through the colour chain.
struct CompressionRequest {
    QImage Picture;
    CompressionSettings Settings;
    bool Colour = false;
    ColourCompressionSettings ColourSettings;
    /// The JPEG file to write from the blocks, in the JPEG modes; none in Quadrel's.
    std::optional<jpeg::JfifOptions> Jfif;
};

struct CompressionResult {
    CompressionRequest Request;          ///< the picture analysed and how
    jpeg::PictureAnalysis Analysis;      ///< a grey run's
    jpeg::ColourAnalysis ColourAnalysis; ///< a colour run's
    /// The file Request.Jfif asks for, written in the background. Only its bytes
    /// are kept: the blocks it was written from are dropped, since they take
    /// many times the memory of the file.
    std::optional<Result<jpeg::JfifFile>> File;
};

class CompressionRunner : public QObject {
    Q_OBJECT
public:
    explicit CompressionRunner(QObject* parent = nullptr);
    /// Cancels what runs and waits for it.
    ~CompressionRunner() override;
    CompressionRunner(const CompressionRunner&) = delete;
    CompressionRunner& operator=(const CompressionRunner&) = delete;

    void Start(const CompressionRequest& request);
    /// Stops the running analysis and drops a waiting one; nothing is finished.
    void Cancel();
    bool Busy() const;
    /// Share of the running analysis done, 0..1; below 0 when the analysis does
    /// not tell (the colour chain).
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
        bool Measured = true;
    };
    void Launch(const CompressionRequest& request);
    void OnDone();

    QFutureWatcher<std::shared_ptr<const CompressionResult>> watcher_;
    std::shared_ptr<Job> job_;
    std::optional<CompressionRequest> waiting_;
};

} // namespace quadrel
