#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "truemotion/CodeTables.h"
#include "truemotion/TrueMotionTables.h"

// The encoder's side of a step: which index bytes make a given pair of deltas, and
// the choice of the pair (and escape) whose result lies closest to the source.
//
// A step moves two lanes at once (the left and the right pixel of a pair, or red and
// blue of a chroma sample). Every lane's error is a parabola in the delta it takes,
// or a few parabolas side by side, so the best delta is a reachable one nearest to a
// parabola's target. The lane's range keeps the pixel valid (no field or byte leaves
// its range, so no borrow crosses into a neighbour and no guard bit breaks), and a
// look-ahead keeps the lane's next pixel within reach of a valid step.

namespace truemotion {

// What an escape's two extra index bytes must buy back, in squared error of 8-bit
// channels.
inline constexpr double kEscapeRateCost = 48.0;

// The index bytes of one step: a single-pair group, and the escape group (0 for none;
// group 0 is never one of ours, since a 0 index byte is the escape itself).
struct StepCode {
    uint8_t group = 0;
    uint8_t escape = 0;
};

inline void AppendStep(StepCode code, std::vector<uint8_t>& out) {
    out.push_back(code.group);
    if (code.escape != 0) {
        out.push_back(0);
        out.push_back(code.escape);
    }
}

// Appends the steps of a frame to `out` through a pointer, in room for three index
// bytes a step made beforehand; `out` ends after the last step again when the writer
// goes.
class StepWriter {
public:
    StepWriter(std::vector<uint8_t>& out, size_t steps) : m_out(out) {
        const size_t start = out.size();
        out.resize(start + 3 * steps);
        m_next = out.data() + start;
    }
    ~StepWriter() { m_out.resize(static_cast<size_t>(m_next - m_out.data())); }
    StepWriter(const StepWriter&) = delete;
    StepWriter& operator=(const StepWriter&) = delete;

    // The write position, for loops that hold it in a register meanwhile.
    uint8_t* Position() const { return m_next; }
    void SetPosition(uint8_t* next) { m_next = next; }

    void Append(StepCode code) {
        // Through a local: byte stores may alias the pointer itself.
        uint8_t* next = m_next;
        next[0] = code.group;
        next[1] = 0;
        next[2] = code.escape;
        m_next = next + (code.escape != 0 ? 3 : 1);
    }

private:
    std::vector<uint8_t>& m_out;
    uint8_t* m_next;
};

// One lane's wish: its error as a function of the delta it takes, in up to three
// pieces; within piece p a delta d in p.lo..p.hi costs weight × (d − p.target)² +
// p.constant. Deltas outside every piece break the pixel. The first piece has the
// least constant. Most lanes have one piece; the 24-bit luminance has one for each
// way the writer's red and blue bytes wrap.
struct LanePiece {
    double target = 0;
    int lo = 0, hi = 0;
    double constant = 0;
};

class LaneOptions;
struct StepChoice;
struct StepCodes;

// What the lane's next step will need: after this step's delta d, some option of
// `next` must lie in lo − d .. hi − d, or the next pixel of the lane cannot be kept
// valid.
struct LaneAhead {
    const LaneOptions* next = nullptr;  // null: no later step follows on this lane
    int lo = 0, hi = 0;

    bool Allows(int delta) const;
};

struct LaneTarget {
    LaneTarget() = default;
    LaneTarget(double target, int lo, int hi, double pieceWeight, double constant = 0)
        : pieces{{{target, lo, hi, constant}}}, count(1), weight(pieceWeight) {}

    // The cost of a delta: infinite outside every piece.
    double CostOf(int delta) const;
    // The least cost any whole delta could reach, whichever options exist.
    double LeastCost() const;

    std::array<LanePiece, 3> pieces{};
    int count = 0;
    double weight = 1;
    LaneAhead ahead;
};

// A delta a lane can take: the plain nibble n, and for an escape the nibble m.
struct LaneOption {
    int delta = 0;
    uint8_t n = 0, m = 0;
};

// The deltas one lane of a step can reach, plain or escaped, sorted and without
// repeats (the first nibble of a repeated value is kept).
class LaneOptions {
public:
    LaneOptions() = default;
    // Escaped deltas are deltas[n] + escapeScale × escapeDeltas[m].
    LaneOptions(const DeltaTable& deltas, const DeltaTable& escapeDeltas, int escapeScale,
                int nibbles);

