#pragma once

#include "truemotion/TrueMotionEncoder.h"

namespace truemotion::testing {

// Encoder settings in one line, for tables of cases.
inline EncoderSettings EncoderSettingsFor(EncoderMode mode, int compression = 0, int deltaSet = 0,
                                          int vectorTable = 2, int headerType = 2,
                                          int headerVersion = 2) {
    EncoderSettings s;
    s.mode = mode;
    s.compression = compression;
    s.deltaSet = deltaSet;
    s.vectorTable = vectorTable;
    s.headerType = headerType;
    s.headerVersion = headerVersion;
    return s;
}

}  // namespace truemotion::testing
