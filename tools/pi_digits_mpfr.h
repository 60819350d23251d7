// The decimal digits of pi after the point, from MPFR (developer tools only).
#pragma once

#include <mpfr.h>

#include <string>

inline std::string mpfrPiDigits(long digits) {
    mpfr_t pi;
    mpfr_init2(pi,
               static_cast<mpfr_prec_t>(static_cast<double>(digits) * 3.3219280948873626) + 256);
    mpfr_const_pi(pi, MPFR_RNDN);
    std::string text(static_cast<std::size_t>(digits) + 32, '\0');
    mpfr_exp_t exponent = 0;
    mpfr_get_str(text.data(), &exponent, 10, static_cast<std::size_t>(digits) + 20, pi, MPFR_RNDZ);
    mpfr_clear(pi);
    return text.substr(1, static_cast<std::size_t>(digits));  // drop the leading 3
}
