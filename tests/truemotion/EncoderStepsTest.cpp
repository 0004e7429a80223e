#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>

#include "truemotion/EncoderSteps.h"

// The encoder's choice of one step: the codes it can make, the delta nearest each
// lane's wish within its range, when an escape pays, and the look-ahead that keeps the
// lane's next pixel reachable.

namespace truemotion {
namespace {

StepCodes Codes(int deltaSet, int vectorTable, CodeTableLayout layout) {
    StepCodes codes;
    EXPECT_TRUE(BuildStepCodes(deltaSet, vectorTable, layout, codes));
    return codes;
}

// Every pair of nibbles has a group of its own, and the decoder's packed addition of
// that group's entry moves each lane by the pair's deltas: in the 24-bit layout the
// left byte of a half by the high nibble's delta, in the 15-bit layout all three fields
// of the left pixel.
TEST(StepCodes, EveryPairGroupAddsItsTwoDeltas) {
    for (int vectorTable = 1; vectorTable <= 3; ++vectorTable)
        for (int deltaSet = 0; deltaSet < 4; ++deltaSet) {
            SCOPED_TRACE("vector table " + std::to_string(vectorTable) + ", delta set " +
                         std::to_string(deltaSet));
            const auto& luma = kLumaDeltas[static_cast<size_t>(deltaSet)];
            const auto& chroma = kChromaDeltas[static_cast<size_t>(deltaSet)];
            const StepCodes codes24 = Codes(deltaSet, vectorTable, CodeTableLayout::k24Bit);
            const StepCodes codes15 = Codes(deltaSet, vectorTable, CodeTableLayout::k15Bit);
            // Table 1 holds pairs of nibbles 0..6 only.
            EXPECT_EQ(codes24.nibbles, vectorTable == 1 ? 7 : 8);
            for (int h = 0; h < codes24.nibbles; ++h)
                for (int l = 0; l < codes24.nibbles; ++l) {
                    const StepCode code{codes24.pairGroup[h][l], 0};
                    ASSERT_NE(code.group, 0);
                    // Each group is a single pair: its first entry ends the group.
                    EXPECT_EQ(codes24.tables[kLumaCodes][code.group][0] & 1, 1u);
                    const uint32_t half = (100u << 8 | 100u) + StepValue(codes24, kLumaCodes, code);
                    EXPECT_EQ(static_cast<int>((half >> 8) & 0xFF), 100 + luma[h]);
                    EXPECT_EQ(static_cast<int>(half & 0xFF), 100 + luma[l]);
                    // Red in the low half of a sample, blue above it, as the writer adds them.
                    const uint32_t sample =
                        (100u | 100u << 16) + StepValue(codes24, kChromaCodes, code);
                    EXPECT_EQ(static_cast<int>(sample & 0xFFFF), 100 + chroma[h]);
                    EXPECT_EQ(static_cast<int>((sample >> 16) & 0xFF), 100 + chroma[l]);

                    // Mid-grey pairs have room for the deltas up to 15 in every field.
                    if (std::max({std::abs(luma[h]), std::abs(luma[l]), std::abs(chroma[h]),
                                  std::abs(chroma[l])}) > 15)
                        continue;
                    const uint32_t grey = 0x80008000u | 16u * 0x421u * 0x10001u;
                    const uint32_t word = grey + StepValue(codes15, kLumaCodes, code);
                    for (int shift : {0, 5, 10}) {
                        EXPECT_EQ(static_cast<int>((word >> shift) & 31), 16 + luma[h]);
                        EXPECT_EQ(static_cast<int>((word >> (16 + shift)) & 31), 16 + luma[l]);
                    }
                    const uint32_t coloured = grey + StepValue(codes15, kChromaCodes, code);
                    EXPECT_EQ(static_cast<int>(coloured & 31), 16 + chroma[h]);
                    EXPECT_EQ(static_cast<int>((coloured >> 5) & 31), 16);
                    EXPECT_EQ(static_cast<int>((coloured >> 10) & 31), 16 + chroma[l]);
                }
        }
}

// An escape adds its group's entry on top: once in the 24-bit layout, from the escape
// tables; five times in the 15-bit layout, from the same table.
TEST(StepCodes, EscapesAddTheEscapeGroupsDeltas) {
    const StepCodes codes24 = Codes(0, 2, CodeTableLayout::k24Bit);
    // Luminance nibble 6 is +6, escape nibble 4 is +115; chroma nibble 6 is +5, escape +100.
    const StepCode code{codes24.pairGroup[6][1], codes24.pairGroup[4][0]};
    const uint32_t half = (50u << 8 | 50u) + StepValue(codes24, kLumaCodes, code);
    EXPECT_EQ((half >> 8) & 0xFF, 50u + 6 + 115);
    EXPECT_EQ(half & 0xFF, 50u - 1 + 0);
    EXPECT_EQ(static_cast<int16_t>(StepValue(codes24, kChromaCodes, code) & 0xFFFF), 5 + 100);

    const StepCodes codes15 = Codes(0, 2, CodeTableLayout::k15Bit);
    // Luminance nibbles 3 (−3) and 2 (+1), escaped by nibbles 1 (−1) and 2 (+1).
    const StepCode code15{codes15.pairGroup[3][2], codes15.pairGroup[1][2]};
    const uint32_t word =
        (0x80008000u | 20u * 0x421u * 0x10001u) + StepValue(codes15, kLumaCodes, code15);
    EXPECT_EQ(word & 31, 20u - 3 - 5);
    EXPECT_EQ((word >> 16) & 31, 20u + 1 + 5);
}

TEST(LaneOptions, PicksTheNearestDeltaInsideTheLanesRange) {
    // 24-bit luminance of delta set 0: plain deltas 0, ±1, ±3, ±6; escapes add 0, −15,
    // ±50, ±115, ±235.
    const StepCodes codes = Codes(0, 2, CodeTableLayout::k24Bit);
    struct Case {
        const char* name;
        LaneTarget lane;
        bool escaped;
        int delta;
        bool valid;
    };
    // A far piece reachable by escapes at no constant, and a near one that costs 900.
    LaneTarget twoPieces(52.2, 40, 60, 1.0, 0.0);
    twoPieces.pieces[1] = {0, -10, 10, 900.0};
    twoPieces.count = 2;
    const Case cases[] = {
        {"nearest", LaneTarget(2.4, -255, 255, 3), false, 3, true},
        {"range cuts off the nearest", LaneTarget(5.8, -255, 4, 3), false, 3, true},
        {"target beyond every plain delta", LaneTarget(40, -255, 255, 3), false, 6, true},
        {"nothing inside the range", LaneTarget(2.2, 4, 5, 3), false, 3, false},
        {"escaped", LaneTarget(52.6, -255, 255, 3), true, 53, true},
        {"escaped large", LaneTarget(-300, -255, 255, 3), true, -241, true},
        {"cheaper piece", twoPieces, true, 53, true},
        {"cheaper piece out of plain reach", twoPieces, false, 0, true},
    };
    for (const Case& c : cases) {
        const auto pick = codes.luma.Best(c.lane, c.escaped);
        EXPECT_EQ(pick.option.delta, c.delta) << c.name;
        EXPECT_EQ(pick.valid, c.valid) << c.name;
    }
}

TEST(LaneOptions, ReachesTellsWhetherAnyDeltaLiesInARange) {
    // 15-bit luminance of delta set 0 reaches n + 5m for n, m in 0, ±1, ±3, ±6: not 7.
    const StepCodes codes = Codes(0, 2, CodeTableLayout::k15Bit);
    EXPECT_TRUE(codes.luma.Reaches(6, 6));
    EXPECT_TRUE(codes.luma.Reaches(8, 8));  // 3 + 5
    EXPECT_FALSE(codes.luma.Reaches(7, 7));
    EXPECT_TRUE(codes.luma.Reaches(7, 8));
    EXPECT_FALSE(codes.luma.Reaches(37, 100));
    EXPECT_FALSE(codes.luma.Reaches(3, 2));
}

// The tables of the option nearest p / Q hold, for every p, the first of the nearest
// options; the two-thirds width's marks where the next lies as near, since there the
// doubles' rounding decides.
TEST(LaneOptions, NearestTablesHoldTheFirstNearestOption) {
    using Sorted = LaneOptions::Sorted;
    for (const auto layout : {CodeTableLayout::k15Bit, CodeTableLayout::k24Bit})
        for (int deltaSet = 0; deltaSet < 4; ++deltaSet) {
            const StepCodes codes = Codes(deltaSet, 2, layout);
            for (const LaneOptions* options : {&codes.luma, &codes.chroma})
                for (const bool escaped : {false, true}) {
                    SCOPED_TRACE("delta set " + std::to_string(deltaSet) + ", escaped " +
                                 std::to_string(escaped));
                    const Sorted& sorted = options->Kind(escaped);
                    struct Table {
                        int q, reach;
                        const uint8_t* entries;
                        bool marksTies;
                    };
                    const Table tables[] = {
                        {3, Sorted::kThirdsReach, sorted.nearestThird.data(), false},
                        {24, Sorted::kTwentyFourthsReach, sorted.nearestTwentyFourth.data(), false},
                        {144, Sorted::kHundredFortyFourthsReach,
                         sorted.nearestHundredFortyFourth.data(), true}};
                    int ties = 0;
                    for (const Table& table : tables)
                        for (int p = -table.reach; p < table.reach; ++p) {
                            int first = 0;
                            for (int k = 1; k < sorted.count; ++k)
                                if (std::abs(table.q * sorted.options[k].delta - p) <
                                    std::abs(table.q * sorted.options[first].delta - p))
                                    first = k;
                            const bool tie =
                                first + 1 < sorted.count &&
                                std::abs(table.q * sorted.options[first + 1].delta - p) ==
                                    std::abs(table.q * sorted.options[first].delta - p);
                            const int entry = table.entries[p + table.reach];
                            ASSERT_EQ(entry & ~Sorted::kTieWithNext, first)
                                << "p " << p << " / " << table.q;
                            if (!table.marksTies) continue;
                            ASSERT_EQ((entry & Sorted::kTieWithNext) != 0, tie)
                                << "p " << p << " / " << table.q;
                            ties += tie;
                        }
                    EXPECT_GT(ties, 0);
                }
        }
}

TEST(ChooseStep, EscapesOnlyWhenTheGainPaysForTheTwoBytes) {
    const StepCodes codes = Codes(0, 2, CodeTableLayout::k24Bit);
    struct Case {
        double target, weight;
        bool escaped;
        int delta;
    };
    const Case cases[] = {
        {100, 3, true, 109},     // plain +6 misses by 94; 115 − 6 by 9
        {100, 0.001, false, 6},  // the same miss is too cheap to pay for an escape
        {8, 3, false, 6},        // escapes reach nothing nearer than 6 + 0
        {-51.6, 3, true, -51},   // −50 − 1
    };
    for (const Case& c : cases) {
        const LaneTarget lane(c.target, -255, 255, c.weight);
        const StepChoice choice = ChooseStep(codes, codes.luma, lane, lane);
        EXPECT_EQ(choice.code.escape != 0, c.escaped) << c.target;
        EXPECT_EQ(choice.high, c.delta) << c.target;
        EXPECT_EQ(choice.low, c.delta) << c.target;
    }
}

// The next pixel of a lane sits on white above while this one climbs: only a delta
// that keeps the lane low enough leaves that pixel a reachable step (24-bit escapes
// reach down to −241).
TEST(ChooseStep, LooksAheadToTheLanesNextPixel) {
    const StepCodes codes = Codes(0, 2, CodeTableLayout::k24Bit);
    LaneTarget climbing(6, -255, 255, 3);
    // The next pixel's own delta must land in −300 − d .. −250 − d.
    climbing.ahead = {&codes.luma, -300, -250};
    const LaneTarget calm(0, -255, 255, 3);
    const StepChoice choice = ChooseStep(codes, codes.luma, climbing, calm);
    EXPECT_LE(choice.high, -250 + 241);
    EXPECT_EQ(choice.high, -9);  // −15 + 6, the allowed delta nearest +6
    EXPECT_TRUE(climbing.ahead.Allows(choice.high));

    // Without the look-ahead the lane takes +6.
    EXPECT_EQ(ChooseStep(codes, codes.luma, LaneTarget(6, -255, 255, 3), calm).high, 6);
}

TEST(ChooseFittingStep, FindsTheCheapestPairThatFitsACoupledCondition) {
    const StepCodes codes = Codes(0, 2, CodeTableLayout::k15Bit);
    const LaneTarget red(3, -100, 100, 64), blue(-4, -100, 100, 64);
    // Unconstrained the step takes red +3, blue −4; forbid the pairs whose sum is below 0.
    // Chroma deltas reach 0, ±1, −2, 3, −4, 5 plainly and not −3 at all. The best
    // fitting plain pairs, +3 −2 and +5 −4, miss by 2 (cost 256); escaped, +4 (−1 + 5)
    // and −4 miss by 1, which pays for the escape (64 + 48).
    const auto choice =
        ChooseFittingStep(codes, codes.chroma, red, blue, [](int r, int b) { return r + b >= 0; });
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->high, 4);
    EXPECT_EQ(choice->low, -4);
    EXPECT_NE(choice->code.escape, 0);
    EXPECT_FALSE(ChooseFittingStep(codes, codes.chroma, red, blue, [](int, int) {
                     return false;
                 }).has_value());
}

// The quick paths (whole numbers, and doubles for lanes of one piece) must choose
// exactly what the long way chooses, or leave the choice to it; they answer many steps
// even of these harsh ones.
// The long way is forced by a second, empty piece, which changes no cost.
// The lane taken the long way, which a second, empty piece forces.
LaneTarget LongWay(const LaneTarget& lane) {
    LaneTarget twoPieces = lane;
    twoPieces.pieces[1] = {0, 1, 0, 0};
    twoPieces.count = 2;
    return twoPieces;
}

bool SameStep(const StepChoice& a, const StepChoice& b) {
    return a.code.group == b.code.group && a.code.escape == b.code.escape && a.high == b.high &&
           a.low == b.low;
}

TEST(ChooseStep, QuickPathsChooseAsTheLongWay) {
    std::mt19937 random(7);
    auto uniform = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(random);
    };
    // The 15-bit coder's luminance comes in two forms: of whole wanted values, and of the
    // two-thirds width's, which pass through sixths.
    enum class Lane { k24Bit, k15Bit, kTwoThirds };
    for (const Lane kind : {Lane::k24Bit, Lane::k15Bit, Lane::kTwoThirds})
        for (int deltaSet = 0; deltaSet < 4; ++deltaSet) {
            const auto layout =
                kind == Lane::k24Bit ? CodeTableLayout::k24Bit : CodeTableLayout::k15Bit;
            const StepCodes codes = Codes(deltaSet, 2, layout);
            SCOPED_TRACE("lane kind " + std::to_string(static_cast<int>(kind)) + ", delta set " +
                         std::to_string(deltaSet));
            int steps = 0, exactAnswers = 0, pieceAnswers = 0;
            while (steps < 20000) {
                struct Lanes {
                    ExactLane exact;
                    LaneTarget target;
                };
                // A lane as the 24-bit, the 15-bit or the two-thirds-width coder makes
                // it, with or without a look-ahead, on small ranges of values so that ties
                // come often.
                auto makeLane = [&]() -> std::optional<Lanes> {
                    Lanes lanes;
                    const int spread = uniform(0, 3) == 0 ? 255 : 12;
                    if (kind == Lane::k24Bit) {
                        const int red = uniform(-spread, spread), blue = uniform(-spread, spread);
                        const int lo = std::max({0, -red, -blue}),
                                  hi = std::min({255, 255 - red, 255 - blue});
                        if (lo > hi) return std::nullopt;
                        const int base = uniform(0, 255), mid = uniform(0, 255);
                        const int u0 = std::clamp(mid + uniform(-spread, spread), 0, 255),
                                  u1 = std::clamp(mid + uniform(-spread, spread), 0, 255) - red,
                                  u2 = std::clamp(mid + uniform(-spread, spread), 0, 255) - blue;
                        const int sum = u0 + u1 + u2;
                        lanes.exact = {sum - 3 * base, lo - base, hi - base,
                                       3 * (u0 * u0 + u1 * u1 + u2 * u2) - sum * sum};
                        const double mean = (double{1.0} * u0 + u1 + u2) / 3;
                        const double constant = (u0 - mean) * (u0 - mean) +
                                                (u1 - mean) * (u1 - mean) +
                                                (u2 - mean) * (u2 - mean);
                        lanes.target = LaneTarget(mean - base, lo - base, hi - base, 3.0, constant);
                    } else {
                        // Two-thirds width: a pixel wants its column less a sixth of the
                        // second difference across its column, the mid one and the other.
                        const int scale = kind == Lane::kTwoThirds ? 6 : 1;
                        int fields[3], wanted = 0;
                        double sum = 0;
                        for (int& f : fields) {
                            f = uniform(0, 31);
                            if (kind == Lane::kTwoThirds) {
                                const int mid = uniform(0, 255);
                                const int own = std::clamp(mid + uniform(-spread, spread), 0, 255),
                                          other =
                                              std::clamp(mid + uniform(-spread, spread), 0, 255);
                                const int second = own - 2 * mid + other;
                                wanted += 6 * own - second;
                                sum += (own - second / 6.0) / 8.0 - f;
                            } else {
                                const int w = uniform(0, 255);
                                wanted += w;
                                sum += w / 8.0 - f;
                            }
                        }
                        const int lo = -std::min({fields[0], fields[1], fields[2]}),
                                  hi = 31 - std::max({fields[0], fields[1], fields[2]});
                        lanes.exact = {wanted - 8 * scale * (fields[0] + fields[1] + fields[2]), lo,
                                       hi, 0};
                        lanes.target = LaneTarget(sum / 3, lo, hi, 192.0);
                    }
                    if (uniform(0, 2) != 0) {
                        const int reach = kind == Lane::k24Bit ? 255 : 31;
                        const int next = uniform(0, reach), width = uniform(0, 2) == 0 ? 2 : reach;
                        lanes.exact.ahead = true;
                        lanes.exact.aheadLo = -next;
                        lanes.exact.aheadHi = width - next;
                        lanes.target.ahead = {&codes.luma, -next, width - next};
                    }
                    return lanes;
                };
                const auto high = makeLane(), low = makeLane();
                if (!high || !low) continue;
                ++steps;
                const StepChoice expected =
                    ChooseStep(codes, codes.luma, LongWay(high->target), LongWay(low->target));
                const auto exact =
                    kind == Lane::k24Bit
                        ? ChooseExactStep<3>(codes, codes.luma, high->exact, low->exact)
                    : kind == Lane::k15Bit
                        ? ChooseExactStep<24>(codes, codes.luma, high->exact, low->exact)
                        : ChooseExactStep<144>(codes, codes.luma, high->exact, low->exact);
                if (exact) {
                    ++exactAnswers;
                    ASSERT_TRUE(SameStep(exact->choice, expected))
                        << "whole numbers, step " << steps;
                }
                const auto piece = ChooseOnePieceStep(
                    codes, codes.luma,
                    {high->target.pieces[0], high->target.weight, high->target.ahead},
                    {low->target.pieces[0], low->target.weight, low->target.ahead});
                if (piece) {
                    ++pieceAnswers;
                    ASSERT_TRUE(SameStep(*piece, expected)) << "one piece, step " << steps;
                }
                ASSERT_TRUE(
                    SameStep(ChooseStep(codes, codes.luma, high->target, low->target), expected))
                    << "step " << steps;
            }
            EXPECT_GT(exactAnswers, steps / 3);
            EXPECT_GT(pieceAnswers, steps / 3);
        }
}

