// The round trip of one cache line between two CPUs, in nanoseconds: a thread on each CPU hands
// a counter back and forth. It tells how far apart the two cores are in the memory system (a
// shared last-level cache, or not), which decides how much a two-thread run loses where its data
// changes cores. Linux only, like the rest of bench/.
//
// Usage: core_round_trip [CPU_A CPU_B]      (default 0 1)
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

constexpr long kTrips = 200000;

bool pinTo(int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    return pthread_setaffinity_np(pthread_self(), sizeof set, &set) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int a = argc > 2 ? std::atoi(argv[1]) : 0;
    const int b = argc > 2 ? std::atoi(argv[2]) : 1;
    if (!pinTo(a)) {
        std::fprintf(stderr, "core_round_trip: cannot run on CPU %d\n", a);
        return 1;
    }
    // -1 until the partner is on its CPU (1) or could not get there (0); then the trips.
    alignas(64) std::atomic<long> counter{-1};
    std::thread partner([&] {
        if (!pinTo(b)) {
            counter.store(0, std::memory_order_release);
            return;
        }
        counter.store(1, std::memory_order_release);
        for (long i = 1; i <= kTrips; ++i) {
            while (counter.load(std::memory_order_acquire) != 2 * i) {
            }
            counter.store(2 * i + 1, std::memory_order_release);
        }
    });
    long state;
    while ((state = counter.load(std::memory_order_acquire)) < 0) {
    }
    if (state == 0) {
        partner.join();
        std::fprintf(stderr, "core_round_trip: cannot run on CPU %d\n", b);
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    for (long i = 1; i <= kTrips; ++i) {
        counter.store(2 * i, std::memory_order_release);
        while (counter.load(std::memory_order_acquire) != 2 * i + 1) {
        }
    }
    const auto end = std::chrono::steady_clock::now();
    partner.join();
    std::printf("%.0f\n", std::chrono::duration<double, std::nano>(end - start).count() / kTrips);
    return 0;
}
