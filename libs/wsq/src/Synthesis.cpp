// The decoder's inverse wavelet transform.

#include "Synthesis.h"

#include "FloatVector.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <vector>

namespace qv::wsq {

namespace {

// How a subband continues past one of its ends, which follows from how the analysis extended
// the signal: reflected about the edge sample (whole-sample), with the edge sample repeated
// (half-sample), either of them negated, or antisymmetric about a virtual zero sample.
enum class Edge { WholeSample, HalfSample, HalfSampleNegated, VirtualZeroNegated };

struct Edges {
    Edge left;
    Edge right;
};

// A source sample of the extended subband: its index inside the subband and a factor of
// +1, -1 or 0 (the virtual zero, or an empty subband).
struct Source {
    int index;
    float sign;
};

Source resolve(int e, int length, Edges edges) {
    if (length == 0) {
        return {0, 0.0f};
    }
    float sign = 1.0f;
    // Short subbands may need several reflections; a one-sample subband reflected about
    // itself never settles, but is constant, which the clamp below gives.
    for (int round = 0; round < 64; ++round) {
        if (e < 0) {
            if (edges.left == Edge::WholeSample) {
                e = -e;
            } else {
                e = -1 - e;
                if (edges.left == Edge::HalfSampleNegated) {
                    sign = -sign;
                }
            }
        } else if (e >= length) {
            switch (edges.right) {
            case Edge::WholeSample:
                e = 2 * (length - 1) - e;
                break;
            case Edge::HalfSample:
                e = 2 * length - 1 - e;
                break;
            case Edge::HalfSampleNegated:
                e = 2 * length - 1 - e;
                sign = -sign;
                break;
            case Edge::VirtualZeroNegated:
                if (e == length) {
                    return {0, 0.0f};
                }
                e = 2 * length - e;
                sign = -sign;
                break;
            }
        } else {
            return {e, sign};
        }
    }
    return {std::clamp(e, 0, length - 1), sign};
}

// A synthesis filter tap seen from one output phase: output x[2m + phase] takes
// weight * subband[m + offset].
struct Tap {
    int offset;
    float weight;
};

// The synthesis side of a filter bank, split by output phase.
struct Bank {
    bool evenLength = false;
    std::array<std::vector<Tap>, 2> low;  // taps on the lowpass subband
    std::array<std::vector<Tap>, 2> high; // taps on the highpass subband

