#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "truemotion/CodeTables.h"
#include "truemotion/TrueMotionTables.h"

// The encoder's side of a step: which index bytes make a given pair of deltas, and
// the choice of the pair (and escape) whose result costs least.

namespace truemotion {

// Cost of a candidate that would break a pixel (a field or byte out of range): such
// candidates lose against every valid one but stay ordered among themselves.
inline constexpr double kBrokenPixelCost = 1e9;
// What an escape's two extra index bytes must buy back, in squared error.
inline constexpr double kEscapeRateCost = 48.0;

// The code tables of one delta set and vector table, with the group of each single
// pair (high nibble h, low nibble l) for h, l below `nibbles`.
struct StepCodes {
    CodeTables tables{};
    std::array<std::array<uint8_t, 8>, 8> pairGroup{};
    int nibbles = 0;
    DeltaTable luma{}, chroma{}, lumaEscape{}, chromaEscape{};
};

// Builds the codes; false when the vector table offers no single-pair groups.
bool BuildStepCodes(int deltaSet, int vectorTable, CodeTableLayout layout, StepCodes& codes);

// One step's choice: the pair group, and for an escape the escape group.
struct StepChoice {
    int high = 0, low = 0;
    int escapeHigh = -1, escapeLow = -1;
};

// Picks nibbles for the two lanes of a step (lane 0 takes the high nibble). A lane's
// delta is deltas[n], plus escapeScale × escapeDeltas[m] for an escape. costHigh and
// costLow give the error of a lane's total delta.
template <typename CostHigh, typename CostLow>
StepChoice ChooseStep(const DeltaTable& deltas, const DeltaTable& escapeDeltas, int escapeScale, int nibbles,
                      CostHigh&& costHigh, CostLow&& costLow) {
    struct LaneBest {
        double cost = std::numeric_limits<double>::infinity();
        int n = 0, m = -1;
    };
    auto plain = [&](auto& cost) {
        LaneBest best;
        for (int n = 0; n < nibbles; ++n) {
            const double c = cost(deltas[n]);
            if (c < best.cost) best = {c, n, -1};
        }
        return best;
    };
    auto escaped = [&](auto& cost) {
        LaneBest best;
        for (int m = 0; m < nibbles; ++m)
            for (int n = 0; n < nibbles; ++n) {
                const double c = cost(deltas[n] + escapeScale * escapeDeltas[m]);
                if (c < best.cost) best = {c, n, m};
            }
        return best;
    };
    const LaneBest high = plain(costHigh), low = plain(costLow);
    StepChoice choice{high.n, low.n, -1, -1};
    if (high.cost + low.cost <= kEscapeRateCost) return choice;
    const LaneBest highEscaped = escaped(costHigh), lowEscaped = escaped(costLow);
    if (highEscaped.cost + lowEscaped.cost + kEscapeRateCost < high.cost + low.cost)
        choice = {highEscaped.n, lowEscaped.n, highEscaped.m, lowEscaped.m};
    return choice;
}

// Appends a step's index bytes and returns the packed value the decoder adds for it.
inline uint32_t EmitStep(const StepCodes& codes, CodeTableKind table, CodeTableKind escapeTable, uint32_t escapeScale,
                         const StepChoice& choice, std::vector<uint8_t>& out) {
    const uint8_t group = codes.pairGroup[choice.high][choice.low];
    out.push_back(group);
    uint32_t added = codes.tables[table][group][0] >> 1;
    if (choice.escapeHigh >= 0) {
        const uint8_t escape = codes.pairGroup[choice.escapeHigh][choice.escapeLow];
        out.push_back(0);
        out.push_back(escape);
        added += (codes.tables[escapeTable][escape][0] >> 1) * escapeScale;
    }
    return added;
}

}  // namespace truemotion
