// The written form of variogram models and of fit templates, close to how
// gstat prints and reads them:
//
//   model  := term { "+" term }
//   term   := [value] family [ "(" argument { "," argument } ")" ]
//   argument := value                      the range (Pow: the exponent)
//            |  name "=" value             range, kappa, exponent, azimuth, ratio
//   value  := number | "~" number          (~: a start, fit templates only)
//
// The value before the family is its partial sill (the nugget's sill for
// Nug); family names are gstat's short names, in any case. Examples:
//   0.05 Nug + 0.59 Sph(897)
//   1.2 Mat(300, kappa=1.5)
//   0.6 Exp(500, azimuth=45, ratio=0.4)     gstat's anis = c(45, 0.4)
//   0.3 Pow(1.5)                           psill h^1.5
//   0.2 Lin(0)                             no sill: 0.2 h
// A model has at most one Nug term, which takes no parentheses; a term
// without a nugget leaves the nugget 0. FormatModel writes the nugget first
// (when it is not 0, or when there is nothing else), then the structures in
// order, every number in its shortest form that reads back to the same
// double, so that ParseModel(FormatModel(m)) is m.
//
// Fit templates use the same form with numbers left out: a parameter
// written is fixed, one left out is fitted from an automatic start, one
// written as ~value is fitted from that start. Anisotropy is always fixed
// (isotropic when left out). Examples:
//   Nug + Sph                  nugget, sill and range fitted
//   Nug + Sph + Exp            two nested structures
//   0.1 Nug + Sph(~900)        nugget fixed at 0.1, range fitted from 900
//   Nug + Mat(kappa=1.5)       Matern with kappa fixed; Mat alone fits kappa
//   Sph(azimuth=30, ratio=0.5) an anisotropic structure, anisotropy fixed
//
// Errors say where (the character position, from 0) and what was expected;
// an unknown family lists the known ones; a value out of bounds says which
// bounds.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "variogram/FitTemplate.h"
#include "variogram/VariogramModel.h"

namespace mosaro {

class NotationError : public std::invalid_argument {
public:
    NotationError(std::size_t position, const std::string& message);
    std::size_t Position() const { return position_; }

private:
    std::size_t position_;
};

VariogramModel ParseModel(std::string_view text);
std::string FormatModel(const VariogramModel& model);

FitTemplate ParseFitTemplate(std::string_view text);
std::string FormatFitTemplate(const FitTemplate& fitTemplate);

// The shortest decimal form of a double that reads back to it.
std::string ShortestNumber(double value);

}  // namespace mosaro