    Edges lowEdges(int n) const {
        if (evenLength) {
            return {Edge::HalfSample, n % 2 ? Edge::WholeSample : Edge::HalfSample};
        }
        return {Edge::WholeSample, n % 2 ? Edge::WholeSample : Edge::HalfSample};
    }
    Edges highEdges(int n) const {
        if (evenLength) {
            return {Edge::HalfSampleNegated,
                    n % 2 ? Edge::VirtualZeroNegated : Edge::HalfSampleNegated};
        }
        return {Edge::HalfSample, n % 2 ? Edge::HalfSample : Edge::WholeSample};
    }
};

// x[n] = sum_i g[i] * subband[(n + shift - i) / 2] over the i that make the argument even.
void addPhaseTaps(const std::vector<double>& g, int shift, std::array<std::vector<Tap>, 2>& taps) {
    for (int phase = 0; phase < 2; ++phase) {
        for (int i = 0; i < static_cast<int>(g.size()); ++i) {
            const int argument = phase + shift - i;
            if (argument % 2 == 0) {
                taps[phase].push_back({argument / 2, static_cast<float>(g[i])});
            }
        }
    }
}

// Synthesis filters from the transmitted analysis pair: the lowpass g0 comes from the analysis
// highpass and the highpass g1 from the analysis lowpass.
Bank makeBank(const TransformTable& filters) {
    const auto& h0 = filters.lowpass;
    const auto& h1 = filters.highpass;
    const int l0 = static_cast<int>(h0.size());
    const int l1 = static_cast<int>(h1.size());
    std::vector<double> g0(h1.size());
    std::vector<double> g1(h0.size());
    Bank bank;
    bank.evenLength = l0 % 2 == 0;
    if (!bank.evenLength) {
        const int c0 = (l0 - 1) / 2;
        const int c1 = (l1 - 1) / 2;
        for (int i = 0; i < l1; ++i) {
            g0[i] = ((i - c1) % 2 == 0 ? 1.0 : -1.0) * h1[i];
        }
        for (int i = 0; i < l0; ++i) {
            g1[i] = ((i - c0) % 2 == 0 ? 1.0 : -1.0) * h0[i];
        }
        addPhaseTaps(g0, c1, bank.low);
        addPhaseTaps(g1, c0 - 1, bank.high);
        return bank;
    }
    for (int c = 0; c < l0 / 2; ++c) {
        g1[l0 / 2 + c] = (c % 2 == 0 ? 1.0 : -1.0) * h0[l0 / 2 + c];
        g1[l0 / 2 - 1 - c] = -g1[l0 / 2 + c];
    }
    for (int c = 0; c < l1 / 2; ++c) {
        g0[l1 / 2 + c] = (c % 2 == 0 ? -1.0 : 1.0) * h1[l1 / 2 + c];
        g0[l1 / 2 - 1 - c] = g0[l1 / 2 + c];
    }
    addPhaseTaps(g0, l1 / 2 - 1, bank.low);
    addPhaseTaps(g1, l0 / 2 - 1, bank.high);
    return bank;
}

// Filters of at most 32 taps reach at most 17 samples beyond either end of a subband.
constexpr int kMargin = 18;

// Where the two halves of a line of n samples lie, given the node's inversion flag.
struct Halves {
    int lowStart;
    int lowCount;
    int highStart;
    int highCount;
};

Halves halvesOf(int n, bool inverted) {
    const int low = (n + 1) / 2;
    const int high = n / 2;
    return inverted ? Halves{high, low, 0, high} : Halves{0, low, low, high};
}

// Columns are filtered in strips this many wide.
constexpr int kStripWidth = 64;

// One term of an output sample: weight * (source sample or line).
struct Term {
    int source;
    float weight;
};

// Sums the terms of the Vectors * kLanes outputs from `m` on, each vector's running sum a
// chain of its own so that the additions overlap.
template <int Vectors>
void sumBlock(std::span<const Term> terms, const float* in, float* out, int m) {
    std::array<Vec, Vectors> sums{};
    for (const Term& term : terms) {
        const float* at = in + term.source + m;
        for (int v = 0; v < Vectors; ++v) {
            sums[v] += term.weight * loadVec(at + v * kLanes);
        }
    }
    for (int v = 0; v < Vectors; ++v) {
        storeVec(out + m + v * kLanes, sums[v]);
    }
}

// Sums the terms of `count` neighbouring outputs: out[m] = sum of weight * in[source + m], in
// the order of `terms` and starting from 0, so that every output rounds as a lone sum of the
// same terms would.
void sumTerms(std::span<const Term> terms, const float* in, float* out, int count) {
    int m = 0;
    if constexpr (kHaveVectors) {
        constexpr int kWide = 8;
        for (; m + kWide * kLanes <= count; m += kWide * kLanes) {
            sumBlock<kWide>(terms, in, out, m);
        }
        for (; m + kLanes <= count; m += kLanes) {
            sumBlock<1>(terms, in, out, m);
        }
    }
    for (; m < count; ++m) {
        float sum = 0.0f;
        for (const Term& term : terms) {
            sum += term.weight * in[term.source + m];
        }
        out[m] = sum;
    }
}

// Synthesises rows of one length and layout. Each row's two halves are copied, with kMargin
// extended samples on either side, into one working line; output phase p of the row is then a
// plain sum of terms over that line.
class RowSynthesis {
public:
    RowSynthesis(int n, bool inverted, const Bank& bank)
        : n_(n)
        , halves_(halvesOf(n, inverted)) {
        const int lowBase = kMargin;
        const int highBase = halves_.lowCount + 3 * kMargin;
        line_.resize(static_cast<std::size_t>(highBase + halves_.highCount + kMargin));
        addMargins(halves_.lowStart, halves_.lowCount, bank.lowEdges(n), lowBase);
        addMargins(halves_.highStart, halves_.highCount, bank.highEdges(n), highBase);
        for (int phase = 0; phase < 2; ++phase) {
            for (const Tap& tap : bank.low[phase]) {
                terms_[phase].push_back({lowBase + tap.offset, tap.weight});
            }
            for (const Tap& tap : bank.high[phase]) {
                terms_[phase].push_back({highBase + tap.offset, tap.weight});
            }
            phase_[phase].resize(static_cast<std::size_t>((n - phase + 1) / 2));
        }
        lowBase_ = lowBase;
        highBase_ = highBase;
    }

    void operator()(float* row) {
        std::copy_n(row + halves_.lowStart, halves_.lowCount, line_.begin() + lowBase_);
        std::copy_n(row + halves_.highStart, halves_.highCount, line_.begin() + highBase_);
        for (const Margin& margin : margins_) {
            line_[margin.to] = margin.sign == 0.0f ? 0.0f : margin.sign * row[margin.from];
        }
        for (int phase = 0; phase < 2; ++phase) {
            sumTerms(terms_[phase], line_.data(), phase_[phase].data(),
                     static_cast<int>(phase_[phase].size()));
        }
        const float* even = phase_[0].data();
        const float* odd = phase_[1].data();
        for (int m = 0; m < n_ / 2; ++m) {
            row[2 * m] = even[m];
            row[2 * m + 1] = odd[m];
        }
        if (n_ % 2 != 0) {
            row[n_ - 1] = even[n_ / 2];
        }
    }

private:
    // An extended sample: the row sample it mirrors, and a sign of +1, -1 or 0 (virtual zero).
    struct Margin {
        int to;
        int from;
        float sign;
    };

