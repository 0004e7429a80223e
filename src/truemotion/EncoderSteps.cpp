#include "truemotion/EncoderSteps.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace truemotion {
namespace {

// Added to the cost of a delta that breaks a pixel: such a delta loses against every
// valid one but stays ordered among its kind.
constexpr double kBrokenPixelCost = 1e12;
// Added to the cost of a delta after which the lane's next pixel must break.
constexpr double kBrokenNextCost = 1e9;

double Cost(const LaneOptions::Pick& pick) {
    return pick.cost + (pick.valid ? 0 : kBrokenPixelCost) + (pick.allowed ? 0 : kBrokenNextCost);
}

}  // namespace

void LaneOptions::Sorted::Finish() {
    auto first = options.begin(), last = options.begin() + count;
    // Stable sorting keeps the first-made option of each value in front.
    std::stable_sort(first, last,
                     [](const LaneOption& a, const LaneOption& b) { return a.delta < b.delta; });
    count = static_cast<int>(
        std::unique(first, last,
                    [](const LaneOption& a, const LaneOption& b) { return a.delta == b.delta; }) -
        first);
    size_t index = 0;
    for (int delta = -kReach; delta <= kReach; ++delta) {
        while (index + 1 < static_cast<size_t>(count) &&
               std::abs(options[index + 1].delta - delta) < std::abs(options[index].delta - delta))
            ++index;
        nearest[static_cast<size_t>(delta + kReach)] = static_cast<uint8_t>(index);
    }
}

int LaneOptions::Sorted::NearestIndex(double delta) const {
    const double clamped =
        std::clamp(delta, static_cast<double>(-kReach), static_cast<double>(kReach));
    // The nearest whole delta (halves up); the options beside its nearest cover ties.
    return nearest[static_cast<size_t>(static_cast<int>(clamped + kReach + 0.5))];
}

bool LaneOptions::Sorted::Reaches(int lo, int hi) const {
    if (lo > hi) return false;
    // The least option from lo on lies next to the option nearest lo.
    const int index = NearestIndex(lo);
    for (int k = std::max(index - 1, 0); k <= std::min(index + 1, count - 1); ++k) {
        const int delta = options[static_cast<size_t>(k)].delta;
        if (delta >= lo) return delta <= hi;
    }
    return false;
}

LaneOptions::LaneOptions(const DeltaTable& deltas, const DeltaTable& escapeDeltas, int escapeScale,
                         int nibbles) {
    for (int n = 0; n < nibbles; ++n) m_plain.Add({deltas[n], uint8_t(n), 0});
    for (int m = 0; m < nibbles; ++m)
        for (int n = 0; n < nibbles; ++n)
            m_escaped.Add({deltas[n] + escapeScale * escapeDeltas[m], uint8_t(n), uint8_t(m)});
    m_plain.Finish();
    m_escaped.Finish();
}

double LaneTarget::CostOf(int delta) const {
    double cost = std::numeric_limits<double>::infinity();
    for (int p = 0; p < count; ++p) {
        const LanePiece& piece = pieces[static_cast<size_t>(p)];
        if (delta >= piece.lo && delta <= piece.hi)
            cost = std::min(
                cost, weight * (delta - piece.target) * (delta - piece.target) + piece.constant);
    }
    return cost;
}

double LaneTarget::LeastCost() const {
    double least = std::numeric_limits<double>::infinity();
    for (int p = 0; p < count; ++p) {
        const LanePiece& piece = pieces[static_cast<size_t>(p)];
        if (piece.lo > piece.hi) continue;
        const double nearest =
            std::clamp(std::floor(piece.target + 0.5), static_cast<double>(piece.lo),
                       static_cast<double>(piece.hi));
        least = std::min(
            least, piece.constant + weight * (nearest - piece.target) * (nearest - piece.target));
    }
    return least;
}

LaneOptions::Pick LaneOptions::BestOf(const Sorted& sorted, const LaneTarget& lane) {
    constexpr double kNone = std::numeric_limits<double>::infinity();
    auto costOf = [&](const LaneOption& o, const LanePiece& piece) {
        const double d = o.delta - piece.target;
        return lane.weight * d * d + piece.constant;
    };
    // Written to compile to selects: the comparisons follow the picture's noise.
    double bestCost = kNone;
    int best = 0;
    for (int p = 0; p < lane.count; ++p) {
        const LanePiece& piece = lane.pieces[static_cast<size_t>(p)];
        if (piece.lo > piece.hi || piece.constant >= bestCost) continue;
        // The options on either side of the target clamped into the piece hold the
        // cheapest one inside it, and lie next to the option nearest that point.
        const int index = sorted.NearestIndex(
            std::clamp(piece.target, static_cast<double>(piece.lo), static_cast<double>(piece.hi)));
        for (int k = std::max(index - 1, 0); k <= std::min(index + 1, sorted.count - 1); ++k) {
            const LaneOption& o = sorted.options[static_cast<size_t>(k)];
            const bool inside = o.delta >= piece.lo && o.delta <= piece.hi;
            const double cost = inside ? costOf(o, piece) : kNone;
            best = cost < bestCost ? k : best;
            bestCost = std::min(cost, bestCost);
        }
    }
    if (bestCost < kNone) return {sorted.options[static_cast<size_t>(best)], bestCost, true};
    // Nothing keeps the pixel valid: the option nearest the first piece's target.
    const LanePiece& piece = lane.pieces[0];
    const int index = sorted.NearestIndex(piece.target);
    for (int k = std::max(index - 1, 0); k <= std::min(index + 1, sorted.count - 1); ++k) {
        const double cost = costOf(sorted.options[static_cast<size_t>(k)], piece);
        best = cost < bestCost ? k : best;
        bestCost = std::min(cost, bestCost);
    }
    return {sorted.options[static_cast<size_t>(best)], bestCost, false};
}

