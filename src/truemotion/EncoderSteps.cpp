#include "truemotion/EncoderSteps.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace truemotion {
namespace {

// Added to the cost of a delta that breaks a pixel: such a delta loses against every
// valid one but stays ordered among its kind.
constexpr double kBrokenPixelCost = 1e12;
// Added to the cost of a delta after which the lane's next pixel must break.
constexpr double kBrokenNextCost = 1e9;

// floor(x + 0.5), without the library call that floor is on plain x86-64.
double RoundHalfUp(double x) {
    const double shifted = x + 0.5;
    if (!(std::abs(shifted) < 1e9)) return std::floor(shifted);
    const double truncated = static_cast<double>(static_cast<int64_t>(shifted));
    return truncated > shifted ? truncated - 1 : truncated;
}

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
    for (int i = 0; i + 1 < count; ++i)
        midSum[static_cast<size_t>(i)] =
            options[static_cast<size_t>(i)].delta + options[static_cast<size_t>(i) + 1].delta;
    // Sorted ascending, the nearest option moves up as p grows; on a tie the first stays.
    auto fill = [&](int q, int reach, uint8_t* table) {
        size_t i = 0;
        for (int p = -reach; p < reach; ++p) {
            while (i + 1 < static_cast<size_t>(count) &&
                   std::abs(q * options[i + 1].delta - p) < std::abs(q * options[i].delta - p))
                ++i;
            table[p + reach] = static_cast<uint8_t>(i);
        }
    };
    fill(3, kThirdsReach, nearestThird.data());
    fill(24, kTwentyFourthsReach, nearestTwentyFourth.data());
    fill(144, kHundredFortyFourthsReach, nearestHundredFortyFourth.data());
    for (int p = -kHundredFortyFourthsReach; p < kHundredFortyFourthsReach; ++p) {
        uint8_t& entry =
            nearestHundredFortyFourth[static_cast<size_t>(p + kHundredFortyFourthsReach)];
        if (entry + 1 < count && 2 * p == 144 * midSum[entry]) entry |= kTieWithNext;
    }
}

LaneOptions::LaneOptions(const DeltaTable& deltas, const DeltaTable& escapeDeltas, int escapeScale,
                         int nibbles) {
    for (int n = 0; n < nibbles; ++n) m_plain.Add({deltas[n], uint8_t(n), 0});
    for (int m = 0; m < nibbles; ++m)
        for (int n = 0; n < nibbles; ++n)
            m_escaped.Add({deltas[n] + escapeScale * escapeDeltas[m], uint8_t(n), uint8_t(m)});
    m_plain.Finish();
    m_escaped.Finish();
    for (int v = -Sorted::kReach - 1; v <= Sorted::kReach + 1; ++v) {
        int least = kNoOption;
        for (const Sorted* sorted : {&m_plain, &m_escaped})
            for (int k = 0; k < sorted->count; ++k)
                if (const int delta = sorted->options[static_cast<size_t>(k)].delta; delta >= v)
                    least = std::min(least, delta);
        m_leastFrom[static_cast<size_t>(v + Sorted::kReach + 1)] = least;
    }
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
        const double nearest = std::clamp(RoundHalfUp(piece.target), static_cast<double>(piece.lo),
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
    if (high.count == 1 && low.count == 1)
        if (const auto choice =
                ChooseOnePieceStep(codes, options, {high.pieces[0], high.weight, high.ahead},
                                   {low.pieces[0], low.weight, low.ahead}))
            return *choice;
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

std::optional<StepChoice> ChooseOnePieceStep(const StepCodes& codes, const LaneOptions& options,
                                             const PieceLane& high, const PieceLane& low) {
    // The same arithmetic as BestOf, LeastCost and ChooseStep, in the same order, so
    // that every comparison comes out as theirs.
    struct Inside {
        const LaneOption* option = nullptr;
        double cost = std::numeric_limits<double>::infinity();
    };
    auto inside = [](const LaneOptions::Sorted& sorted, const PieceLane& lane) {
        const LanePiece& piece = lane.piece;
        Inside best;
        if (piece.lo > piece.hi) return best;
        const int index = sorted.NearestIndex(
            std::clamp(piece.target, static_cast<double>(piece.lo), static_cast<double>(piece.hi)));
        auto consider = [&](int k) {
            const LaneOption& o = sorted.options[static_cast<size_t>(k)];
            if (o.delta < piece.lo || o.delta > piece.hi) return;
            const double d = o.delta - piece.target;
            const double cost = lane.weight * d * d + piece.constant;
            if (cost < best.cost) best = {&o, cost};
        };
        if (index > 0) consider(index - 1);
        consider(index);
        if (index + 1 < sorted.count) consider(index + 1);
        return best;
    };
    auto leastCost = [](const PieceLane& lane) {
        const LanePiece& piece = lane.piece;
        const double nearest = std::clamp(RoundHalfUp(piece.target), static_cast<double>(piece.lo),
                                          static_cast<double>(piece.hi));
        return piece.constant + lane.weight * (nearest - piece.target) * (nearest - piece.target);
    };
    const Inside plainHigh = inside(options.Kind(false), high),
                 plainLow = inside(options.Kind(false), low);
    if (plainHigh.option == nullptr || plainLow.option == nullptr) return std::nullopt;
    StepChoice choice{{codes.pairGroup[plainHigh.option->n][plainLow.option->n], 0},
                      plainHigh.option->delta,
                      plainLow.option->delta};
    const double plainCost = plainHigh.cost + plainLow.cost;
    // A lane's least cost is at least its constant, and rounding keeps that order: a
    // plain pair that close to the constants needs no look at the least costs.
    if (plainCost - high.piece.constant - low.piece.constant > kEscapeRateCost &&
        plainCost - leastCost(high) - leastCost(low) > kEscapeRateCost) {
        const Inside escapedHigh = inside(options.Kind(true), high),
                     escapedLow = inside(options.Kind(true), low);
        if (escapedHigh.option == nullptr || escapedLow.option == nullptr) return std::nullopt;
        if (escapedHigh.cost + escapedLow.cost + kEscapeRateCost < plainCost)
            choice = {{codes.pairGroup[escapedHigh.option->n][escapedLow.option->n],
                       codes.pairGroup[escapedHigh.option->m][escapedLow.option->m]},
                      escapedHigh.option->delta,
                      escapedLow.option->delta};
    }
    if (!high.ahead.Allows(choice.high) || !low.ahead.Allows(choice.low)) return std::nullopt;
    return choice;
}

}  // namespace truemotion
