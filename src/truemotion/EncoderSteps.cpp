#include "truemotion/EncoderSteps.h"

namespace truemotion {

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
        for (int l = 0; l < codes.nibbles; ++l) codes.pairGroup[h][l] = static_cast<uint8_t>(found[h][l]);
    codes.luma = kLumaDeltas[deltaSet];
    codes.chroma = kChromaDeltas[deltaSet];
    codes.lumaEscape = kLumaEscapeDeltas[deltaSet];
    codes.chromaEscape = kChromaEscapeDeltas[deltaSet];
    return true;
}

}  // namespace truemotion