LaneOptions::Pick LaneOptions::Best(const LaneTarget& lane, bool escaped) const {
    return BestOf(escaped ? m_escaped : m_plain, lane);
}

LaneOptions::Pick LaneOptions::BestAhead(const LaneTarget& lane, bool escaped) const {
    const Sorted& sorted = escaped ? m_escaped : m_plain;
    Pick best;
    best.cost = std::numeric_limits<double>::infinity();
    for (int k = 0; k < sorted.count; ++k) {
        const LaneOption& o = sorted.options[static_cast<size_t>(k)];
        const double cost = lane.CostOf(o.delta);
        if (cost < best.cost && lane.ahead.Allows(o.delta)) best = {o, cost, true, true};
    }
    if (best.valid) return best;
    best = Best(lane, escaped);
    best.allowed = false;
    return best;
}

bool LaneOptions::Reaches(int lo, int hi) const {
    return m_plain.Reaches(lo, hi) || m_escaped.Reaches(lo, hi);
}

bool BuildStepCodes(int deltaSet, int vectorTable, CodeTableLayout layout, StepCodes& codes) {
    const auto bytes = VectorTableBytes(vectorTable);
    if (!BuildCodeTables(deltaSet, bytes, layout, codes.tables)) return false;
    std::array<std::array<int, 8>, 8> found{};
    for (auto& row : found) row.fill(-1);
    size_t position = 0;
    for (int group = 0; group < kCodeGroupCount; ++group) {
        const int length = bytes[position];
        // Group 0 is unreachable by a plain index byte (0 is the escape).
        if (length == 1 && group != 0) {
            const uint8_t pair = bytes[position + 1];
            int& slot = found[(pair >> 4) & 7][pair & 7];
            if (slot < 0) slot = group;
        }
        position += 1 + static_cast<size_t>(length);
    }
    codes.nibbles = 0;
    for (int n = 1; n <= 8; ++n) {
        bool complete = true;
        for (int h = 0; h < n; ++h)
            for (int l = 0; l < n; ++l) complete = complete && found[h][l] >= 0;
        if (complete) codes.nibbles = n;
    }
    if (codes.nibbles < 2) return false;
    for (int h = 0; h < codes.nibbles; ++h)
        for (int l = 0; l < codes.nibbles; ++l)
            codes.pairGroup[h][l] = static_cast<uint8_t>(found[h][l]);

    const auto& luma = kLumaDeltas[deltaSet];
    const auto& chroma = kChromaDeltas[deltaSet];
    if (layout == CodeTableLayout::k15Bit) {
        codes.escapeScale = kEscapeScale15;
        codes.lumaEscapeTable = kLumaCodes;
        codes.chromaEscapeTable = kChromaCodes;
        codes.luma = LaneOptions(luma, luma, kEscapeScale15, codes.nibbles);
        codes.chroma = LaneOptions(chroma, chroma, kEscapeScale15, codes.nibbles);
    } else {
        codes.escapeScale = 1;
        codes.lumaEscapeTable = kLumaEscapeCodes;
        codes.chromaEscapeTable = kChromaEscapeCodes;
        codes.luma = LaneOptions(luma, kLumaEscapeDeltas[deltaSet], 1, codes.nibbles);
        codes.chroma = LaneOptions(chroma, kChromaEscapeDeltas[deltaSet], 1, codes.nibbles);
    }
    return true;
}

StepChoice ChooseStep(const StepCodes& codes, const LaneOptions& options, const LaneTarget& high,
                      const LaneTarget& low) {
    auto choose = [&](auto best) {
        const LaneOptions::Pick plainHigh = best(high, false), plainLow = best(low, false);
        StepChoice choice{{codes.pairGroup[plainHigh.option.n][plainLow.option.n], 0},
                          plainHigh.option.delta,
                          plainLow.option.delta};
        const double plainCost = Cost(plainHigh) + Cost(plainLow);
        // No escape can undercut what whole deltas could reach at best.
        if (plainCost - high.LeastCost() - low.LeastCost() <= kEscapeRateCost) return choice;
        const LaneOptions::Pick escapedHigh = best(high, true), escapedLow = best(low, true);
        if (Cost(escapedHigh) + Cost(escapedLow) + kEscapeRateCost < plainCost)
            choice = {{codes.pairGroup[escapedHigh.option.n][escapedLow.option.n],
                       codes.pairGroup[escapedHigh.option.m][escapedLow.option.m]},
                      escapedHigh.option.delta,
                      escapedLow.option.delta};
        return choice;
    };
    const StepChoice choice =
        choose([&](const LaneTarget& lane, bool escaped) { return options.Best(lane, escaped); });
    if (high.ahead.Allows(choice.high) && low.ahead.Allows(choice.low)) return choice;
    return choose(
        [&](const LaneTarget& lane, bool escaped) { return options.BestAhead(lane, escaped); });
}

}  // namespace truemotion
