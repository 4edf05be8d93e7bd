#include "ChromaTaps.h"

#include <algorithm>

ChromaTaps ProgressiveTaps(int r, int rows) {
    const int j = std::min(r / 2, rows - 1);
    const int other = (r & 1) ? std::min(j + 1, rows - 1) : std::max(j - 1, 0);
    return {other, j, 1, 3, 2};
}

// Field-wise taps for the rows 0 .. 4 x (H / 4) - 1; the last two rows of a height that is not a
// multiple of 4 take the progressive rule.
ChromaTaps ChromaTapsFor(int r, int rows, int height, bool interlaced) {
    const int quads = height / 4;
    if (!interlaced || r >= 4 * quads) return ProgressiveTaps(r, rows);
    const int k = r / 4, p = std::max(k - 1, 0), n = std::min(k + 1, quads - 1);
    switch (r % 4) {
    case 0: return {2 * p, 2 * k, 1, 7, 3};
    case 2: return {2 * n, 2 * k, 3, 5, 3};
    case 1: return {2 * p + 1, 2 * k + 1, 5, 3, 3};
    default: return {2 * n + 1, 2 * k + 1, 1, 7, 3};
    }
}

// Taps for separately stored fields: each stored field is a progressive picture with chroma
// rows of its own (the split is documented with CONVERT_FIELDS_SEPARATED). No tap leaves its
// field's chroma rows, except that a second field without any takes the first field's.
ChromaTaps SeparatedTaps(int r, int rows, int height) {
    // Taps within one field of `fieldRows` chroma rows; a luma row past the pairs those rows
    // cover takes the last one alone.
    auto within = [](int local, int fieldRows) {
        if (local >= 2 * fieldRows) return ChromaTaps{fieldRows - 1, fieldRows - 1, 1, 3, 2};
        return ProgressiveTaps(local, fieldRows);
    };
    const int lumaSplit = height / 2;
    const int chromaSplit = (rows + 1) / 2;
    if (r < lumaSplit) return within(r, chromaSplit);
    const int first = std::min(chromaSplit, rows - 1);
    ChromaTaps t = within(r - lumaSplit, rows - first);
    t.a += first;
    t.b += first;
    return t;
}
