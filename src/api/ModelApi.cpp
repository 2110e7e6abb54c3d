// Variogram models in the C API: initialisation, the notation both ways,
// and evaluation.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "api/ApiStatus.h"
#include "api/ModelConversion.h"
#include "variogram/ModelNotation.h"

namespace mosaro {

VariogramModel ToVariogramModel(const mosaro_model& m, const char* name) {
    RequireStructSize(name, "mosaro_model", m.struct_size, sizeof(mosaro_model), sizeof(mosaro_model));
    if (m.structure_count < 0 || m.structure_count > MOSARO_MAX_STRUCTURES)
        Refuse(MOSARO_ERROR_MODEL, FormatMessage("%s->structure_count must lie in [0, %d] (got %d)", name,
                                                 MOSARO_MAX_STRUCTURES, m.structure_count));
    std::vector<Structure> structures;
    for (int i = 0; i < m.structure_count; ++i) {
        const mosaro_structure& c = m.structures[i];
        int family = 0;
        std::memcpy(&family, &c.family, sizeof family);  // a C host may store any int
        if (family < MOSARO_FAMILY_SPHERICAL || family > MOSARO_FAMILY_POWER)
            Refuse(MOSARO_ERROR_MODEL, FormatMessage("%s->structures[%d].family must be one of the mosaro_family "
                                                     "values 1 to %d (got %d)",
                                                     name, i, MOSARO_FAMILY_POWER, family));
        Structure s;
        s.family = static_cast<ModelFamily>(family);  // the same order, after the nugget
        const FamilyTraits& traits = TraitsOf(s.family);
        s.partialSill = c.partial_sill;
        s.range = traits.range == RangeUse::kNone ? 0.0 : c.range;
        s.shape = traits.takesShape ? c.shape : std::numeric_limits<double>::quiet_NaN();
        s.azimuth = c.azimuth;
        s.ratio = c.ratio;
        structures.push_back(s);
    }
    try {
        return VariogramModel(m.nugget, std::move(structures));
    } catch (const ModelError& e) {
        Refuse(MOSARO_ERROR_MODEL, std::string(name) + ": " + e.what());
    }
}

void FromVariogramModel(const VariogramModel& model, mosaro_model* out) {
    const std::vector<Structure>& structures = model.Structures();
    if (structures.size() > MOSARO_MAX_STRUCTURES)
        Refuse(MOSARO_ERROR_MODEL, FormatMessage("the model has %zu structures; a mosaro_model holds at most %d",
                                                 structures.size(), MOSARO_MAX_STRUCTURES));
    mosaro_model m{};
    m.nugget = model.Nugget();
    m.structure_count = static_cast<int>(structures.size());
    for (std::size_t i = 0; i < structures.size(); ++i) {
        const Structure& s = structures[i];
        m.structures[i] =
            mosaro_structure{static_cast<mosaro_family>(static_cast<int>(s.family)), s.partialSill, s.range,
                             std::isnan(s.shape) ? EffectiveShape(s) : s.shape,      s.azimuth,     s.ratio};
        if (!TraitsOf(s.family).takesShape) m.structures[i].shape = std::numeric_limits<double>::quiet_NaN();
    }
    CopyOut(m, out);
}

}  // namespace mosaro

extern "C" MOSARO_API const char* mosaro_family_name(int family) {
    if (family < MOSARO_FAMILY_SPHERICAL || family > MOSARO_FAMILY_POWER) return nullptr;
    return mosaro::TraitsOf(static_cast<mosaro::ModelFamily>(family)).shortName;
}

extern "C" MOSARO_API void mosaro_model_init_size(mosaro_model* model, size_t size) {
    if (model == nullptr) return;
    mosaro_model empty{};
    empty.struct_size = std::min(size, sizeof empty);
    std::memcpy(static_cast<void*>(model), &empty, empty.struct_size);
}

extern "C" MOSARO_API mosaro_status mosaro_model_parse(const char* text, mosaro_model* model) {
    using namespace mosaro;
    return GuardedEntry([&] {
        if (text == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "text is null");
        if (model == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "model is null");
        RequireStructSize("model", "mosaro_model", model->struct_size, sizeof(mosaro_model), sizeof(mosaro_model));
        try {
            FromVariogramModel(ParseModel(text), model);
        } catch (const NotationError& e) {
            Refuse(MOSARO_ERROR_MODEL, e.what());
        } catch (const ModelError& e) {
            Refuse(MOSARO_ERROR_MODEL, e.what());
        }
        return MOSARO_OK;
    });
}

extern "C" MOSARO_API mosaro_status mosaro_model_format(const mosaro_model* model, char* text, size_t size) {
    using namespace mosaro;
    return GuardedEntry([&] {
        if (model == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "model is null");
        if (text == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "text is null");
        const std::string written = FormatModel(ToVariogramModel(*model, "model"));
        if (written.size() + 1 > size)
            Refuse(MOSARO_ERROR_TOO_LARGE,
                   FormatMessage("the model takes %zu bytes; size is %zu", written.size() + 1, size));
        std::memcpy(text, written.c_str(), written.size() + 1);
        return MOSARO_OK;
    });
}

extern "C" MOSARO_API double mosaro_model_semivariance(const mosaro_model* model, double dx, double dy) {
    double gamma = std::numeric_limits<double>::quiet_NaN();
    mosaro::GuardedEntry([&] {
        if (model == nullptr) mosaro::Refuse(MOSARO_ERROR_NULL_POINTER, "model is null");
        gamma = mosaro::ToVariogramModel(*model, "model").Semivariance(dx, dy);
        return MOSARO_OK;
    });
    return gamma;
}
