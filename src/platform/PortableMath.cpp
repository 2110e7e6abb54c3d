#include "platform/PortableMath.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "platform/WideKernels.h"

// The vector helpers below are inlined within this file: the ABI GCC and
// clang warn about for vector arguments never crosses a call. (The one call
// out of the AVX2 function passes its vectors by reference, as clang
// requires where only the caller has the target.)
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace mosaro {
namespace {

// The helpers below take doubles or vectors of doubles (GCC's and clang's
// vector extension), lane by lane the same operations: a vector holds
// independent double-doubles, one a lane, each with the bits it would have
// alone.

// An unevaluated sum hi + lo with |lo| <= ulp(hi) / 2: about 106 bits.
template <class T>
struct PairOf {
    T hi;
    T lo;
};
using DD = PairOf<double>;

// x in every lane.
template <class T>
MOSARO_KERNEL_INLINE T Splat(double x) {
    if constexpr (std::is_same_v<T, double>) {
        return x;
    } else {
        T v;
        for (std::size_t l = 0; l < sizeof(T) / sizeof(double); ++l) v[l] = x;
        return v;
    }
}

// a + b exactly (Knuth).
template <class T>
MOSARO_KERNEL_INLINE PairOf<T> TwoSumOf(T a, T b) {
    const T s = a + b;
    const T bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// a + b exactly when |a| >= |b| (Dekker).
template <class T>
MOSARO_KERNEL_INLINE PairOf<T> FastTwoSumOf(T a, T b) {
    const T s = a + b;
    return {s, b - (s - a)};
}

// a * b exactly (Dekker, with Veltkamp's split into 26-bit halves): no fused
// multiply-add, which not every target has. |a|, |b| below 2^996.
template <class T>
MOSARO_KERNEL_INLINE PairOf<T> TwoProductOf(T a, T b) {
    constexpr double kSplitter = 134217729.0;  // 2^27 + 1
    const T ta = kSplitter * a;
    const T aHi = ta - (ta - a);
    const T aLo = a - aHi;
    const T tb = kSplitter * b;
    const T bHi = tb - (tb - b);
    const T bLo = b - bHi;
    const T p = a * b;
    return {p, ((aHi * bHi - p) + aHi * bLo + aLo * bHi) + aLo * bLo};
}

template <class T>
MOSARO_KERNEL_INLINE PairOf<T> AddOf(PairOf<T> a, PairOf<T> b) {
    PairOf<T> s = TwoSumOf(a.hi, b.hi);
    const PairOf<T> t = TwoSumOf(a.lo, b.lo);
    s = FastTwoSumOf(s.hi, s.lo + t.hi);
    return FastTwoSumOf(s.hi, s.lo + t.lo);
}

template <class T>
MOSARO_KERNEL_INLINE PairOf<T> MultiplyOf(PairOf<T> a, PairOf<T> b) {
    const PairOf<T> p = TwoProductOf(a.hi, b.hi);
    return FastTwoSumOf(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

template <class T>
MOSARO_KERNEL_INLINE PairOf<T> NegatedOf(PairOf<T> a) {
    return {-a.hi, -a.lo};
}

template <class T>
MOSARO_KERNEL_INLINE PairOf<T> DivideOf(PairOf<T> a, PairOf<T> b) {
    const T q1 = a.hi / b.hi;
    PairOf<T> r = AddOf(a, NegatedOf(MultiplyOf(b, {q1, T{}})));
    const T q2 = r.hi / b.hi;
    r = AddOf(r, NegatedOf(MultiplyOf(b, {q2, T{}})));
    const T q3 = r.hi / b.hi;
    return AddOf(FastTwoSumOf(q1, q2), {q3, T{}});
}

// The scalar forms, which the functions below call with braced pairs.
inline DD TwoSum(double a, double b) { return TwoSumOf(a, b); }
inline DD TwoProduct(double a, double b) { return TwoProductOf(a, b); }
inline DD Negated(DD a) { return NegatedOf(a); }
inline DD Add(DD a, DD b) { return AddOf(a, b); }
inline DD Multiply(DD a, DD b) { return MultiplyOf(a, b); }
inline DD Divide(DD a, DD b) { return DivideOf(a, b); }

// value * 2^exponent for |exponent| <= 2100, rounded once: the scale is
// applied in two exact halves, so that neither factor over- or underflows
// on its own (only the final product may, as the exact value does).
double Scaled(double value, int exponent) {
    auto power = [](int e) {
        const std::uint64_t bits = static_cast<std::uint64_t>(e + 1023) << 52;
        double p;
        std::memcpy(&p, &bits, sizeof p);
        return p;
    };
    const int first = exponent / 2;
    return value * power(first) * power(exponent - first);
}

// Constants to three or two doubles, and the tables of the series: each
// entry the value rounded to a double and the rest rounded to a double.
constexpr DD kLn2 = {0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56};
constexpr double kLn2Tail = 0x1.7b57a079a1934p-111;
constexpr DD kHalfPi = {0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54};

// atan(i / 32), i = 0..32.
constexpr DD kAtanOfNode[] = {
    {0x0.0p+0, 0x0.0p+0},
    {0x1.ffd55bba97625p-6, -0x1.5ec431444912cp-60},
    {0x1.ff55bb72cfdeap-5, -0x1.c934d86d23f1dp-60},
    {0x1.7ee182602f10fp-4, -0x1.cfb654c0c3d98p-58},
    {0x1.fd5ba9aac2f6ep-4, -0x1.cd37686760c17p-59},
    {0x1.3d6eee8c6626cp-3, 0x1.61a3b0ce9281bp-57},
    {0x1.7b97b4bce5b02p-3, 0x1.347b0b4f881cap-58},
    {0x1.b90d7529260a2p-3, 0x1.17b10d2e0e5abp-61},
    {0x1.f5b75f92c80ddp-3, 0x1.8ab6e3cf7afbdp-57},
    {0x1.18bf5a30bf178p-2, 0x1.30ca4748b1bf9p-57},
    {0x1.362773707ebccp-2, -0x1.963a544b672d8p-57},
    {0x1.530ad9951cd4ap-2, -0x1.2566480884082p-57},
    {0x1.6f61941e4def1p-2, -0x1.c63aae6f6e918p-56},
    {0x1.8b24d394a1b25p-2, 0x1.b6d0ba3748fa8p-56},
    {0x1.a64eec3cc23fdp-2, -0x1.24dec1b50b7ffp-56},
    {0x1.c0db4c94ec9f0p-2, -0x1.cc1ce70934c34p-56},
    {0x1.dac670561bb4fp-2, 0x1.a2b7f222f65e2p-56},
    {0x1.f40dd0b541418p-2, -0x1.a3992dc382a23p-57},
    {0x1.0657e94db30d0p-1, -0x1.d5b495f6349e6p-56},
    {0x1.1255d9bfbd2a9p-1, -0x1.2bdaee1c0ee35p-58},
    {0x1.1e00babdefeb4p-1, -0x1.928df287a668fp-58},
    {0x1.2958e59308e31p-1, -0x1.09e73b0c6c087p-56},
    {0x1.345f01cce37bbp-1, 0x1.1021137c71102p-55},
    {0x1.3f13fb89e96f4p-1, 0x1.ecf8b492644f0p-56},
    {0x1.4978fa3269ee1p-1, 0x1.2419a87f2a458p-56},
    {0x1.538f57b89061fp-1, -0x1.1bb74abda520cp-55},
    {0x1.5d58987169b18p-1, 0x1.0028e4bc5e7cap-57},
    {0x1.66d663923e087p-1, -0x1.6ea6febe8bbbap-56},
    {0x1.700a7c5784634p-1, -0x1.8c34d25aadef6p-56},
    {0x1.78f6bbd5d315ep-1, 0x1.406a089803740p-55},
    {0x1.819d0b7158a4dp-1, -0x1.bf76229d3b917p-56},
    {0x1.89ff5ff57f1f8p-1, -0x1.55b9a5e177a1bp-55},
    {0x1.921fb54442d18p-1, 0x1.1a62633145c07p-55},
};
constexpr DD kInverseFactorial[] = {
    {0x1.0000000000000p+0, 0x0.0p+0},
    {0x1.0000000000000p+0, 0x0.0p+0},
    {0x1.0000000000000p-1, 0x0.0p+0},
    {0x1.5555555555555p-3, 0x1.5555555555555p-57},
    {0x1.5555555555555p-5, 0x1.5555555555555p-59},
    {0x1.1111111111111p-7, 0x1.1111111111111p-63},
    {0x1.6c16c16c16c17p-10, -0x1.f49f49f49f49fp-65},
    {0x1.a01a01a01a01ap-13, 0x1.a01a01a01a01ap-73},
    {0x1.a01a01a01a01ap-16, 0x1.a01a01a01a01ap-76},
    {0x1.71de3a556c734p-19, -0x1.c154f8ddc6c00p-73},
    {0x1.27e4fb7789f5cp-22, 0x1.cbbc05b4fa99ap-76},
    {0x1.ae64567f544e4p-26, -0x1.c062e06d1f209p-80},
    {0x1.1eed8eff8d898p-29, -0x1.2aec959e14c06p-83},
    {0x1.6124613a86d09p-33, 0x1.f28e0cc748ebep-87},
    {0x1.93974a8c07c9dp-37, 0x1.05d6f8a2efd1fp-92},
    {0x1.ae7f3e733b81fp-41, 0x1.1d8656b0ee8cbp-97},
    {0x1.ae7f3e733b81fp-45, 0x1.1d8656b0ee8cbp-101},
    {0x1.952c77030ad4ap-49, 0x1.ac981465ddc6cp-103},
    {0x1.6827863b97d97p-53, 0x1.eec01221a8b0bp-107},
    {0x1.2f49b46814157p-57, 0x1.2650f61dbdcb4p-112},
    {0x1.e542ba4020225p-62, 0x1.ea72b4afe3c2fp-120},
    {0x1.71b8ef6dcf572p-66, -0x1.d043ae40c4647p-120},
    {0x1.0ce396db7f853p-70, -0x1.aebcdbd20331cp-124},
    {0x1.761b41316381ap-75, -0x1.3423c7d91404fp-130},
    {0x1.f2cf01972f578p-80, -0x1.9ada5fcc1ab14p-135},
};
constexpr DD kInverseOdd[] = {
    {0x1.0000000000000p+0, 0x0.0p+0},
    {0x1.5555555555555p-2, 0x1.5555555555555p-56},
    {0x1.999999999999ap-3, -0x1.999999999999ap-57},
    {0x1.2492492492492p-3, 0x1.2492492492492p-57},
    {0x1.c71c71c71c71cp-4, 0x1.c71c71c71c71cp-58},
    {0x1.745d1745d1746p-4, -0x1.745d1745d1746p-59},
    {0x1.3b13b13b13b14p-4, -0x1.3b13b13b13b14p-58},
    {0x1.1111111111111p-4, 0x1.1111111111111p-60},
    {0x1.e1e1e1e1e1e1ep-5, 0x1.e1e1e1e1e1e1ep-61},
    {0x1.af286bca1af28p-5, 0x1.af286bca1af28p-59},
    {0x1.8618618618618p-5, 0x1.8618618618618p-59},
    {0x1.642c8590b2164p-5, 0x1.642c8590b2164p-60},
    {0x1.47ae147ae147bp-5, -0x1.eb851eb851eb8p-61},
    {0x1.2f684bda12f68p-5, 0x1.2f684bda12f68p-59},
    {0x1.1a7b9611a7b96p-5, 0x1.1a7b9611a7b96p-61},
    {0x1.0842108421084p-5, 0x1.0842108421084p-60},
    {0x1.f07c1f07c1f08p-6, -0x1.f07c1f07c1f08p-61},
    {0x1.d41d41d41d41dp-6, 0x1.0750750750750p-60},
    {0x1.bacf914c1bad0p-6, -0x1.bacf914c1bad0p-60},
    {0x1.a41a41a41a41ap-6, 0x1.0690690690690p-60},
    {0x1.8f9c18f9c18fap-6, -0x1.f3831f3831f38p-61},
    {0x1.7d05f417d05f4p-6, 0x1.7d05f417d05f4p-62},
};

// log(i / 64), i = 45..91 (entry i - 45).
constexpr DD kLogOfNode[] = {
    {-0x1.68ac83e9c6a14p-2, -0x1.a64eadd740178p-58}, {-0x1.522ae0738a3d8p-2, 0x1.8f7e9b38a6979p-57},
    {-0x1.3c25277333184p-2, 0x1.2ad27e50a8ec6p-56},  {-0x1.269621134db92p-2, -0x1.e0efadd9db02bp-56},
    {-0x1.1178e8227e47cp-2, 0x1.0e63a5f01c691p-57},  {-0x1.f991c6cb3b379p-3, -0x1.f665066f980a2p-57},
    {-0x1.d1037f2655e7bp-3, -0x1.60629242471a2p-57}, {-0x1.a93ed3c8ad9e3p-3, -0x1.bcafa9de97203p-57},
    {-0x1.823c16551a3c2p-3, 0x1.1232ce70be781p-57},  {-0x1.5bf406b543db2p-3, 0x1.1f5b44c0df7e7p-61},
    {-0x1.365fcb0159016p-3, -0x1.7d411a5b944adp-58}, {-0x1.1178e8227e47cp-3, 0x1.0e63a5f01c691p-58},
    {-0x1.da727638446a2p-4, -0x1.401fa71733019p-58}, {-0x1.9335e5d594989p-4, 0x1.478a85704ccb7p-58},
    {-0x1.4d3115d207eacp-4, -0x1.769f42c7842ccp-58}, {-0x1.08598b59e3a07p-4, 0x1.dd7009902bf32p-58},
    {-0x1.894aa149fb343p-5, -0x1.a8be97660a23dp-60}, {-0x1.0415d89e74444p-5, -0x1.c05cf1d753622p-59},
    {-0x1.0205658935847p-6, -0x1.27c8e8416e71fp-60}, {0x0.0p+0, 0x0.0p+0},
    {0x1.fc0a8b0fc03e4p-7, -0x1.83092c59642a1p-62},  {0x1.f829b0e783300p-6, 0x1.33e3f04f1ef23p-60},
    {0x1.77458f632dcfcp-5, 0x1.18d3ca87b9296p-59},   {0x1.f0a30c01162a6p-5, 0x1.85f325c5bbacdp-59},
    {0x1.341d7961bd1d1p-4, -0x1.b599f227becbbp-58},  {0x1.6f0d28ae56b4cp-4, -0x1.906d99184b992p-58},
    {0x1.a926d3a4ad563p-4, 0x1.942f48aa70ea9p-58},   {0x1.e27076e2af2e6p-4, -0x1.61578001e0162p-60},
    {0x1.0d77e7cd08e59p-3, 0x1.9a5dc5e9030acp-57},   {0x1.29552f81ff523p-3, 0x1.301771c407dbfp-57},
    {0x1.44d2b6ccb7d1ep-3, 0x1.9f4f6543e1f88p-57},   {0x1.5ff3070a793d4p-3, -0x1.bc60efafc6f6ep-58},
    {0x1.7ab890210d909p-3, 0x1.be36b2d6a0608p-59},   {0x1.9525a9cf456b4p-3, 0x1.d904c1d4e2e26p-57},
    {0x1.af3c94e80bff3p-3, -0x1.398cff3641985p-58},  {0x1.c8ff7c79a9a22p-3, -0x1.4f689f8434012p-57},
    {0x1.e27076e2af2e6p-3, -0x1.61578001e0162p-59},  {0x1.fb9186d5e3e2bp-3, -0x1.caaae64f21acbp-57},
    {0x1.0a324e27390e3p-2, 0x1.7dcfde8061c03p-56},   {0x1.1675cababa60ep-2, 0x1.ce63eab883717p-61},
    {0x1.22941fbcf7966p-2, -0x1.76f5eb09628afp-56},  {0x1.2e8e2bae11d31p-2, -0x1.8f4cdb95ebdf9p-56},
    {0x1.3a64c556945eap-2, -0x1.c68651945f97cp-57},  {0x1.4618bc21c5ec2p-2, 0x1.f42decdeccf1dp-56},
    {0x1.51aad872df82dp-2, 0x1.3927ac19f55e3p-59},   {0x1.5d1bdbf5809cap-2, 0x1.4236383dc7fe1p-56},
    {0x1.686c81e9b14afp-2, -0x1.ddea0f7f58e3dp-57},
};
// 2^(j / 64), j = 0..63.
constexpr DD kPowerOfTwo64[] = {
    {0x1.0000000000000p+0, 0x0.0p+0},
    {0x1.02c9a3e778061p+0, -0x1.19083535b085dp-56},
    {0x1.059b0d3158574p+0, 0x1.d73e2a475b465p-55},
    {0x1.0874518759bc8p+0, 0x1.186be4bb284ffp-57},
    {0x1.0b5586cf9890fp+0, 0x1.8a62e4adc610bp-54},
    {0x1.0e3ec32d3d1a2p+0, 0x1.03a1727c57b53p-59},
    {0x1.11301d0125b51p+0, -0x1.6c51039449b3ap-54},
    {0x1.1429aaea92de0p+0, -0x1.32fbf9af1369ep-54},
    {0x1.172b83c7d517bp+0, -0x1.19041b9d78a76p-55},
    {0x1.1a35beb6fcb75p+0, 0x1.e5b4c7b4968e4p-55},
    {0x1.1d4873168b9aap+0, 0x1.e016e00a2643cp-54},
    {0x1.2063b88628cd6p+0, 0x1.dc775814a8495p-55},
    {0x1.2387a6e756238p+0, 0x1.9b07eb6c70573p-54},
    {0x1.26b4565e27cddp+0, 0x1.2bd339940e9d9p-55},
    {0x1.29e9df51fdee1p+0, 0x1.612e8afad1255p-55},
    {0x1.2d285a6e4030bp+0, 0x1.0024754db41d5p-54},
    {0x1.306fe0a31b715p+0, 0x1.6f46ad23182e4p-55},
    {0x1.33c08b26416ffp+0, 0x1.32721843659a6p-54},
    {0x1.371a7373aa9cbp+0, -0x1.63aeabf42eae2p-54},
    {0x1.3a7db34e59ff7p+0, -0x1.5e436d661f5e3p-56},
    {0x1.3dea64c123422p+0, 0x1.ada0911f09ebcp-55},
    {0x1.4160a21f72e2ap+0, -0x1.ef3691c309278p-58},
    {0x1.44e086061892dp+0, 0x1.89b7a04ef80d0p-59},
    {0x1.486a2b5c13cd0p+0, 0x1.3c1a3b69062f0p-56},
    {0x1.4bfdad5362a27p+0, 0x1.d4397afec42e2p-56},
    {0x1.4f9b2769d2ca7p+0, -0x1.4b309d25957e3p-54},
    {0x1.5342b569d4f82p+0, -0x1.07abe1db13cadp-55},
    {0x1.56f4736b527dap+0, 0x1.9bb2c011d93adp-54},
    {0x1.5ab07dd485429p+0, 0x1.6324c054647adp-54},
    {0x1.5e76f15ad2148p+0, 0x1.ba6f93080e65ep-54},
    {0x1.6247eb03a5585p+0, -0x1.383c17e40b497p-54},
    {0x1.6623882552225p+0, -0x1.bb60987591c34p-54},
    {0x1.6a09e667f3bcdp+0, -0x1.bdd3413b26456p-54},
    {0x1.6dfb23c651a2fp+0, -0x1.bbe3a683c88abp-57},
    {0x1.71f75e8ec5f74p+0, -0x1.16e4786887a99p-55},
    {0x1.75feb564267c9p+0, -0x1.0245957316dd3p-54},
    {0x1.7a11473eb0187p+0, -0x1.41577ee04992fp-55},
    {0x1.7e2f336cf4e62p+0, 0x1.05d02ba15797ep-56},
    {0x1.82589994cce13p+0, -0x1.d4c1dd41532d8p-54},
    {0x1.868d99b4492edp+0, -0x1.fc6f89bd4f6bap-54},
    {0x1.8ace5422aa0dbp+0, 0x1.6e9f156864b27p-54},
    {0x1.8f1ae99157736p+0, 0x1.5cc13a2e3976cp-55},
    {0x1.93737b0cdc5e5p+0, -0x1.75fc781b57ebcp-57},
    {0x1.97d829fde4e50p+0, -0x1.d185b7c1b85d1p-54},
    {0x1.9c49182a3f090p+0, 0x1.c7c46b071f2bep-56},
    {0x1.a0c667b5de565p+0, -0x1.359495d1cd533p-54},
    {0x1.a5503b23e255dp+0, -0x1.d2f6edb8d41e1p-54},
    {0x1.a9e6b5579fdbfp+0, 0x1.0fac90ef7fd31p-54},
    {0x1.ae89f995ad3adp+0, 0x1.7a1cd345dcc81p-54},
    {0x1.b33a2b84f15fbp+0, -0x1.2805e3084d708p-57},
    {0x1.b7f76f2fb5e47p+0, -0x1.5584f7e54ac3bp-56},
    {0x1.bcc1e904bc1d2p+0, 0x1.23dd07a2d9e84p-55},
    {0x1.c199bdd85529cp+0, 0x1.11065895048ddp-55},
    {0x1.c67f12e57d14bp+0, 0x1.2884dff483cadp-54},
    {0x1.cb720dcef9069p+0, 0x1.503cbd1e949dbp-56},
    {0x1.d072d4a07897cp+0, -0x1.cbc3743797a9cp-54},
    {0x1.d5818dcfba487p+0, 0x1.2ed02d75b3707p-55},
    {0x1.da9e603db3285p+0, 0x1.c2300696db532p-54},
    {0x1.dfc97337b9b5fp+0, -0x1.1a5cd4f184b5cp-54},
    {0x1.e502ee78b3ff6p+0, 0x1.39e8980a9cc8fp-55},
    {0x1.ea4afa2a490dap+0, -0x1.e9c23179c2893p-54},
    {0x1.efa1bee615a27p+0, 0x1.dc7f486a4b6b0p-54},
    {0x1.f50765b6e4540p+0, 0x1.9d3e12dd8a18bp-54},
    {0x1.fa7c1819e90d8p+0, 0x1.74853f3a5931ep-55},
};

// Sum of table[k] * z^k for k < count, by Horner's rule.
template <class T>
MOSARO_KERNEL_INLINE PairOf<T> SeriesOf(const DD* table, int count, PairOf<T> z) {
    const auto entry = [&](int k) { return PairOf<T>{Splat<T>(table[k].hi), Splat<T>(table[k].lo)}; };
    PairOf<T> sum = entry(count - 1);
    for (int k = count - 2; k >= 0; --k) sum = AddOf(MultiplyOf(sum, z), entry(k));
    return sum;
}
inline DD Series(const DD* table, int count, DD z) { return SeriesOf(table, count, z); }

// log(m 2^k) for m in [91.5/128, 91.5/64), c the nearest multiple of 1/64
// to m, and log c: log m = log c + 2 atanh s with s = (m - c) / (m + c),
// |s| < 2^-7.4, whose odd series converges in 8 terms. m - c is exact
// (Sterbenz), m + c held exactly. Near x = 1 the node is 1 and k is 0:
// nothing cancels.
template <class T>
MOSARO_KERNEL_INLINE PairOf<T> LogarithmOfReduced(const T& m, const T& c, const T& k, const PairOf<T>& logC) {
    const PairOf<T> s = DivideOf(PairOf<T>{m - c, T{}}, TwoSumOf(m, c));
    const PairOf<T> series = MultiplyOf(s, SeriesOf(kInverseOdd, 8, MultiplyOf(s, s)));
    const PairOf<T> logM = AddOf(logC, {2.0 * series.hi, 2.0 * series.lo});
    const PairOf<T> eLn2 =
        AddOf(AddOf(TwoProductOf(k, Splat<T>(kLn2.hi)), TwoProductOf(k, Splat<T>(kLn2.lo))), {k * kLn2Tail, T{}});
    return AddOf(eLn2, logM);
}

// log x as a double-double, x positive and finite: NaturalLogarithm before
// its last rounding.
DD LogarithmDD(double x) {
    // x = m 2^e with m in [91.5/128, 91.5/64); subnormals are first made
    // normal.
    int e = 0;
    if (x < 0x1p-1022) {
        x *= 0x1p54;
        e = -54;
    }
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    e += static_cast<int>(bits >> 52) - 1023;
    bits = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1023} << 52);
    double m;
    std::memcpy(&m, &bits, sizeof m);
    if (m >= 91.5 / 64.0) {
        m *= 0.5;
        ++e;
    }
    const int node = static_cast<int>(m * 64.0 + 0.5);
    return LogarithmOfReduced(m, node / 64.0, static_cast<double>(e), kLogOfNode[node - 45]);
}

#ifdef MOSARO_WIDE_KERNELS
typedef double FourDoubles __attribute__((vector_size(32)));
typedef long long FourIntegers __attribute__((vector_size(32)));

// The logarithms of four positive normal finite doubles, one a lane, as
// LogarithmDD reduces and computes each.
__attribute__((target("avx2"))) void LogarithmsOfFour(const double* x, double* out) {
    FourIntegers bits;
    std::memcpy(&bits, x, sizeof bits);
    FourIntegers e = (bits >> 52) - 1023;
    bits = (bits & ((1LL << 52) - 1)) | (1023LL << 52);
    FourDoubles m;
    std::memcpy(&m, &bits, sizeof m);
    const FourIntegers high = m >= 91.5 / 64.0;  // every bit set where it holds
    m = high ? m * 0.5 : m;
    e = e - high;
    const FourIntegers node = __builtin_convertvector(m * 64.0 + 0.5, FourIntegers);
    PairOf<FourDoubles> logC;
    for (std::size_t l = 0; l < 4; ++l) {
        logC.hi[l] = kLogOfNode[node[l] - 45].hi;
        logC.lo[l] = kLogOfNode[node[l] - 45].lo;
    }
    const PairOf<FourDoubles> log = LogarithmOfReduced(m, __builtin_convertvector(node, FourDoubles) / 64.0,
                                                       __builtin_convertvector(e, FourDoubles), logC);
    std::memcpy(out, &log.hi, sizeof log.hi);
}
#endif

}  // namespace

double Cube(double x) {
    // Outside this range a product's rounding error would leave the normal
    // doubles and be lost, or the cube overflows; x * x * x is as good there.
    const double magnitude = std::fabs(x);
    if (!(magnitude >= 0x1p-300 && magnitude <= 0x1p340)) return x * x * x;
    const DD square = TwoProduct(x, x);
    return Add(TwoProduct(square.hi, x), TwoProduct(square.lo, x)).hi;
}

double ArcTangent(double x) {
    if (std::isnan(x) || x == 0.0) return x;  // keeps the sign of a zero
    const double magnitude = std::fabs(x);
    DD angle;
    if (magnitude > 0x1p100) {
        // pi/2 - 1/x and beyond: within far less than half a unit of pi/2.
        angle = kHalfPi;
    } else {
        // atan x = pi/2 - atan(1/x) beyond 1, then atan t = atan c + atan u
        // with c the nearest multiple of 1/32 and u = (t - c) / (1 + t c),
        // |u| <= 1/64, whose odd series converges in 11 terms.
        const bool inverted = magnitude > 1.0;
        const DD t = inverted ? Divide({1.0, 0.0}, {magnitude, 0.0}) : DD{magnitude, 0.0};
        const int node = static_cast<int>(t.hi * 32.0 + 0.5);
        const double c = node / 32.0;
        const DD u = Divide(Add(t, {-c, 0.0}), Add({1.0, 0.0}, Multiply(t, {c, 0.0})));
        DD alternating[11];
        for (int k = 0; k < 11; ++k) alternating[k] = k % 2 == 0 ? kInverseOdd[k] : Negated(kInverseOdd[k]);
        angle = Add(kAtanOfNode[node], Multiply(u, Series(alternating, 11, Multiply(u, u))));
        if (inverted) angle = Add(kHalfPi, Negated(angle));
    }
    return x < 0.0 ? -angle.hi : angle.hi;
}

double NaturalLogarithm(double x) {
    if (std::isnan(x)) return x;
    if (x < 0.0) return std::numeric_limits<double>::quiet_NaN();
    if (x == 0.0) return -std::numeric_limits<double>::infinity();
    if (std::isinf(x)) return x;
    return LogarithmDD(x).hi;
}

void NaturalLogarithms(const double* x, double* out, std::size_t count) {
#ifdef MOSARO_WIDE_KERNELS
    if (ProcessorHasAvx2()) {
        // Four at a time, the last few beside ones; a group holding a value
        // that is not a positive normal finite double goes one by one.
        for (std::size_t i = 0; i < count; i += 4) {
            const std::size_t n = std::min<std::size_t>(4, count - i);
            double group[4] = {1.0, 1.0, 1.0, 1.0}, log[4];
            bool reduced = true;
            for (std::size_t l = 0; l < n; ++l) {
                group[l] = x[i + l];
                reduced = reduced && group[l] >= 0x1p-1022 && group[l] <= std::numeric_limits<double>::max();
            }
            if (reduced) LogarithmsOfFour(group, log);
            for (std::size_t l = 0; l < n; ++l) out[i + l] = reduced ? log[l] : NaturalLogarithm(x[i + l]);
        }
        return;
    }
#endif
    for (std::size_t i = 0; i < count; ++i) out[i] = NaturalLogarithm(x[i]);
}

double NaturalExponential(double x) {
    if (std::isnan(x)) return x;
    if (x > 709.8) return std::numeric_limits<double>::infinity();
    if (x < -745.2) return 0.0;
    // x = (k/64) ln 2 + r, |r| <= ln(2)/128, so e^x = 2^(k div 64)
    // 2^((k mod 64)/64) e^r; ln 2 to three doubles, so that r keeps its bits
    // even where x lies close to a multiple of ln(2)/64. e^r by its Taylor
    // series to degree 11, whose next term is below 2^-110.
    const double k = std::floor(x * 0x1.71547652b82fep+6 + 0.5);
    DD r = Add({x, 0.0}, Negated(TwoProduct(k, kLn2.hi * 0x1p-6)));
    r = Add(r, Negated(TwoProduct(k, kLn2.lo * 0x1p-6)));
    r = Add(r, {-k * (kLn2Tail * 0x1p-6), 0.0});
    const long long steps = static_cast<long long>(k);
    const int fraction = static_cast<int>(steps & 63);
    const DD power = Multiply(kPowerOfTwo64[fraction], Series(kInverseFactorial, 12, r));
    return Scaled(power.hi, static_cast<int>((steps - fraction) / 64));
}

namespace {

// 1 / Gamma(z) = sum of c_k z^k, k = 1..33 (entry k - 1): enough for
// |z| <= 1/2 to 2^-110.
constexpr DD kReciprocalGammaSeries[] = {
    {0x1.0000000000000p+0, 0x0.0p+0},
    {0x1.2788cfc6fb619p-1, -0x1.6cb90701fbfabp-58},
    {-0x1.4fcf4026afa2ep-1, 0x1.8a3db7a90c42ap-56},
    {-0x1.5815e8fa27048p-5, 0x1.b85ea59bc3638p-60},
    {0x1.5512320b43fbep-3, 0x1.77e9bfd84d0f8p-57},
    {-0x1.59af103c34092p-5, -0x1.ef8da0241c465p-59},
    {-0x1.3b4af28483e21p-7, -0x1.38dbcf40c139bp-61},
    {0x1.d919c527f60b2p-8, -0x1.a91714b11611fp-62},
    {-0x1.317112ce3a2a8p-10, 0x1.0b48922be53b9p-64},
    {-0x1.c364fe6f1563dp-13, 0x1.6707f71f86f2ep-69},
    {0x1.0c8a78cd9f9d2p-13, -0x1.6193e5e682992p-67},
    {-0x1.51ce8af47eabep-16, 0x1.26de8c501cb48p-75},
    {-0x1.4fad41fc34fbbp-20, -0x1.01776ab160dc8p-75},
    {0x1.302509dbc0de3p-20, -0x1.bf09003481b1ap-75},
    {-0x1.b9986666c225dp-23, -0x1.d12e45de59d01p-79},
    {0x1.a44b7ba22d629p-28, -0x1.4d6f19c81365fp-82},
    {0x1.57bc3fc384334p-28, -0x1.30a82205f48c5p-86},
    {-0x1.44b4cedca388fp-30, -0x1.f1c4c0ce1c9c5p-84},
    {0x1.cae7675c18607p-34, -0x1.d04082c7c66aap-89},
    {0x1.11d065bfaf067p-37, 0x1.16b58cf85bbf4p-91},
    {-0x1.0423bac8ca3fbp-38, 0x1.56e661d0c83b0p-92},
    {0x1.1f20151323cd0p-41, 0x1.c8f6862a8bddcp-96},
    {-0x1.72cb88ea5ae6ep-46, -0x1.de95486d20bfdp-100},
    {-0x1.815f72a05f16fp-48, -0x1.a4cb318673048p-103},
    {0x1.6198491a83bcdp-50, -0x1.07669bbb14734p-104},
    {-0x1.10613dde57a89p-53, 0x1.0ac528c8febccp-107},
    {0x1.5e3fee81de0eap-60, -0x1.bf04525509a98p-115},
    {0x1.a0dc770fb8a4ap-60, -0x1.92dc0de693e1ep-114},
    {-0x1.0f635344a29eap-62, 0x1.c5c86e6ee7520p-120},
    {0x1.43d79a4b90ce8p-66, 0x1.1cc98752f9af2p-124},
    {0x1.435a100c67b42p-73, 0x1.cc8bd883afb88p-129},
    {-0x1.f0aee5efb2fccp-73, 0x1.41119dde8b2c8p-128},
    {0x1.089cd2aab3897p-75, -0x1.f245358d858b4p-129},
};
constexpr int kReciprocalGammaTerms = 33;

// pi/2 to four doubles, the first three of them the two of kHalfPi and its
// rounding remainder: k (P1 + P2 + P3 + P4) for integral k.
constexpr double kHalfPi3 = -0x1.f1976b7ed8fbcp-110;
constexpr double kHalfPi4 = 0x1.4cf98e804177dp-164;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
constexpr DD kPi = {0x1.921fb54442d18p+1, 0x1.1a62633145c07p-53};

// e^x = mantissa * 2^exponent for a double-double x with |x.hi| <= 746, as
// NaturalExponential computes it, the argument's low part added to the
// reduced argument.
struct ScaledDD {
    DD mantissa;
    int exponent;
};
ScaledDD ExponentialDD(DD x) {
    const double k = std::floor(x.hi * 0x1.71547652b82fep+6 + 0.5);
    DD r = Add(x, Negated(TwoProduct(k, kLn2.hi * 0x1p-6)));
    r = Add(r, Negated(TwoProduct(k, kLn2.lo * 0x1p-6)));
    r = Add(r, {-k * (kLn2Tail * 0x1p-6), 0.0});
    const long long steps = static_cast<long long>(k);
    const int fraction = static_cast<int>(steps & 63);
    return {Multiply(kPowerOfTwo64[fraction], Series(kInverseFactorial, 12, r)),
            static_cast<int>((steps - fraction) / 64)};
}

// e^x rounded to double for a double-double x (overflow and underflow as
// NaturalExponential's).
double ExponentialOfDD(DD x) {
    if (x.hi > 709.8) return std::numeric_limits<double>::infinity();
    if (x.hi < -745.2) return 0.0;
    const ScaledDD e = ExponentialDD(x);
    return Scaled(e.mantissa.hi, e.exponent);
}

// x = q pi/2 + r with |r| about pi/4 at most; q in 0..3.
struct ReducedAngle {
    int quadrant;
    DD r;
};
ReducedAngle ReduceByHalfPi(double x) {
    if (std::fabs(x) <= 0.78539816339744828) return {0, {x, 0.0}};
    // Past 2^40 the four doubles of pi/2 no longer leave the remainder its
    // bits; the angle is first folded (exactly, deterministically) into one
    // turn of the double nearest 2 pi, so that the result is still the same
    // everywhere and bounded, though no longer the sine of x.
    if (std::fabs(x) > 0x1p40) x = std::fmod(x, 0x1.921fb54442d18p+2);
    const double k = std::floor(x * kTwoOverPi + 0.5);
    // k P1 is exact as a pair, and x less its high part is exact (Sterbenz):
    // nothing of x is lost before the small terms are taken off.
    const DD p1 = TwoProduct(k, kHalfPi.hi);
    DD r = TwoSum(x - p1.hi, -p1.lo);
    r = Add(r, Negated(TwoProduct(k, kHalfPi.lo)));
    r = Add(r, Negated(TwoProduct(k, kHalfPi3)));
    r = Add(r, {-k * kHalfPi4, 0.0});
    int quadrant = static_cast<int>(std::fmod(k, 4.0));
    if (quadrant < 0) quadrant += 4;
    return {quadrant, r};
}

// sin r for |r| <= about pi/4: r + r^3 P(r^2) with the Taylor terms to r^19
// in double (their sum is below r/6, so its rounding costs a fraction of a
// unit), the low part of r entering through its first-order term.
double SineKernel(DD r) {
    const double z = r.hi * r.hi;
    double p = -kInverseFactorial[19].hi;
    for (int k = 17; k >= 3; k -= 2)
        p = p * z + ((k / 2) % 2 == 0 ? kInverseFactorial[k].hi : -kInverseFactorial[k].hi);
    return r.hi + (r.lo * (1.0 - 0.5 * z) + r.hi * z * p);
}

// cos r for |r| <= about pi/4: 1 - r^2/2 exactly as a pair, the Taylor
// terms from r^4 to r^20 in double, the low part of r to first order.
double CosineKernel(DD r) {
    const DD square = TwoProduct(r.hi, r.hi);
    const DD head = TwoSum(1.0, -0.5 * square.hi);
    const double z = square.hi;
    double p = kInverseFactorial[20].hi;
    for (int k = 18; k >= 4; k -= 2)
        p = p * z + ((k / 2) % 2 == 0 ? kInverseFactorial[k].hi : -kInverseFactorial[k].hi);
    return head.hi + (head.lo + (z * z * p - 0.5 * square.lo - r.hi * r.lo));
}

// 1 / Gamma(1 + z) = sum of c_k z^(k-1), |z| <= 1/2, in double-double.
DD ReciprocalGammaOfOnePlus(double z) {
    DD sum = kReciprocalGammaSeries[kReciprocalGammaTerms - 1];
    for (int k = kReciprocalGammaTerms - 2; k >= 0; --k) sum = Add(Multiply(sum, {z, 0.0}), kReciprocalGammaSeries[k]);
    return sum;
}

// K_mu(x) and K_(mu+1)(x) for |mu| <= 1/2, and (x/2)^mu.
struct BesselPair {
    double k0;
    double k1;
    double power;
};

// Temme's series (x <= 1; nearer 2 it loses more bits than the fraction).
// With Gamma1 = (1/Gamma(1-mu) - 1/Gamma(1+mu)) / (2 mu) and Gamma2 = (1/Gamma(1-mu) + 1/Gamma(1+mu)) / 2 from the
// series of 1/Gamma (the odd and the even coefficients, free of the cancellation at mu = 0), sigma = mu log(2/x):
//   f0 = mu pi / sin(mu pi) (Gamma1 cosh sigma + Gamma2 log(2/x) sinh(sigma) / sigma),
//   p0 = (x/2)^-mu Gamma(1+mu) / 2, q0 = (x/2)^mu Gamma(1-mu) / 2,
//   f_i = (i f_(i-1) + p_(i-1) + q_(i-1)) / (i^2 - mu^2), p_i = p_(i-1) / (i - mu),
//   q_i = q_(i-1) / (i + mu), c_i = (x^2/4)^i / i!,
//   K_mu = sum c_i f_i, K_(mu+1) = (2/x) sum c_i (p_i - i f_i).
BesselPair TemmeSeries(double mu, double x) {
    const double half = 0.5 * x;
    const DD logTwoOverX = Negated(LogarithmDD(half));
    const DD sigmaDD = Multiply(logTwoOverX, {mu, 0.0});
    const double sigma = sigmaDD.hi;
    const double piMu = kPi.hi * mu;
    const double fact = mu == 0.0 ? 1.0 : piMu / Sine(piMu);
    double sinhOverSigma;
    if (std::fabs(sigma) < 0.5) {
        const double s2 = sigma * sigma;
        double series = kInverseFactorial[17].hi;
        for (int k = 15; k >= 1; k -= 2) series = series * s2 + kInverseFactorial[k].hi;
        sinhOverSigma = series;
    } else {
        const double e = ExponentialOfDD(sigmaDD);
        sinhOverSigma = (e - 1.0 / e) / (2.0 * sigma);
    }
    const double powerInverse = ExponentialOfDD(sigmaDD);  // (x/2)^-mu
    const double coshSigma = 0.5 * (powerInverse + 1.0 / powerInverse);
    const double mu2 = mu * mu;
    double gamma1 = 0.0;
    // Entry i holds c_(i+1): Gamma1 takes the even k (odd i), Gamma2 the odd.
    for (int i = kReciprocalGammaTerms - 2; i >= 1; i -= 2) gamma1 = gamma1 * mu2 + kReciprocalGammaSeries[i].hi;
    gamma1 = -gamma1;
    double gamma2 = 0.0;
    for (int i = kReciprocalGammaTerms - 1; i >= 0; i -= 2) gamma2 = gamma2 * mu2 + kReciprocalGammaSeries[i].hi;
    const double reciprocalGammaPlus = gamma2 - mu * gamma1;   // 1 / Gamma(1 + mu)
    const double reciprocalGammaMinus = gamma2 + mu * gamma1;  // 1 / Gamma(1 - mu)
    double f = fact * (gamma1 * coshSigma + gamma2 * sinhOverSigma * logTwoOverX.hi);
    double p = 0.5 * powerInverse / reciprocalGammaPlus;
    double q = 0.5 / (powerInverse * reciprocalGammaMinus);
    double c = 1.0;
    const double quarterSquare = half * half;
    double sum = f;
    double sum1 = p;
    for (int i = 1; i < 500; ++i) {
        const double di = static_cast<double>(i);
        f = (di * f + p + q) / (di * di - mu2);
        c *= quarterSquare / di;
        p /= di - mu;
        q /= di + mu;
        const double term = c * f;
        sum += term;
        sum1 += c * (p - di * f);
        if (std::fabs(term) < std::fabs(sum) * 0x1p-55) break;
    }
    return {sum, sum1 * (2.0 / x), 1.0 / powerInverse};
}

// Steed's continued fraction (x > 1), in the form of Thompson and Barnett
// that gives K_mu and K_(mu+1) together:
//   K_mu = sqrt(pi / (2x)) e^-x / s, K_(mu+1) = K_mu (mu + x + 1/2 - a1 h) / x.
BesselPair SteedFraction(double mu, double x) {
    double b = 2.0 * (1.0 + x);
    double d = 1.0 / b;
    double h = d;
    double delta = d;
    double q1 = 0.0;
    double q2 = 1.0;
    const double a1 = 0.25 - mu * mu;
    double q = a1;
    double c = a1;
    double a = -a1;
    double s = 1.0 + q * delta;
    for (int i = 2; i < 100000; ++i) {
        const double di = static_cast<double>(i);
        a -= 2.0 * (di - 1.0);
        c = -a * c / di;
        const double qNext = (q1 - b * q2) / a;
        q1 = q2;
        q2 = qNext;
        q += c * qNext;
        b += 2.0;
        d = 1.0 / (b + a * d);
        delta = (b * d - 1.0) * delta;
        h += delta;
        const double step = q * delta;
        s += step;
        if (std::fabs(step) < std::fabs(s) * 0x1p-55) break;
    }
    h *= a1;
    const double kMu = std::sqrt(kPi.hi / (2.0 * x)) * NaturalExponential(-x) / s;
    return {kMu, kMu * (mu + x + 0.5 - h) / x, Power(0.5 * x, mu)};
}

BesselPair BesselPairOfOrder(double mu, double x) { return x <= 1.0 ? TemmeSeries(mu, x) : SteedFraction(mu, x); }

}  // namespace

double Sine(double x) {
    if (std::isnan(x) || std::isinf(x)) return std::numeric_limits<double>::quiet_NaN();
    if (x == 0.0) return x;
    const ReducedAngle a = ReduceByHalfPi(x);
    switch (a.quadrant) {
        case 0: return SineKernel(a.r);
        case 1: return CosineKernel(a.r);
        case 2: return -SineKernel(a.r);
        default: return -CosineKernel(a.r);
    }
}

double Cosine(double x) {
    if (std::isnan(x) || std::isinf(x)) return std::numeric_limits<double>::quiet_NaN();
    const ReducedAngle a = ReduceByHalfPi(x);
    switch (a.quadrant) {
        case 0: return CosineKernel(a.r);
        case 1: return -SineKernel(a.r);
        case 2: return -CosineKernel(a.r);
        default: return SineKernel(a.r);
    }
}

double ArcSine(double x) {
    if (!(std::fabs(x) <= 1.0)) return std::numeric_limits<double>::quiet_NaN();
    if (x == 1.0) return kHalfPi.hi;
    if (x == -1.0) return -kHalfPi.hi;
    return ArcTangent(x / std::sqrt((1.0 - x) * (1.0 + x)));
}

double ExponentialMinusOne(double x) {
    if (std::isnan(x) || x == 0.0) return x;
    if (std::fabs(x) < 0x1p-27) return x + x * x * (0.5 + x * kInverseFactorial[3].hi);
    if (x > 40.0) return NaturalExponential(x);
    if (x < -40.0) return -1.0;
    const ScaledDD e = ExponentialDD({x, 0.0});
    const double scale = Scaled(1.0, e.exponent);  // exact: |exponent| <= 58
    return Add({e.mantissa.hi * scale, e.mantissa.lo * scale}, {-1.0, 0.0}).hi;
}

double Power(double x, double y) {
    if (y == 0.0 || x == 1.0) return 1.0;
    if (std::isnan(x) || std::isnan(y)) return std::numeric_limits<double>::quiet_NaN();
    if (x < 0.0) {
        if (std::isinf(y)) return Power(-x, y);
        if (y != std::floor(y)) return std::numeric_limits<double>::quiet_NaN();
        const double magnitude = Power(-x, y);
        return std::fmod(y, 2.0) == 0.0 ? magnitude : -magnitude;
    }
    const double inf = std::numeric_limits<double>::infinity();
    if (x == 0.0) return y > 0.0 ? 0.0 : inf;
    if (std::isinf(x)) return y > 0.0 ? inf : 0.0;
    if (std::isinf(y)) return (x > 1.0) == (y > 0.0) ? inf : 0.0;
    return ExponentialOfDD(Multiply(LogarithmDD(x), {y, 0.0}));
}

double Gamma(double x) {
    if (!(x > 0.0)) return std::numeric_limits<double>::quiet_NaN();
    if (x > 171.625) return std::numeric_limits<double>::infinity();
    if (x < 0x1p-1000) return 1.0 / x;  // Gamma(x) = 1/x - 0.577...: the rest is below a unit
    const double n = std::floor(x + 0.5);
    const double z = x - n;                                      // exact, |z| <= 1/2
    DD gamma = Divide({1.0, 0.0}, ReciprocalGammaOfOnePlus(z));  // Gamma(1 + z)
    if (n == 0.0) return Divide(gamma, {x, 0.0}).hi;
    // Gamma(n + z) = Gamma(1 + z) (1 + z)(2 + z)...(n - 1 + z), kept below
    // the range where the exact products would overflow.
    int exponent = 0;
    for (double j = 1.0; j < n; j += 1.0) {
        gamma = Multiply(gamma, TwoSum(z, j));
        if (gamma.hi > 0x1p600) {
            gamma = {gamma.hi * 0x1p-600, gamma.lo * 0x1p-600};
            exponent += 600;
        }
    }
    return Scaled(gamma.hi, exponent);
}

double BesselK(double nu, double x) {
    if (std::isnan(nu) || std::isnan(x) || x < 0.0 || std::isinf(nu)) return std::numeric_limits<double>::quiet_NaN();
    if (x == 0.0) return std::numeric_limits<double>::infinity();
    if (std::isinf(x)) return 0.0;
    nu = std::fabs(nu);
    const double n = std::floor(nu + 0.5);
    const double mu = nu - n;
    const BesselPair pair = BesselPairOfOrder(mu, x);
    // Upward: K_(m+1) = (2m/x) K_m + K_(m-1).
    double kLower = pair.k0;
    double kUpper = pair.k1;
    if (n == 0.0) return kLower;
    for (double i = 1.0; i < n; i += 1.0) {
        const double next = (2.0 * (mu + i) / x) * kUpper + kLower;
        kLower = kUpper;
        kUpper = next;
    }
    return kUpper;
}

double ScaledBesselK(double nu, double x) {
    if (std::isnan(nu) || std::isnan(x) || x < 0.0 || std::isinf(nu)) return std::numeric_limits<double>::quiet_NaN();
    nu = std::fabs(nu);
    if (x == 0.0) return nu > 0.0 ? 0.5 * Gamma(nu) : std::numeric_limits<double>::infinity();
    if (std::isinf(x)) return 0.0;
    const double n = std::floor(nu + 0.5);
    const double mu = nu - n;
    const BesselPair pair = BesselPairOfOrder(mu, x);
    const double half = 0.5 * x;
    double uLower = pair.power * pair.k0;         // (x/2)^mu K_mu
    double uUpper = pair.power * half * pair.k1;  // (x/2)^(mu+1) K_(mu+1)
    if (n == 0.0) return uLower;
    const double quarterSquare = half * half;
    for (double i = 1.0; i < n; i += 1.0) {
        const double next = (mu + i) * uUpper + quarterSquare * uLower;
        uLower = uUpper;
        uUpper = next;
    }
    return uUpper;
}

}  // namespace mosaro