    struct Pick {
        LaneOption option;
        double cost = 0;
        bool valid = false;
        // Whether the lane's next step can still keep its pixel valid.
        bool allowed = true;
    };
    // The option of least cost inside the lane's pieces; when none lies inside, the one
    // nearest the first piece's target (and valid = false).
    Pick Best(const LaneTarget& lane, bool escaped) const;
    // The same among the options that the lane's next step allows; Best, marked not
    // allowed, when none is.
    Pick BestAhead(const LaneTarget& lane, bool escaped) const;
    // True when some option (plain or escaped) lies inside lo..hi.
    bool Reaches(int lo, int hi) const {
        // The least option from lo on, looked up; beyond the table's reach no option lies
        // above lo, and below it the least option of all does.
        if (lo > hi) return false;
        const int least = m_leastFrom[static_cast<size_t>(
            std::clamp(lo, -Sorted::kReach - 1, Sorted::kReach + 1) + Sorted::kReach + 1)];
        return least <= hi;
    }
    // Options of one kind, with the index of the option nearest each whole delta
    // from −kReach to kReach (beyond every option).
    struct Sorted {
        static constexpr int kReach = 512;
        void Add(LaneOption option) { options[static_cast<size_t>(count++)] = option; }
        void Finish();
        int NearestIndex(double delta) const {
            const double clamped =
                std::clamp(delta, static_cast<double>(-kReach), static_cast<double>(kReach));
            // The nearest whole delta (halves up); the options beside its nearest cover ties.
            return nearest[static_cast<size_t>(static_cast<int>(clamped + kReach + 0.5))];
        }

        std::array<LaneOption, 64> options{};
        int count = 0;
        std::array<uint8_t, 2 * kReach + 1> nearest{};
        // Twice the midpoint between option i and option i + 1.
        std::array<int, 64> midSum{};
        // The index of the option nearest p / 3 (the first of equals), for p from
        // −kThirdsReach to kThirdsReach − 1: the 24-bit luminance's targets; and of
        // the option nearest p / 24, the 15-bit luminance's.
        static constexpr int kThirdsReach = 2048;
        std::array<uint8_t, 2 * kThirdsReach> nearestThird{};
        static constexpr int kTwentyFourthsReach = 1024;
        std::array<uint8_t, 2 * kTwentyFourthsReach> nearestTwentyFourth{};
        // The same for p / 144, the two-thirds width's luminance, marked kTieWithNext
        // where the next option lies as near: doubles, which do not hold p / 144
        // exactly, may pick either there.
        static constexpr int kHundredFortyFourthsReach = 6144;
        static constexpr uint8_t kTieWithNext = 0x80;
        std::array<uint8_t, 2 * kHundredFortyFourthsReach> nearestHundredFortyFourth{};
    };
    const Sorted& Kind(bool escaped) const { return escaped ? m_escaped : m_plain; }

    std::span<const LaneOption> Options(bool escaped) const {
        const Sorted& sorted = escaped ? m_escaped : m_plain;
        return {sorted.options.data(), static_cast<size_t>(sorted.count)};
    }

private:
    static Pick BestOf(const Sorted& sorted, const LaneTarget& lane);

