// Variogram models between R and the library: the notation is the one form
// that crosses, read and written by the library itself.
#include "bridge.h"

using namespace Rcpp;

// The model in the library's own writing (checks every parameter).
// [[Rcpp::export(name = ".model_normalise")]]
std::string ModelNormalise(std::string text) { return mosaro_r::FormatModel(mosaro_r::ParseModel(text, "model")); }

// The nugget and one row per structure: family (short name), psill, range,
// kappa (NaN for a family without a shape), azimuth, ratio.
// [[Rcpp::export(name = ".model_parts")]]
List ModelParts(std::string text) {
    const mosaro_model model = mosaro_r::ParseModel(text, "model");
    const int n = model.structure_count;
    CharacterVector family(n);
    NumericVector psill(n), range(n), kappa(n), azimuth(n), ratio(n);
    for (int i = 0; i < n; ++i) {
        const mosaro_structure& s = model.structures[i];
        family[i] = mosaro_family_name(s.family);
        psill[i] = s.partial_sill;
        range[i] = s.range;
        kappa[i] = s.shape;
        azimuth[i] = s.azimuth;
        ratio[i] = s.ratio;
    }
    return List::create(_["nugget"] = model.nugget,
                        _["structures"] = DataFrame::create(
                            _["family"] = family, _["psill"] = psill, _["range"] = range, _["kappa"] = kappa,
                            _["azimuth"] = azimuth, _["ratio"] = ratio, _["stringsAsFactors"] = false));
}

// [[Rcpp::export(name = ".library_version")]]
std::string LibraryVersion() { return mosaro_version(); }
