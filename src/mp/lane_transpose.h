// Eight values of eight lanes exchanged between rows and columns, for the loops that run eight
// independent chains side by side in vector lanes and read or write each chain's values in a row.
// Written with generic vectors: the loops that use it are compiled once per carry level
// (carry_blocks.h), and shuffles only move values.
#pragma once

namespace oskelon::detail {

using Lanes8 = double __attribute__((vector_size(8 * sizeof(double))));

// In place: afterwards v[c] lane r is what v[r] lane c was.
[[gnu::always_inline]] inline void transposeLanes(Lanes8 (&v)[8]) {
    Lanes8 t[8], u[8];
    for (int k = 0; k < 8; k += 2) {
        t[k] = __builtin_shufflevector(v[k], v[k + 1], 0, 8, 2, 10, 4, 12, 6, 14);
        t[k + 1] = __builtin_shufflevector(v[k], v[k + 1], 1, 9, 3, 11, 5, 13, 7, 15);
    }
    for (int k = 0; k < 8; k += 4) {
        for (int h = 0; h < 2; ++h) {
            u[k + h] = __builtin_shufflevector(t[k + h], t[k + h + 2], 0, 1, 8, 9, 4, 5, 12, 13);
            u[k + h + 2] =
                __builtin_shufflevector(t[k + h], t[k + h + 2], 2, 3, 10, 11, 6, 7, 14, 15);
        }
    }
    for (int g = 0; g < 4; ++g) {
        v[g] = __builtin_shufflevector(u[g], u[g + 4], 0, 1, 2, 3, 8, 9, 10, 11);
        v[g + 4] = __builtin_shufflevector(u[g], u[g + 4], 4, 5, 6, 7, 12, 13, 14, 15);
    }
}

}  // namespace oskelon::detail