    Sorted m_plain, m_escaped;
    // For lo from −kReach − 1 to kReach + 1, the least option of either kind from lo on
    // (kNoOption when none).
    static constexpr int kNoOption = std::numeric_limits<int>::max();
    std::array<int, 2 * Sorted::kReach + 3> m_leastFrom{};
};

// The code tables of one delta set and vector table, with the group of each single
// pair (high nibble h, low nibble l) for h, l below `nibbles`, and the lane options of
// luminance and chroma steps.
struct StepCodes {
    CodeTables tables{};
    std::array<std::array<uint8_t, 8>, 8> pairGroup{};
    int nibbles = 0;
    int escapeScale = 1;
    CodeTableKind lumaEscapeTable = kLumaCodes, chromaEscapeTable = kChromaCodes;
    LaneOptions luma, chroma;
};

// Builds the codes for the 15-bit layout (escapes add five times an entry of the same
// table) or the 24-bit one (escapes add an entry of the escape tables); false when the
// vector table offers too few single-pair groups.
bool BuildStepCodes(int deltaSet, int vectorTable, CodeTableLayout layout, StepCodes& codes);

// A chosen step: its index bytes and the delta each lane takes.
struct StepChoice {
    StepCode code;
    int high = 0, low = 0;
};

// Picks the step for two lanes (the high nibble's and the low nibble's): the best
// plain pair, or the best escaped pairs when they gain more than an escape costs;
// among the deltas the lanes' next steps allow, as long as there are any.
StepChoice ChooseStep(const StepCodes& codes, const LaneOptions& options, const LaneTarget& high,
                      const LaneTarget& low);

// A lane of one piece, the common case, without the room for more.
struct PieceLane {
    LanePiece piece;
    double weight = 1;
    LaneAhead ahead;
};

// ChooseStep for two lanes of one piece, on its quick path: nothing when the choice
// needs more (a lane with no option inside its piece, or a look-ahead that rules the
// first choice out); ChooseStep then makes the same choice the long way.
std::optional<StepChoice> ChooseOnePieceStep(const StepCodes& codes, const LaneOptions& options,
                                             const PieceLane& high, const PieceLane& low);

// A lane of one piece whose target is a fraction p / Q and whose costs are whole
// multiples of 1 / U: U × cost(δ) = (Qδ − p)² + c3 for δ in lo..hi.
// Whole numbers order such costs exactly, where doubles only come close.
struct ExactLane {
    int p = 0;
    int lo = 0, hi = 0;
    int64_t c3 = 0;
    // The look-ahead, on the same options: after δ some option must lie in
    // aheadLo − δ .. aheadHi − δ, when `ahead` is set.
    bool ahead = false;
    int aheadLo = 0, aheadHi = 0;
};

// U for targets p / Q: the 24-bit luminance (p / 3, weight 3) and the 15-bit one
// (p / 24, weight 192) count thirds; the two-thirds-width luminance (p / 144, weight
// 192) counts 108ths. The 15-bit chroma gives its own, by its block's size.
template <int Q>
inline constexpr int64_t kExactUnits = Q == 144 ? 108 : 3;

struct ExactChoice {
    StepChoice choice;
    // U × each lane's cost.
    int64_t highCost3 = 0, lowCost3 = 0;
};

// An ExactChoice or nothing, used as an optional. A plain struct: GCC builds a
// std::optional of it in memory on the stack even where everything is inlined.
struct MaybeExactChoice {
    ExactChoice value;
    bool found = false;

