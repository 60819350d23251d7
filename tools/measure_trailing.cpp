// Developer command: runs the job at the given sizes and digits per word and prints how many
// trailing digits of each result differ from pi (MPFR). Usage:
//   oskelon-measure-trailing <digitsPerWord> <size> [<size> ...]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "calc/calc_job.h"
#include "calc/quiet_host.h"
#include "pi_digits_mpfr.h"

using namespace oskelon;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <digitsPerWord> <size>...\n", argv[0]);
        return 2;
    }
    const int dpw = std::atoi(argv[1]);
    int largest = 0;
    for (int i = 2; i < argc; ++i) largest = std::max(largest, std::atoi(argv[i]));
    const std::string truth = mpfrPiDigits((4096L << largest) * dpw);
    const std::string file =
        (std::filesystem::temp_directory_path() / ("oskelon-trailing-" + std::to_string(getpid())))
            .string();
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        QuietHost host(size);
        StopToken stop;
        JobOptions options;
        options.outputFile = file;
        options.forcedDigitsPerWord = dpw;
        CalcJob job(host, stop, options);
        job.run();
        std::ifstream in(file);
        std::stringstream content;
        content << in.rdbuf();
        const std::string digits = content.str().substr(2, (4096UL << size) * dpw);
        std::size_t agree = 0;
        while (agree < digits.size() && digits[agree] == truth[agree]) ++agree;
        std::printf("dpw %d size %d digits %zu trailing-wrong %zu ms %.0f\n", dpw, size,
                    digits.size(), digits.size() - agree, job.totalMilliseconds());
        std::fflush(stdout);
    }
    std::filesystem::remove(file);
    return 0;
}