    void addMargins(int start, int count, Edges edges, int base) {
        auto add = [&](int e) {
            const Source s = resolve(e, count, edges);
            margins_.push_back({base + e, start + s.index, s.sign});
        };
        for (int e = -kMargin; e < 0; ++e) {
            add(e);
        }
        for (int e = count; e < count + kMargin; ++e) {
            add(e);
        }
    }

    int n_;
    Halves halves_;
    int lowBase_ = 0;
    int highBase_ = 0;
    std::vector<Margin> margins_;
    std::array<std::vector<Term>, 2> terms_;
    std::vector<float> line_;
    std::array<std::vector<float>, 2> phase_;
};

// For every output row of a column of n samples, the source rows and weights it sums: the
// terms of row y are terms[first[y]] up to terms[first[y + 1]].
struct ColumnPlan {
    std::vector<Term> terms;
    std::vector<std::size_t> first;
};

ColumnPlan columnPlan(int n, bool inverted, const Bank& bank) {
    const Halves halves = halvesOf(n, inverted);
    const Edges lowEdges = bank.lowEdges(n);
    const Edges highEdges = bank.highEdges(n);
    ColumnPlan plan;
    plan.first.reserve(static_cast<std::size_t>(n) + 1);
    plan.terms.reserve(static_cast<std::size_t>(n) *
                       (bank.low[0].size() + bank.high[0].size() + 1));
    for (int out = 0; out < n; ++out) {
        const int phase = out % 2;
        const int m = out / 2;
        plan.first.push_back(plan.terms.size());
        auto addTerms = [&](const std::vector<Tap>& taps, int start, int count, Edges edges) {
            for (const Tap& tap : taps) {
                const Source s = resolve(m + tap.offset, count, edges);
                if (s.sign != 0.0f) {
                    plan.terms.push_back({(start + s.index) * kStripWidth, s.sign * tap.weight});
                }
            }
        };
        addTerms(bank.low[phase], halves.lowStart, halves.lowCount, lowEdges);
        addTerms(bank.high[phase], halves.highStart, halves.highCount, highEdges);
    }
    plan.first.push_back(plan.terms.size());
    return plan;
}

// Columns are filtered a strip at a time, copied out so that the rows of the strip can be
// overwritten while later outputs still read them.
void synthesizeColumns(float* origin, int stride, int width, int height, bool inverted,
                       const Bank& bank, std::vector<float>& strip) {
    const auto plan = columnPlan(height, inverted, bank);
    strip.resize(static_cast<std::size_t>(height) * kStripWidth);
    for (int x0 = 0; x0 < width; x0 += kStripWidth) {
        const int w = std::min(kStripWidth, width - x0);
        for (int y = 0; y < height; ++y) {
            const float* from = origin + static_cast<std::ptrdiff_t>(y) * stride + x0;
            float* to = strip.data() + static_cast<std::ptrdiff_t>(y) * kStripWidth;
            // A copy of constant size is a few vector moves rather than a library call.
            if (w == kStripWidth) {
                std::copy_n(from, kStripWidth, to);
            } else {
                std::copy_n(from, w, to);
            }
        }
        for (int y = 0; y < height; ++y) {
            const std::span<const Term> terms(plan.terms.data() + plan.first[y],
                                              plan.terms.data() + plan.first[y + 1]);
            sumTerms(terms, strip.data(), origin + static_cast<std::ptrdiff_t>(y) * stride + x0, w);
        }
    }
}

void invertNode(float* coefficients, int stride, const Node& node, const Bank& bank,
                std::vector<float>& strip) {
    const Rect& r = node.rect;
    if (r.width == 0 || r.height == 0) {
        return;
    }
    float* origin = coefficients + static_cast<std::ptrdiff_t>(r.y) * stride + r.x;
    synthesizeColumns(origin, stride, r.width, r.height, node.invertY, bank, strip);
    RowSynthesis synthesizeRow(r.width, node.invertX, bank);
    for (int y = 0; y < r.height; ++y) {
        synthesizeRow(origin + static_cast<std::ptrdiff_t>(y) * stride);
    }
}

} // namespace

void synthesize(float* coefficients, int stride, const SubbandLayout& layout,
                const TransformTable& filters, bool withUnusedQuarter) {
    const Bank bank = makeBank(filters);
    std::vector<float> strip;
    for (int node = kNodeCount - 1; node >= 1; --node) {
        invertNode(coefficients, stride, layout.nodes[node], bank, strip);
    }
    if (withUnusedQuarter) {
        invertNode(coefficients, stride, layout.unusedQuarter, bank, strip);
    }
    invertNode(coefficients, stride, layout.nodes[0], bank, strip);
}

} // namespace qv::wsq
