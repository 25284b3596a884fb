// fresnel I...: FresnelC[I] and FresnelS[I], 21 significant digits, one index a line.
// intensity --distance M --velocity V --temperature K T...: SpectralIntensity at
//   each time offset T (seconds) for a point star, camera column 0, one value a line.
#include <cstdio>
#include <string>
#include <vector>

#include "graph/fresnel.h"
#include "graph/spectral_model.h"
#include "platform/numtext.h"
#include "probe.h"

namespace {

int Fresnel(const std::vector<std::string>& args) {
    if (args.empty()) return ProbeFail("fresnel: give at least one index");
    std::vector<int> indices;
    for (const auto& a : args) {
        const auto i = numtext::ParseInt32(a);
        if (!i || *i < 0 || *i > fresnel::kFresnelLast)
            return ProbeFail("fresnel: index must be an integer 0..2400000: " + a);
        indices.push_back(*i);
    }
    const long double* c = fresnel::FresnelC();
    const long double* s = fresnel::FresnelS();
    for (int i : indices) std::printf("%.21Lg %.21Lg\n", c[i], s[i]);
    return 0;
}

int Intensity(const std::vector<std::string>& args) {
    diffraction::DiffractionModel model;
    std::vector<long double> times;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--distance" || a == "--velocity" || a == "--temperature") {
            if (i + 1 >= args.size()) return ProbeFail("intensity: " + a + " needs a value");
            const std::string& v = args[++i];
            if (a == "--distance") {
                const auto d = numtext::ParseInt(v);
                if (!d) return ProbeFail("intensity: distance is not an integer: " + v);
                model.ObjectDistance = *d;
            } else if (a == "--velocity") {
                const auto d = numtext::ParseFloat(v);
                if (!d) return ProbeFail("intensity: velocity is not a number: " + v);
                model.ShadowVelocity = model.ShadowVelocityPerInterval = *d;
            } else {
                const auto d = numtext::ParseInt32(v);
                if (!d) return ProbeFail("intensity: temperature is not an integer: " + v);
                model.StarTemperature = *d;
            }
            continue;
        }
        const auto t = numtext::ParseFloat(a);
        if (!t) return ProbeFail("intensity: time offset is not a number: " + a);
        times.push_back(*t);
    }
    if (times.empty()) return ProbeFail("intensity: give at least one time offset");
    model.InitSpectralModel();
    model.BuildFresnelScales();
    for (long double t : times) std::printf("%.21Lg\n", model.SpectralIntensity(t));
    return 0;
}

ProbeCommand regFresnel("fresnel", "I...", Fresnel);
ProbeCommand regIntensity("intensity", "--distance M --velocity V --temperature K T...", Intensity);

}  // namespace
