#include "render/BlockDct.h"

#include <cmath>
#include <numbers>

namespace {

// basis[x][u] = C(u) / 2 * cos((2x + 1) u pi / 16), with C(0) = 1 / sqrt(2) and C(u) = 1 otherwise.
using Basis = std::array<std::array<float, 8>, 8>;

Basis makeBasis()
{
    Basis basis{};
    for (int x = 0; x < 8; ++x)
        for (int u = 0; u < 8; ++u)
            basis[x][u] = float((u == 0 ? std::numbers::sqrt2 / 4 : 0.5) *
                                std::cos((2 * x + 1) * u * std::numbers::pi / 16));
    return basis;
}

const Basis basis = makeBasis();

// out[i][k] = sum over j of in[i][j] * m(j, k), for both passes of the separable transform;
// transposing on the way lets the second pass run over rows too.
template <typename Weight> BlockDct::Block pass(const BlockDct::Block& in, Weight weight)
{
    BlockDct::Block out{};
    for (int i = 0; i < 8; ++i)
        for (int k = 0; k < 8; ++k) {
            float sum = 0;
            for (int j = 0; j < 8; ++j)
                sum += in[i * 8 + j] * weight(j, k);
            out[k * 8 + i] = sum;
        }
    return out;
}

} // namespace

namespace BlockDct {

Block forward(const Block& samples)
{
    const auto weight = [](int x, int u) { return basis[x][u]; };
    return pass(pass(samples, weight), weight);
}

Block inverse(const Block& coefficients)
{
    const auto weight = [](int u, int x) { return basis[x][u]; };
    return pass(pass(coefficients, weight), weight);
}

} // namespace BlockDct
