// The arithmetic-geometric mean of 1 and 1/sqrt(2), carried to pi.
//
// With A_k, B_k the classical means (A_0 = 1, B_0 = 1/sqrt(2)) the formula holds scaled squares:
//   a_k = 2^k A_k^2,  b_k = 2^k B_k^2,  c_k = 2^k ((A_(k-1) - B_(k-1))/2)^2,
//   t_k = 1/2 - (c_1 + ... + c_k),  p = 2^k,
// so that one iteration costs one product and one square root and no squaring. Every step is
// cut to the run's word count, and the order of the calls is fixed: the same size and radix give
// the same bits on every machine (the job's checkpoint digests rely on it).
#pragma once

#include <cstdint>

#include "mp/mp_number.h"

namespace oskelon {

// The storage of the formula, owned by the caller: six numbers and three transform arrays of
// wordCount elements (the job's working set), and the run's sizes.
struct AgmStorage {
    int wordCount;
    int radix;
    int digitsPerWord;
    int fftLength;  // wordCount - 2
    MpNumber& a;    // a_k; pi at the end
    MpNumber& b;    // b_k
    MpNumber& t;    // t_k
    MpNumber& c;    // c_k
    MpNumber& w1;   // work numbers of the products and Newton iterations
    MpNumber& w2;
    double* d0;  // transform arrays; d0 also keeps a transform across the final combination
    double* d1;
    double* d2;
};

// What the formula tells its caller, on the calling thread, as it goes.
class AgmSteps {
  public:
    virtual ~AgmSteps() = default;
    // Called between the long operations; may throw to abandon the computation (the numbers
    // are then unspecified).
    virtual void pollStop() = 0;
    // The closed-form start is done: a = a_2, b = b_2, t = t_2, p = 4.
    virtual void started() = 0;
    // Iteration n (1, 2, ...) is done: a, b and t are the next values and c the difference term
    // that produced them. Called before the stop rule looks at c; may change the numbers.
    virtual void iterated(int n) = 0;
};

// Runs the start, the iterations until the stop rule holds and the final combination, leaving pi
// in storage.a. The other numbers and arrays are left with intermediate values.
void agmPi(const AgmStorage& storage, AgmSteps& steps);

}  // namespace oskelon
