// The end of the recursion: up to four blocks of 256 or 512 doubles, each after its own stage,
// get the stages of their quarters (64 or 128 doubles each) and the fixed kernels below them. A
// plain block's quarters are P, T, P, P; a twisted block's P, T, P, T. Bit i of `twisted` marks
// block i as twisted. `plain` and `twistedAngle` are the angles of the quarters' stages
// (plainStageAngle and twistedStageAngle of n/4).
//
// finishBlocks does it block by block and quarter by quarter through a path's single-block
// entries; the vector paths of 4 and 8 lanes have their own (finish_simd.h), which form the factors
// of the quarters' stages once for all the quarters of a kind. Every element sees the same
// operations either way.
#pragma once

#include "fft/stage_kernels.h"

namespace oskelon {

inline constexpr int kMaxFinishBlocks = 4;  // the quarters of one block of 1024 or 2048 doubles
inline constexpr int kMaxStageBlocks = 16;  // the blocks of one level below 8192 doubles

// Quarter t of a block, after its own stage: P, T, P and P (plain block) or T (twisted block).
constexpr bool quarterTwisted(int t, bool twisted) {
    return t == 1 || (t == 3 && twisted);
}

// Which of the four quarters of a block are twisted, bit t for quarter t.
constexpr unsigned twistedQuarters(bool twisted) {
    unsigned mask = 0;
    for (int t = 0; t < 4; ++t) mask |= unsigned{quarterTwisted(t, twisted)} << t;
    return mask;
}

using StagePartFn = void (*)(int n, double* block, int first, int end, const StageAngle& angle);

// Pointers to blocks (or quarters, or kernels) sorted by kind, in the order they are added.
template <int N>
struct ByKind {
    double* plain[N];
    double* twisted[N];
    int plains = 0, twisteds = 0;
    void add(double* p, bool isTwisted) {
        if (isTwisted) {
            twisted[twisteds++] = p;
        } else {
            plain[plains++] = p;
        }
    }
};
using LeavesFn = void (*)(int n, double* block);

template <StagePartFn Plain, StagePartFn Twisted, LeavesFn LeavesPlain, LeavesFn LeavesTwisted>
void finishBlocks(int n, double* const* blocks, int count, unsigned twisted,
                  const StageAngle& plainAngle, const StageAngle& twistedAngle) {
    const int q = n >> 2;
    const int seeds = stageSeedBlocks(q);
    for (int i = 0; i < count; ++i) {
        for (int t = 0; t < 4; ++t) {
            double* const quarter = blocks[i] + t * q;
            if (quarterTwisted(t, twisted >> i & 1u)) {
                Twisted(q, quarter, 0, seeds, twistedAngle);
                LeavesTwisted(q, quarter);
            } else {
                Plain(q, quarter, 0, seeds, plainAngle);
                LeavesPlain(q, quarter);
            }
        }
    }
}

// The first stages of `count` blocks of n doubles, block i twisted where bit i of `twisted` is
// set, each through the path's whole-stage entries. The 4- and 8-lane paths have their own for the
// stages of 256 to 2048 doubles (finish_simd.h), whose factors the blocks of a kind share.
template <StagePartFn Plain, StagePartFn Twisted>
void stageBlocks(int n, double* const* blocks, int count, unsigned twisted,
                 const StageAngle& plainAngle, const StageAngle& twistedAngle) {
    const int seeds = stageSeedBlocks(n);
    for (int i = 0; i < count; ++i) {
        if (twisted >> i & 1u) {
            Twisted(n, blocks[i], 0, seeds, twistedAngle);
        } else {
            Plain(n, blocks[i], 0, seeds, plainAngle);
        }
    }
}

}  // namespace oskelon