    explicit operator bool() const { return found; }
    const ExactChoice* operator->() const { return &value; }
    const ExactChoice& operator*() const { return value; }
};

// What ChooseStep chooses for the LaneTargets of these lanes, found in whole numbers;
// nothing where that is not certain: a lane whose nearest option lies outside its
// range (BestOf then looks further), a comparison across lanes that comes out equal
// (where the rounding of doubles decides), or a look-ahead that rules the first choice
// out. Within a lane the doubles agree: distinct costs lie 1 / U apart, far beyond
// their rounding, and equal ones need a target of whole or half deltas, which doubles
// hold exactly for Q = 3 and 24; the two-thirds width's targets pass through sixths,
// which doubles round, so there (kDoublesExact false) a lane's tie is left to them
// too. Q is 3 (24-bit luminance), 24 (15-bit) or 144 (two-thirds width), or a 15-bit
// chroma step's, whose doubles hold every value exactly; the lanes' pixels lie in
// range, which keeps p within the tables, and p / Q lies within ±kReach (the
// caller's part).
template <int Q, int64_t U = kExactUnits<Q>, bool kDoublesExact = Q != 144>
MaybeExactChoice ChooseExactStep(const StepCodes& codes, const LaneOptions& options, ExactLane high,
                                 ExactLane low);

inline bool LaneAhead::Allows(int delta) const {
    return next == nullptr || next->Reaches(lo - delta, hi - delta);
}

// The step of least cost whose pair of lane deltas satisfies `fits(high, low)`, for
// the rare steps where a condition couples the lanes; nothing when no pair fits.
template <typename Fits>
std::optional<StepChoice> ChooseFittingStep(const StepCodes& codes, const LaneOptions& options,
                                            const LaneTarget& high, const LaneTarget& low,
                                            Fits fits) {
    struct Candidate {
        double cost;
        LaneOption option;
    };
    std::optional<StepChoice> choice;
    double best = std::numeric_limits<double>::infinity();
    for (const bool escaped : {false, true}) {
        const double extra = escaped ? kEscapeRateCost : 0;
        auto sorted = [&](const LaneTarget& lane) {
            std::array<Candidate, 64> candidates{};
            size_t count = 0;
            for (const LaneOption& o : options.Options(escaped))
                if (const double cost = lane.CostOf(o.delta); cost < best)
                    candidates[count++] = {cost, o};
            std::sort(candidates.begin(), candidates.begin() + static_cast<long>(count),
                      [](const Candidate& a, const Candidate& b) { return a.cost < b.cost; });
            return std::pair(candidates, count);
        };
        const auto [highs, highCount] = sorted(high);
        const auto [lows, lowCount] = sorted(low);
        for (size_t i = 0; i < highCount; ++i)
            for (size_t j = 0; j < lowCount && highs[i].cost + lows[j].cost + extra < best; ++j) {
                if (!fits(highs[i].option.delta, lows[j].option.delta)) continue;
                best = highs[i].cost + lows[j].cost + extra;
                const LaneOption& h = highs[i].option;
                const LaneOption& l = lows[j].option;
                choice = StepChoice{
                    {codes.pairGroup[h.n][l.n], escaped ? codes.pairGroup[h.m][l.m] : uint8_t{0}},
                    h.delta,
                    l.delta};
            }
    }
    return choice;
}

// The packed value the decoder adds to its accumulator for a step on `table`.
inline uint32_t StepValue(const StepCodes& codes, CodeTableKind table, StepCode code) {
    uint32_t value = codes.tables[table][code.group][0] >> 1;
    if (code.escape != 0) {
        const CodeTableKind escapeTable =
            table == kLumaCodes ? codes.lumaEscapeTable : codes.chromaEscapeTable;
        value += (codes.tables[escapeTable][code.escape][0] >> 1) *
                 static_cast<uint32_t>(codes.escapeScale);
    }
    return value;
}

// Inlined into the mode coders' step, where the lanes stay in registers.
template <int Q, int64_t U, bool kDoublesExact>
[[gnu::always_inline]] inline MaybeExactChoice ChooseExactStep(const StepCodes& codes,
                                                               const LaneOptions& options,
                                                               ExactLane high, ExactLane low) {
    using Sorted = LaneOptions::Sorted;
    // The escape's cost, in the lanes' units.
    constexpr int64_t kEscape3 = 48 * U;
    static_assert(kEscapeRateCost == 48);
    // Keeps the dividend below positive for the targets of lanes whose pixels lie in
    // range (the caller's part).
    constexpr int kBias = 2048;
    // floor(p / Q + 1/2), the target's nearest whole delta (halves up), as LeastCost
    // and NearestIndex round it.
    auto rounded = [](int p) {
        return static_cast<int>(static_cast<unsigned>(2 * (p + kBias * Q) + Q) / (2 * Q)) - kBias;
    };
    struct Nearest {
        const LaneOption* option = nullptr;
        int64_t cost3 = 0;
    };
    // The option nearest p / Q (the first of equals) when it lies inside lo..hi: then it
    // is the one BestOf picks.
    auto nearest = [&](const Sorted& sorted, ExactLane lane) {
        size_t i;
        if constexpr (Q == 3) {
            static_assert(Sorted::kThirdsReach > 4 * 255);
            i = sorted.nearestThird[static_cast<size_t>(lane.p + Sorted::kThirdsReach)];
        } else if constexpr (Q == 24) {
            // Three 8-bit channels less 8 × three 5-bit fields in range.
            static_assert(Sorted::kTwentyFourthsReach > 3 * 255);
            i = sorted
                    .nearestTwentyFourth[static_cast<size_t>(lane.p + Sorted::kTwentyFourthsReach)];
        } else if constexpr (Q == 144 && !kDoublesExact) {
            // Three channels' 6 × own less the second difference (0..6120 less 48 × the
            // fields, 0..4464) stay within it; beyond, only a broken pixel: declined.
            static_assert(Sorted::kHundredFortyFourthsReach > 3 * (6 * 255 + 2 * 255));
            const auto at = static_cast<unsigned>(lane.p + Sorted::kHundredFortyFourthsReach);
            if (at >= 2 * Sorted::kHundredFortyFourthsReach) return Nearest{};
            const uint8_t entry = sorted.nearestHundredFortyFourth[at];
            if ((entry & Sorted::kTieWithNext) != 0) return Nearest{};
            i = entry;
        } else {
            const int whole = std::clamp(rounded(lane.p), -Sorted::kReach, Sorted::kReach);
            i = sorted.nearest[static_cast<size_t>(whole + Sorted::kReach)];
            // The nearest option lies next to the one nearest the rounded target.
            if (i > 0 && 2 * lane.p <= Q * sorted.midSum[i - 1])
                --i;
            else if (static_cast<int>(i) + 1 < sorted.count && 2 * lane.p > Q * sorted.midSum[i])
                ++i;
            // A tie with the next option, which only rounding decides in doubles that do
            // not hold the target exactly.
            if (!kDoublesExact && static_cast<int>(i) + 1 < sorted.count &&
                2 * lane.p == Q * sorted.midSum[i])
                return Nearest{};
        }
        const LaneOption& option = sorted.options[i];
        if (option.delta < lane.lo || option.delta > lane.hi) return Nearest{};
        const int64_t distance = Q * option.delta - lane.p;
        return Nearest{&option, distance * distance + lane.c3};
    };
    auto leastCost3 = [&](const ExactLane& lane) {
        const int64_t distance = Q * std::clamp(rounded(lane.p), lane.lo, lane.hi) - lane.p;
        return distance * distance + lane.c3;
    };
    static_assert(kBias > 4 * 255, "targets of pixels in range stay clear of the bias");
    const Nearest plainHigh = nearest(options.Kind(false), high),
                  plainLow = nearest(options.Kind(false), low);
    if (plainHigh.option == nullptr || plainLow.option == nullptr) return {};
    ExactChoice exact{{{codes.pairGroup[plainHigh.option->n][plainLow.option->n], 0},
                       plainHigh.option->delta,
                       plainLow.option->delta},
                      plainHigh.cost3,
                      plainLow.cost3};
    const int64_t plainCost3 = plainHigh.cost3 + plainLow.cost3;
    // The least costs always, without a branch on the cheaper bound of the constants,
    // which follows the picture's noise.
    const int64_t gain3 = plainCost3 - leastCost3(high) - leastCost3(low);
    if (gain3 == kEscape3) return {};
    if (gain3 > kEscape3) {
        const Nearest escapedHigh = nearest(options.Kind(true), high),
                      escapedLow = nearest(options.Kind(true), low);
        if (escapedHigh.option == nullptr || escapedLow.option == nullptr) return {};
        const int64_t escapedCost3 = escapedHigh.cost3 + escapedLow.cost3 + kEscape3;
        if (escapedCost3 == plainCost3) return {};
        if (escapedCost3 < plainCost3)
            exact = {{{codes.pairGroup[escapedHigh.option->n][escapedLow.option->n],
                       codes.pairGroup[escapedHigh.option->m][escapedLow.option->m]},
                      escapedHigh.option->delta,
                      escapedLow.option->delta},
                     escapedHigh.cost3,
                     escapedLow.cost3};
    }
    auto allows = [&](const ExactLane& lane, int delta) {
        return !lane.ahead || options.Reaches(lane.aheadLo - delta, lane.aheadHi - delta);
    };
    if (!allows(high, exact.choice.high) || !allows(low, exact.choice.low)) return {};
    return {exact, true};
}

}  // namespace truemotion
