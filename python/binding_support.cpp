// The pieces the binding's halves share (binding_support.h).
#include "binding_support.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace mosaro_binding {

namespace {

void SetFamily(mosaro_structure& s, int family) {
    // Stored as the int it is: a code the library does not know must reach
    // its check, not be narrowed to an enumerator on the way.
    static_assert(sizeof s.family == sizeof family, "mosaro_family is stored as an int");
    std::memcpy(&s.family, &family, sizeof family);
}

int FamilyOf(const mosaro_structure& s) {
    int family = 0;
    std::memcpy(&family, &s.family, sizeof family);
    return family;
}

}  // namespace

// Python checks the count first; this keeps the struct's array in bounds
// whatever it is given.
mosaro_model ToModel(const ModelTuple& parts) {
    if (parts.second.size() > MOSARO_MAX_STRUCTURES)
        throw py::value_error("a model holds at most " + std::to_string(MOSARO_MAX_STRUCTURES) + " structures (got " +
                              std::to_string(parts.second.size()) + ")");
    mosaro_model m;
    mosaro_model_init(&m);
    m.nugget = parts.first;
    m.structure_count = static_cast<int>(parts.second.size());
    for (std::size_t i = 0; i < parts.second.size(); ++i) {
        mosaro_structure& s = m.structures[i];
        SetFamily(s, std::get<0>(parts.second[i]));
        s.partial_sill = std::get<1>(parts.second[i]);
        s.range = std::get<2>(parts.second[i]);
        s.shape = std::get<3>(parts.second[i]);
        s.azimuth = std::get<4>(parts.second[i]);
        s.ratio = std::get<5>(parts.second[i]);
    }
    return m;
}

py::tuple FromModel(const mosaro_model& m) {
    py::list structures;
    for (int i = 0; i < m.structure_count && i < MOSARO_MAX_STRUCTURES; ++i) {
        const mosaro_structure& s = m.structures[i];
        structures.append(py::make_tuple(FamilyOf(s), s.partial_sill, s.range, s.shape, s.azimuth, s.ratio));
    }
    return py::make_tuple(m.nugget, structures);
}

void FillVariogramOptions(const py::dict& d, mosaro_variogram_options& o, std::vector<double>& azimuths) {
    mosaro_variogram_options_init(&o);
    o.cutoff = Get<double>(d, "cutoff");
    o.width = Get<double>(d, "width");
    const py::object given = d["azimuths"];
    azimuths = given.is_none() ? std::vector<double>{} : given.cast<std::vector<double>>();
    if (azimuths.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw py::value_error("directions: too many");
    o.azimuths = azimuths.empty() ? nullptr : azimuths.data();
    o.direction_count = static_cast<int>(azimuths.size());
    o.tolerance = Get<double>(d, "tolerance");
    o.bandwidth = Get<double>(d, "bandwidth");
    o.estimator = Get<int>(d, "estimator") == 1 ? MOSARO_ESTIMATOR_CRESSIE : MOSARO_ESTIMATOR_CLASSIC;
    o.cloud = d.contains("cloud") && Get<bool>(d, "cloud") ? 1 : 0;
    o.map = d.contains("map") && Get<bool>(d, "map") ? 1 : 0;
    o.thread_count = Get<int>(d, "threads");
}

int DoubleCount(const DoubleArray& array, const char* name) {
    if (array.ndim() != 1) throw py::value_error(std::string(name) + " must be one-dimensional");
    if (array.size() > std::numeric_limits<int>::max())
        throw py::value_error(std::string(name) + " has more samples than the library can take (2^31 - 1)");
    return static_cast<int>(array.size());
}

int DoubleSamples(const DoubleArray& x, const DoubleArray& y, const DoubleArray& value) {
    const int count = DoubleCount(x, "x");
    if (DoubleCount(y, "y") != count || DoubleCount(value, "values") != count)
        throw py::value_error("x, y and values must have the same length (got " + std::to_string(x.size()) + ", " +
                              std::to_string(y.size()) + ", " + std::to_string(value.size()) + ")");
    return count;
}

py::array_t<double> Copy(const double* from, py::ssize_t count) {
    py::array_t<double> to(count);
    if (count > 0) std::copy(from, from + count, to.mutable_data());
    return to;
}

py::tuple Refusal(mosaro_status status) { return py::make_tuple(static_cast<int>(status), mosaro_last_message()); }

const char* StageName(mosaro_stage stage) {
    switch (stage) {
        case MOSARO_STAGE_VARIOGRAMS: return "variograms";
        case MOSARO_STAGE_FIT: return "fit";
        case MOSARO_STAGE_SWEEP: return "sweep";
    }
    return "";
}

void FillNeighbourhood(const py::dict& a, mosaro_prediction& p) {
    p.nmax = Get<int>(a, "nmax");
    p.nmin = Get<int>(a, "nmin");
    p.max_distance = Get<double>(a, "max_distance");
    p.anisotropic_search = Get<bool>(a, "anisotropic_search") ? 1 : 0;
    p.sectors = Get<int>(a, "sectors");
    p.max_per_sector = Get<int>(a, "max_per_sector");
    p.block_size_x = Get<double>(a, "block_x");
    p.block_size_y = Get<double>(a, "block_y");
    p.block_points_x = Get<int>(a, "block_points_x");
    p.block_points_y = Get<int>(a, "block_points_y");
    p.thread_count = Get<int>(a, "threads");
}

py::dict ClassesDict(const mosaro_lag_classes& c) {
    py::dict direction;
    direction["omnidirectional"] = c.omnidirectional != 0;
    direction["azimuth"] = c.azimuth;
    direction["tolerance"] = c.tolerance;
    direction["cutoff"] = c.cutoff;
    direction["width"] = c.width;
    direction["lower"] = Copy(c.lower, c.class_count);
    direction["upper"] = Copy(c.upper, c.class_count);
    direction["pairs"] = Copy(c.pairs, c.class_count);
    direction["distance"] = Copy(c.distance, c.class_count);
    direction["gamma"] = Copy(c.gamma, c.class_count);
    return direction;
}

}  // namespace mosaro_binding
