#include "bytescan.h"

namespace history::core::bytescan {

bool hasAvx2()
{
#ifdef TAVIK_AVX2_SCAN
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
#else
    return false;
#endif
}

} // namespace history::core::bytescan
