// A raw frame as the open file hands it on: its bytes, geometry and layout, and what the settings
// record says about how it is stored. The file side fills it; the renderer reads it.
#pragma once

#include "image/Convert.h"

#include <cstdint>

// What the frame says about itself, from the settings record at open.
struct StoredFrameFlags {
    uint8_t bottomUp = 0;         // negative line bytes
    uint8_t flip = 0;             // the record's mirror-vertical switch
    uint8_t interlaced = 0;       // field count 2
    uint8_t fieldsSeparated = 0;  // field detail 1 or 6
};

namespace kavlo {

// A raw frame as it lies in memory, with what the settings record says about it.
struct SourceFrame {
    const uint8_t* bytes = nullptr;
    int width = 0;
    int height = 0;
    uint32_t code = 0;         // layout code
    int32_t lineBytes = 0;     // the pitch without its sign (stored.bottomUp gives the order)
    uint32_t sampleRange = 0;  // the format block's sample range (2: 16-235 R'G'B')
    StoredFrameFlags stored;
    ConvertFlags colour = 0;  // matrix and range of Y'CbCr samples (CONVERT_COLOUR_MASK bits)
};

}  // namespace kavlo
