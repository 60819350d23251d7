#include "calc/checkpoints.h"

#include <iterator>

namespace oskelon {
namespace {

struct CheckpointSet {
    int sizeIndex;
    int digitsPerWord;
    const std::uint64_t* digests;
    int count;
};

#include "calc/checkpoint_table.inc"

}  // namespace

const std::uint64_t* knownCheckpoints(int sizeIndex, int digitsPerWord, int& count) {
    for (const CheckpointSet& set : kCheckpointSets) {
        if (set.sizeIndex == sizeIndex && set.digitsPerWord == digitsPerWord && set.count > 0) {
            count = set.count;
            return set.digests;
        }
    }
    count = 0;
    return nullptr;
}

}  // namespace oskelon