// A 15-bit chroma step's lanes in whole numbers must choose as the doubles do, ties
// within a lane included (there the doubles are exact), for every block shape: Rows
// rows of Count pixels, each Columns source columns wide. The offsets of a gray source
// leave many targets on the midpoint between two options.
template <int Rows, int Columns, int Count>
void CheckChromaLanesChooseAsTheLongWay(const StepCodes& codes, std::mt19937& random) {
    constexpr int kQ = 8 * Rows * Columns * Count;
    constexpr int64_t kUnits = int64_t{Rows} * Rows * Columns * Columns * Count;
    auto uniform = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(random);
    };
    int answers = 0;
    constexpr int kSteps = 4000;
    for (int step = 0; step < kSteps; ++step) {
        ExactLane exact[2];
        LaneTarget lanes[2];
        for (int lane = 0; lane < 2; ++lane) {
            const int spread = uniform(0, 3) == 0 ? 255 : 2;
            int p = 0;
            double sum = 0;
            for (int pixel = 0; pixel < Count; ++pixel) {
                int offset = 0;
                for (int k = 0; k < Rows * Columns; ++k) offset += uniform(-spread, spread);
                const int have = uniform(-6, 6);
                p += offset - 8 * Rows * Columns * have;
                sum += offset / (8.0 * Rows * Columns) - have;
            }
            exact[lane] = {p, -1000, 1000, 0};
            lanes[lane] = LongWay(LaneTarget(sum / Count, -1000, 1000, 64.0 * Count));
        }
        const StepChoice expected = ChooseStep(codes, codes.chroma, lanes[0], lanes[1]);
        const auto choice =
            ChooseExactStep<kQ, kUnits, true>(codes, codes.chroma, exact[0], exact[1]);
        if (!choice) continue;
        ++answers;
        ASSERT_TRUE(SameStep(choice->choice, expected))
            << Rows << " rows, " << Columns << " columns, " << Count << " pixels, step " << step;
    }
    EXPECT_GT(answers, kSteps / 2);
}

