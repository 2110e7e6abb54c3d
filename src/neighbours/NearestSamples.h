// The m nearest samples of a point by exact distance, ties broken by input
// order: the neighbour rule of the accurate arithmetic and of
// cross-validation.
//
// Distances are squared Euclidean distances evaluated in double from the
// samples' float coordinates; two samples at the same distance are ranked by
// their index. The choice therefore depends on the point and the samples
// only, never on which points were asked before (a node gets the same
// neighbours in every grid that contains it). Samples with a coordinate that
// is not finite are never chosen.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace mosaro {

class NearestSamples {
public:
    // Indexes the first `count` entries of x and y (copied).
    NearestSamples(const float* x, const float* y, int count);
    NearestSamples(const double* x, const double* y, int count);
    ~NearestSamples();
    NearestSamples(const NearestSamples&) = delete;
    NearestSamples& operator=(const NearestSamples&) = delete;

    // Samples that can be chosen (finite coordinates).
    int Candidates() const;

    // Writes into `found` the indices of the min(m, candidates) nearest
    // samples of (x, y), nearest first. With `excluded` (one flag per sample),
    // the flagged samples are passed over, as if absent.
    void Find(double x, double y, int m, std::vector<int>& found,
              const std::vector<std::uint8_t>* excluded = nullptr) const;

    // As Find without exclusions, of the samples at squared distance at most
    // `maxSquaredDistance` only (fewer than m when fewer lie there).
    void FindWithin(double x, double y, int m, double maxSquaredDistance, std::vector<int>& found) const;

    // As FindWithin, taking samples by sector (4 or 8 around the point, see
    // Sectors.h): walking the samples nearest first, a sample is taken while
    // its sector holds fewer than perSector, until m are taken. One pass
    // over the tree: a sector stops widening the search once it is full, or
    // once the search has reached the farthest corner of the samples that
    // lies in its direction. `seeds`, when given, holds samples (in this
    // index's own numbering, opaque to the caller) offered before the tree
    // is walked, typically those a nearby target took; it receives this
    // target's. Seeds change the work, never the choice.
    void FindInSectors(double x, double y, int m, int sectors, int perSector, double maxSquaredDistance,
                       std::vector<int>& found, std::vector<std::uint32_t>* seeds = nullptr) const;

    // As Find without exclusions, for a point near one searched before: the
    // search starts from the bound that point gives (its m-th nearest lies
    // at squared distance `*worst` from it, so the m nearest of (x, y) lie
    // within that distance plus the step between the two points). Updates
    // `*worst` for the next call; pass a negative value for a first point.
    // The samples `found` holds on entry (the previous point's, typically)
    // may narrow the search further; they change the work, never the choice.
    void FindNear(double x, double y, int m, std::vector<int>& found, double previousX, double previousY,
                  double* worst) const;

    // The samples numbered so that near samples have near numbers, for a
    // caller that reads their data by number at random: Local()[k] is the
    // sample numbered k. Those that cannot be chosen come last.
    const std::vector<int>& Local() const;

    // FindNear with the samples in `found`, on entry and on return,
    // numbered as in Local(). The choice and its order are FindNear's.
    void FindNearLocal(double x, double y, int m, std::vector<int>& found, double previousX, double previousY,
                       double* worst) const;

private:
    // Find with a bound on the squared distance of the m-th nearest (infinity
    // when none is known); returns that squared distance, -1 when nothing
    // was found.
    double Search(double x, double y, int m, std::vector<int>& found, const std::vector<std::uint8_t>* excluded,
                  double bound, bool strict = false) const;

    template <class Coordinate>
    void Index(const Coordinate* x, const Coordinate* y, int count);

    struct Tree;
    std::unique_ptr<Tree> tree_;
};

}  // namespace mosaro
