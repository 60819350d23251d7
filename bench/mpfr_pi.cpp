// Yardstick: pi to a number of decimal digits with MPFR's mpfr_const_pi (an AGM on GMP), then
// the decimal text written to a file, as the runner writes pi.dat. One thread.
// Usage: mpfr_pi DIGITS [FILE]   (FILE defaults to mpfr_pi.txt)
#include <gmp.h>
#include <mpfr.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: mpfr_pi DIGITS [FILE]\n");
        return 2;
    }
    const long digits = std::atol(argv[1]);
    const char* path = argc > 2 ? argv[2] : "mpfr_pi.txt";
    // Enough bits for the digits plus guard bits.
    const mpfr_prec_t bits = static_cast<mpfr_prec_t>(std::ceil(digits * 3.3219280948873623)) + 64;
    mpfr_t pi;
    mpfr_init2(pi, bits);
    mpfr_const_pi(pi, MPFR_RNDZ);
    mpfr_exp_t exponent = 0;
    char* text =
        mpfr_get_str(nullptr, &exponent, 10, static_cast<size_t>(digits) + 1, pi, MPFR_RNDZ);
    std::FILE* f = std::fopen(path, "w");
    if (f == nullptr) return 3;
    std::fprintf(f, "%c.%se0\n", text[0], text + 1);
    std::fclose(f);
    mpfr_free_str(text);
    mpfr_clear(pi);
    mpfr_free_cache();
    return 0;
}
