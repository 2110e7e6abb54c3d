// A nested variogram model: a nugget plus any number of structures, each a
// family with its partial sill, range, shape and geometric anisotropy, as
// gstat's vgm() builds them (one row per structure, anis = c(azimuth, ratio)).
//
//   gamma(dx, dy) = nugget + sum_i psill_i g_i(|T_i (dx, dy)| / a_i)   (0 at the origin)
//   C(dx, dy)     = sill - gamma(dx, dy),  sill = nugget + sum_i psill_i
//
// T_i is the anisotropy of structure i, as gstat applies anis = c(azimuth,
// ratio) in two dimensions: u = sin(az) dx + cos(az) dy along the major axis
// (azimuth in degrees clockwise from north, +y), v = (sin(az) dy - cos(az) dx)
// / ratio across it, |T (dx, dy)| = sqrt(u^2 + v^2); the range a is the range
// along the major axis, ratio a in the minor one.
//
// A covariance exists when every structure has a sill (no Pow, no Lin with
// range 0). The model checks its parameters once, when made, and
// precomputes per structure the rotation, the scaling and the family's
// constants, so that an evaluation is a few products and one family
// function per structure.
#pragma once

#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "variogram/ModelFamilies.h"

namespace mosaro {

// A model parameter out of its bounds; the message names the structure,
// the parameter, its bounds and the value given.
class ModelError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

struct Structure {
    ModelFamily family = ModelFamily::kSpherical;
    double partialSill = 0.0;
    double range = 0.0;  // 0 (or unset) for Pow; 0 makes Lin unbounded
    // kappa of Exc, Mat, Ste, exponent of Pow; NaN takes the family's default,
    // and must stay NaN for the families without a shape.
    double shape = std::nan("");
    double azimuth = 0.0;  // degrees in [0, 360), clockwise from north
    double ratio = 1.0;    // minor over major range, (0, 1]
};

// What is wrong with one structure's parameters, or "" when nothing is
// (the nugget family is not a structure: the model has a nugget of its own).
std::string StructureProblem(const Structure& structure);

// The shape a structure uses: its own, or its family's default.
double EffectiveShape(const Structure& structure);

class VariogramModel {
public:
    // No nugget, no structure: gamma = 0 everywhere.
    VariogramModel() = default;

    // Throws ModelError for a negative or non-finite nugget or a structure
    // with a StructureProblem.
    VariogramModel(double nugget, std::vector<Structure> structures);

    double Nugget() const { return nugget_; }
    const std::vector<Structure>& Structures() const { return structures_; }

    // Semivariance at lag (dx, dy); 0 at the origin.
    double Semivariance(double dx, double dy) const;

    // Covariance at lag (dx, dy): the sill at the origin, each structure's
    // psill rho_i elsewhere. Only for a model with HasCovariance(); NaN
    // otherwise.
    double Covariance(double dx, double dy) const;
    // Covariance at count lags at once, out[i] at (dx[i], dy[i]), each with
    // the bits of Covariance: a sweep that needs many per node takes them in
    // one call, whose loops the compiler vectorises.
    void Covariances(const double* dx, const double* dy, std::size_t count, double* out) const;

    // Nugget plus partial sills; infinity without a covariance.
    double TotalSill() const { return totalSill_; }
    bool HasCovariance() const { return hasCovariance_; }
    bool IsIsotropic() const { return isotropic_; }

private:
    struct Prepared {
        ModelFamily family;
        double partialSill;
        double range;  // divisor of the transformed lag; 1 for Pow and Lin(0)
        bool anisotropic;
        double majorX, majorY;  // u = majorX dx + majorY dy
        double minorX, minorY;  // v = minorX dx + minorY dy (ratio included)
        FamilyConstants constants;
    };
    // x of a prepared structure at (dx, dy) whose plain length is `length`.
    static double ScaledLag(const Prepared& p, double dx, double dy, double length);

    double nugget_ = 0.0;
    std::vector<Structure> structures_;
    std::vector<Prepared> prepared_;
    double totalSill_ = 0.0;
    bool hasCovariance_ = true;
    bool isotropic_ = true;
};

}  // namespace mosaro
