#include "variogram/ModelNotation.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <system_error>
#include <vector>

namespace mosaro {
namespace {

struct Value {
    bool present = false;
    bool start = false;  // written with ~
    double number = 0.0;
    std::size_t position = 0;
};

struct Term {
    std::size_t position = 0;
    const FamilyTraits* family = nullptr;
    Value sill, range, shape, azimuth, ratio;
    bool parentheses = false;
};

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::vector<Term> Terms() {
        std::vector<Term> terms;
        Skip();
        if (AtEnd()) throw NotationError(at_, "expected a term such as 0.5 Sph(100), found nothing");
        for (;;) {
            terms.push_back(ParseTerm());
            Skip();
            if (AtEnd()) break;
            if (text_[at_] != '+')
                throw NotationError(at_, "expected '+' or the end, found '" + std::string(1, text_[at_]) + "'");
            ++at_;
            Skip();
        }
        return terms;
    }

private:
    bool AtEnd() const { return at_ >= text_.size(); }
    void Skip() {
        while (!AtEnd() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
    }
    std::string Found() const { return AtEnd() ? "the end" : "'" + std::string(1, text_[at_]) + "'"; }

    bool StartsValue() const {
        if (AtEnd()) return false;
        const char c = text_[at_];
        return c == '~' || c == '-' || c == '.' || std::isdigit(static_cast<unsigned char>(c));
    }

    Value ParseValue() {
        Value v;
        v.position = at_;
        v.present = true;
        if (text_[at_] == '~') {
            v.start = true;
            ++at_;
            Skip();
        }
        const char* first = text_.data() + at_;
        const char* last = text_.data() + text_.size();
        const std::from_chars_result r = std::from_chars(first, last, v.number);
        if (r.ec != std::errc() || r.ptr == first) throw NotationError(at_, "expected a number, found " + Found());
        if (!std::isfinite(v.number)) throw NotationError(at_, "expected a finite number");
        at_ += static_cast<std::size_t>(r.ptr - first);
        return v;
    }

    Term ParseTerm() {
        Term term;
        term.position = at_;
        if (StartsValue()) {
            term.sill = ParseValue();
            Skip();
        }
        const std::size_t nameAt = at_;
        while (!AtEnd() && std::isalpha(static_cast<unsigned char>(text_[at_]))) ++at_;
        if (nameAt == at_)
            throw NotationError(at_, "expected a family name (" + KnownFamilyNames() + "), found " + Found());
        const std::string_view name = text_.substr(nameAt, at_ - nameAt);
        term.family = FindFamily(name);
        if (!term.family)
            throw NotationError(nameAt, "unknown family '" + std::string(name) + "'; known: " + KnownFamilyNames());
        Skip();
        if (AtEnd() || text_[at_] != '(') return term;
        term.parentheses = true;
        ++at_;
        bool positionalTaken = false;
        for (;;) {
            Skip();
            const std::size_t argumentAt = at_;
            if (StartsValue()) {
                if (positionalTaken) throw NotationError(at_, "a second value without a name: write name=value");
                positionalTaken = true;
                (term.family->family == ModelFamily::kPower ? term.shape : term.range) = ParseValue();
            } else {
                while (!AtEnd() && std::isalpha(static_cast<unsigned char>(text_[at_]))) ++at_;
                const std::string key(text_.substr(argumentAt, at_ - argumentAt));
                Skip();
                if (key.empty() || AtEnd() || text_[at_] != '=')
                    throw NotationError(
                        key.empty() ? argumentAt : at_,
                        "expected a value or name=value (range, kappa, exponent, azimuth, ratio), found " +
                            (key.empty() ? Found() : "'" + key + "'"));
                ++at_;
                Skip();
                if (!StartsValue())
                    throw NotationError(at_, "expected a number after '" + key + "=', found " + Found());
                Value* slot = nullptr;
                if (key == "range") slot = &term.range;
                else if (key == "kappa" || key == "exponent") slot = &term.shape;
                else if (key == "azimuth") slot = &term.azimuth;
                else if (key == "ratio") slot = &term.ratio;
                else
                    throw NotationError(
                        argumentAt, "unknown parameter '" + key + "'; known: range, kappa, exponent, azimuth, ratio");
                if (slot->present) throw NotationError(argumentAt, "'" + key + "' given twice");
                *slot = ParseValue();
                if ((slot == &term.azimuth || slot == &term.ratio) && slot->start)
                    throw NotationError(slot->position, "the anisotropy is not fitted: give it without ~");
            }
            Skip();
            if (AtEnd()) throw NotationError(at_, "expected ',' or ')', found the end");
            if (text_[at_] == ')') {
                ++at_;
                return term;
            }
            if (text_[at_] != ',') throw NotationError(at_, "expected ',' or ')', found " + Found());
            ++at_;
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

FitParameter ToParameter(const Value& v) {
    if (!v.present) return FitParameter::Free();
    return v.start ? FitParameter::StartingAt(v.number) : FitParameter::Fixed(v.number);
}

// The template of the terms, each structure checked where it was written.
FitTemplate ToTemplate(const std::vector<Term>& terms) {
    FitTemplate t;
    for (const Term& term : terms) {
        const ModelFamily family = term.family->family;
        if (family == ModelFamily::kNugget) {
            if (t.hasNugget) throw NotationError(term.position, "a second Nug term: a model has one nugget");
            if (term.parentheses)
                throw NotationError(term.position, "Nug takes no parentheses: write its sill before it, as in 0.1 Nug");
            t.hasNugget = true;
            t.nugget = ToParameter(term.sill);
            if (term.sill.present && !(term.sill.number >= 0.0))
                throw NotationError(term.sill.position,
                                    "the nugget must be >= 0, not " + ShortestNumber(term.sill.number));
            continue;
        }
        StructureTemplate s;
        s.family = family;
        s.partialSill = ToParameter(term.sill);
        s.range = ToParameter(term.range);
        s.shape = ToParameter(term.shape);
        if (term.range.present && term.family->range == RangeUse::kNone)
            throw NotationError(term.range.position, std::string(term.family->shortName) + " takes no range");
        if (term.shape.present && !term.family->takesShape)
            throw NotationError(term.shape.position, std::string(term.family->shortName) + " takes no kappa");
        if (term.azimuth.present) s.azimuth = term.azimuth.number;
        if (term.ratio.present) s.ratio = term.ratio.number;
        // Check what is written with the model's own rules, a stand-in for
        // what is left to the fit.
        Structure probe;
        probe.family = family;
        probe.partialSill = term.sill.present ? term.sill.number : 1.0;
        probe.range = term.family->range == RangeUse::kNone ? 0.0 : term.range.present ? term.range.number : 1.0;
        if (term.family->takesShape) probe.shape = term.shape.present ? term.shape.number : term.family->defaultShape;
        probe.azimuth = s.azimuth;
        probe.ratio = s.ratio;
        const std::string problem = StructureProblem(probe);
        if (!problem.empty()) throw NotationError(term.position, problem);
        t.structures.push_back(s);
    }
    return t;
}

void AppendValue(std::string& out, const FitParameter& p) {
    if (p.kind == FitParameter::Kind::kStartingAt) out += "~";
    out += ShortestNumber(p.value);
}

}  // namespace

NotationError::NotationError(std::size_t position, const std::string& message)
    : std::invalid_argument("at character " + std::to_string(position) + ": " + message), position_(position) {}

std::string ShortestNumber(double value) {
    char buffer[64];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, r.ptr);
}

VariogramModel ParseModel(std::string_view text) {
    const std::vector<Term> terms = Parser(text).Terms();
    for (const Term& term : terms) {
        if (term.family->family == ModelFamily::kNugget && term.parentheses)
            throw NotationError(term.position, "Nug takes no parentheses: write its sill before it, as in 0.1 Nug");
        for (const Value* v : {&term.sill, &term.range, &term.shape})
            if (v->present && v->start)
                throw NotationError(v->position, "a model takes no starts (~): that is for fit templates");
        if (!term.sill.present)
            throw NotationError(term.position, std::string("a sill must come before ") + term.family->shortName +
                                                   ", as in 0.5 " + term.family->shortName);
        if (term.family->range == RangeUse::kRequired && !term.range.present)
            throw NotationError(term.position, std::string(term.family->shortName) + " needs a range, as in " +
                                                   term.family->shortName + "(100)");
        if (term.family->family == ModelFamily::kLinear && !term.range.present)
            throw NotationError(term.position, "Lin needs a range: Lin(100) levels off at 100, Lin(0) never does");
        if (term.family->family == ModelFamily::kPower && !term.shape.present)
            throw NotationError(term.position, "Pow needs its exponent, as in Pow(1.5)");
    }
    const FitTemplate t = ToTemplate(terms);
    std::vector<Structure> structures;
    for (const StructureTemplate& s : t.structures) {
        Structure out;
        out.family = s.family;
        out.partialSill = s.partialSill.value;
        out.range = TraitsOf(s.family).range == RangeUse::kNone ? 0.0 : s.range.value;
        if (TraitsOf(s.family).takesShape && s.shape.kind != FitParameter::Kind::kFree) out.shape = s.shape.value;
        out.azimuth = s.azimuth;
        out.ratio = s.ratio;
        structures.push_back(out);
    }
    return VariogramModel(t.hasNugget ? t.nugget.value : 0.0, structures);
}

std::string FormatModel(const VariogramModel& model) {
    std::string out;
    if (model.Nugget() != 0.0 || model.Structures().empty()) out = ShortestNumber(model.Nugget()) + " Nug";
    for (const Structure& s : model.Structures()) {
        const FamilyTraits& traits = TraitsOf(s.family);
        if (!out.empty()) out += " + ";
        out += ShortestNumber(s.partialSill) + " " + traits.shortName + "(";
        if (s.family == ModelFamily::kPower) {
            out += ShortestNumber(EffectiveShape(s));
        } else {
            out += ShortestNumber(s.range);
            if (traits.takesShape) out += ", kappa=" + ShortestNumber(EffectiveShape(s));
        }
        if (s.ratio != 1.0) out += ", azimuth=" + ShortestNumber(s.azimuth) + ", ratio=" + ShortestNumber(s.ratio);
        out += ")";
    }
    return out;
}

FitTemplate ParseFitTemplate(std::string_view text) { return ToTemplate(Parser(text).Terms()); }

std::string FormatFitTemplate(const FitTemplate& t) {
    std::string out;
    if (t.hasNugget) {
        if (t.nugget.kind != FitParameter::Kind::kFree) {
            AppendValue(out, t.nugget);
            out += " ";
        }
        out += "Nug";
    }
    for (const StructureTemplate& s : t.structures) {
        const FamilyTraits& traits = TraitsOf(s.family);
        if (!out.empty()) out += " + ";
        if (s.partialSill.kind != FitParameter::Kind::kFree) {
            AppendValue(out, s.partialSill);
            out += " ";
        }
        out += traits.shortName;
        std::vector<std::string> arguments;
        if (traits.range != RangeUse::kNone && s.range.kind != FitParameter::Kind::kFree) {
            std::string a;
            AppendValue(a, s.range);
            arguments.push_back(a);
        }
        if (traits.takesShape && s.shape.kind != FitParameter::Kind::kFree) {
            std::string a = s.family == ModelFamily::kPower ? "exponent=" : "kappa=";
            AppendValue(a, s.shape);
            arguments.push_back(a);
        }
        if (s.ratio != 1.0) {
            arguments.push_back("azimuth=" + ShortestNumber(s.azimuth));
            arguments.push_back("ratio=" + ShortestNumber(s.ratio));
        }
        if (!arguments.empty()) {
            out += "(";
            for (std::size_t i = 0; i < arguments.size(); ++i) out += (i ? ", " : "") + arguments[i];
            out += ")";
        }
    }
    return out;
}

}  // namespace mosaro
