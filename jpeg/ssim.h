#pragma once
// The structural similarity (SSIM) of two grey pictures as Wang, Bovik, Sheikh
// and Simoncelli (2004) define it and scikit-image's
// structural_similarity(a, b, gaussian_weights=True, sigma=1.5,
// use_sample_covariance=False, data_range=255) computes it: local means,
// variances and covariance under an 11x11 Gaussian window (sigma 1.5, cut at
// 3.5 sigma, reflected at the edges), K1 = 0.01, K2 = 0.03, L = 255; the mean
// leaves out the 5 pixels along each edge, where the window reaches beyond the
// picture. x's local moments are summed in double and kept in float; y's follow from those of
// the difference y - x, small whole numbers summed in float with no large
// cancellation: each value stays within a few parts in 10^6 of scikit-image's.

#include "jpeg/jpeg_picture.h"

#include <vector>

namespace quadrel::jpeg {

inline constexpr int kSsimRadius = 5;
inline constexpr int kSsimWindow = 2 * kSsimRadius + 1;

/// Each pixel's SSIM, and their mean over the picture less its edges.
struct SsimMap {
    int Width = 0;
    int Height = 0;
    std::vector<float> Values; ///< Width * Height, row-major
    double Mean = 0.0;         ///< NaN when a side is shorter than the window
};

/// The mean SSIM of b against a (the same size); NaN when a side is shorter than
/// the window or the sizes differ. Threads 0: one per core. The result does not
/// depend on the number of threads.
double MeanSsim(const GreyPicture& a, const GreyPicture& b, unsigned threads = 0);

/// The same with every pixel's value kept; empty when the sizes differ.
SsimMap LocalSsim(const GreyPicture& a, const GreyPicture& b, unsigned threads = 0);

/// One picture's side of the SSIM, worked out once for many pictures held
/// against it (each setting of a sweep): its local means and variances. Mean(b)
/// equals MeanSsim(a, b) to the last bit, in a little over half the time.
/// Holds two floats a pixel; a's pixels must outlive it.
class SsimReference {
public:
    explicit SsimReference(const GreyPicture& a, unsigned threads = 0);
    /// MeanSsim(a, b, threads).
    double Mean(const GreyPicture& b, unsigned threads = 0) const;

private:
    GreyPicture a_;
    std::vector<float> mean_;     ///< row-major, empty when a side is under the window
    std::vector<float> variance_; ///< the same
};

} // namespace quadrel::jpeg
