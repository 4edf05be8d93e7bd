// Vertical chroma upsampling of 4:2:0 frames: which two source chroma rows, with which weights,
// give the chroma of each output row. Progressive frames blend the two nearest rows 1:3; woven
// interlaced frames blend within each field; separately stored fields are each a progressive
// picture with chroma rows of their own (see CONVERT_FIELDS_SEPARATED in Convert.h).
#pragma once

// Output chroma = (wa x row a + wb x row b + 2^(shift - 1)) >> shift.
struct ChromaTaps {
    int a, b, wa, wb, shift;
};

// Output row r of a progressive frame with `rows` chroma rows.
ChromaTaps ProgressiveTaps(int r, int rows);
// Output row r of a frame `height` rows high with `rows` chroma rows, field-wise when
// `interlaced` for the rows 0 .. 4 x (height / 4) - 1; the last two rows of a height that is not
// a multiple of 4 take the progressive rule.
ChromaTaps ChromaTapsFor(int r, int rows, int height, bool interlaced);
// Output row r of a frame whose two fields are stored one after the other. No tap leaves its
// field's chroma rows, except that a second field without any takes the first field's.
ChromaTaps SeparatedTaps(int r, int rows, int height);
