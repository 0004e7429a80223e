#include "truemotion/CodeTables.h"

#include "truemotion/TrueMotionTables.h"

namespace truemotion {
namespace {

// Spreads a luminance delta over the red, green and blue fields of a 15-bit pixel.
constexpr uint32_t kLumaFieldSpread = 0x421;

uint32_t Wrap(int value) {
    return static_cast<uint32_t>(value);
}

// Checks the group structure before anything is written, so a bad table changes nothing.
bool IsWellFormed(std::span<const uint8_t> vectorTable) {
    size_t position = 0;
    for (int group = 0; group < kCodeGroupCount; ++group) {
        if (position >= vectorTable.size()) return false;
        const uint8_t length = vectorTable[position];
        if (length < 1 || length > kCodeSlotCount) return false;
        position += 1 + length;
        if (position > vectorTable.size()) return false;
    }
    return true;
}

}  // namespace

std::span<const uint8_t> VectorTableBytes(int table) {
    switch (table) {
        case 1:
            return kVectorTable1;
        case 2:
            return kVectorTable2;
        case 3:
            return kVectorTable3;
        default:
            return {};
    }
}

bool BuildCodeTables(int deltaSet, std::span<const uint8_t> vectorTable, CodeTableLayout layout,
                     CodeTables& tables) {
    if (deltaSet < 0 || deltaSet > 3 || !IsWellFormed(vectorTable)) return false;
    const DeltaTable& luma = kLumaDeltas[deltaSet];
    const DeltaTable& lumaEscape = kLumaEscapeDeltas[deltaSet];
    const DeltaTable& chroma = kChromaDeltas[deltaSet];
    const DeltaTable& chromaEscape = kChromaEscapeDeltas[deltaSet];

    size_t position = 0;
    for (int group = 0; group < kCodeGroupCount; ++group) {
        const int length = vectorTable[position++];
        for (int slot = 0; slot < length; ++slot) {
            const uint8_t pair = vectorTable[position++];
            const int high = (pair >> 4) & 7;
            const int low = pair & 7;
            uint32_t lumaEntry = 0;
            uint32_t chromaEntry = 0;
            if (layout == CodeTableLayout::k15Bit) {
                lumaEntry = Wrap(luma[low]) * kLumaFieldSpread * 65536u +
                            Wrap(luma[high]) * kLumaFieldSpread;
                chromaEntry = (Wrap(chroma[low]) * 1024u + Wrap(chroma[high])) * 0x10001u;
            } else {
                lumaEntry = Wrap(luma[high]) * 256u + Wrap(luma[low]);
                chromaEntry = Wrap(chroma[high]) + Wrap(chroma[low]) * 65536u;
            }
            const bool bLast = slot == length - 1;
            tables[kLumaCodes][group][slot] = (lumaEntry << 1) | bLast;
            tables[kChromaCodes][group][slot] = (chromaEntry << 1) | bLast;
            tables[kLumaEscapeCodes][group][slot] =
                ((Wrap(lumaEscape[high]) * 256u + Wrap(lumaEscape[low])) << 1) | bLast;
            tables[kChromaEscapeCodes][group][slot] =
                ((Wrap(chromaEscape[high]) + Wrap(chromaEscape[low]) * 65536u) << 1) | bLast;
        }
    }
    return true;
}

}  // namespace truemotion