TEST(ChooseStep, ChromaInWholeNumbersChoosesAsTheLongWay) {
    std::mt19937 random(11);
    for (int deltaSet = 0; deltaSet < 4; ++deltaSet) {
        SCOPED_TRACE("delta set " + std::to_string(deltaSet));
        const StepCodes codes = Codes(deltaSet, 2, CodeTableLayout::k15Bit);
        CheckChromaLanesChooseAsTheLongWay<2, 1, 2>(codes, random);
        CheckChromaLanesChooseAsTheLongWay<2, 1, 4>(codes, random);
        CheckChromaLanesChooseAsTheLongWay<4, 1, 2>(codes, random);
        CheckChromaLanesChooseAsTheLongWay<4, 1, 4>(codes, random);
        CheckChromaLanesChooseAsTheLongWay<2, 2, 2>(codes, random);
        CheckChromaLanesChooseAsTheLongWay<4, 2, 2>(codes, random);
    }
}

// A 24-bit chroma sample shown on Q pixels (a power of two) in whole numbers must choose
// as the doubles do, whose weight of two thirds is rounded: ties within a lane stay
// ties there, and costs apart in whole numbers stay apart. Offsets near zero leave
// many targets on the midpoint between two options; `have` near the range's end
// leaves the nearest option outside it.
template <int Q>
void Check24BitChromaChoosesAsTheLongWay(const StepCodes& codes, std::mt19937& random) {
    auto uniform = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(random);
    };
    int answers = 0;
    constexpr int kSteps = 4000;
    for (int step = 0; step < kSteps; ++step) {
        ExactLane exact[2];
        LaneTarget lanes[2];
        for (int lane = 0; lane < 2; ++lane) {
            const int spread = uniform(0, 3) == 0 ? 255 : 3;
            int sum = 0;
            for (int k = 0; k < Q; ++k) sum += uniform(-spread, spread);
            const int have = uniform(0, 7) == 0 ? uniform(-260, 260) : uniform(-20, 20);
            exact[lane] = {sum - Q * have, -255 - have, 255 - have, 0};
            lanes[lane] = LongWay(LaneTarget(sum / static_cast<double>(Q) - have, -255 - have,
                                             255 - have, 2.0 / 3.0 * Q));
        }
        const StepChoice expected = ChooseStep(codes, codes.chroma, lanes[0], lanes[1]);
        const auto choice =
            ChooseExactStep<Q, 3 * Q / 2, true>(codes, codes.chroma, exact[0], exact[1]);
        if (!choice) continue;
        ++answers;
        ASSERT_TRUE(SameStep(choice->choice, expected)) << Q << " pixels, step " << step;
    }
    EXPECT_GT(answers, kSteps / 2);
}

TEST(ChooseStep, Chroma24BitInWholeNumbersChoosesAsTheLongWay) {
    std::mt19937 random(12);
    for (int deltaSet = 0; deltaSet < 4; ++deltaSet)
        for (int vectorTable = 1; vectorTable <= 3; ++vectorTable) {
            SCOPED_TRACE("delta set " + std::to_string(deltaSet) + ", vector table " +
                         std::to_string(vectorTable));
            const StepCodes codes = Codes(deltaSet, vectorTable, CodeTableLayout::k24Bit);
            Check24BitChromaChoosesAsTheLongWay<4>(codes, random);
            Check24BitChromaChoosesAsTheLongWay<8>(codes, random);
            Check24BitChromaChoosesAsTheLongWay<16>(codes, random);
        }
}

}  // namespace
}  // namespace truemotion
