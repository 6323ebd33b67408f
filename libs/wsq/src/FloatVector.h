// Four floats as one vector register, for the filter loops of both directions.

#pragma once

#include <cstring>

namespace qv::wsq {

// Vector arithmetic rounds every lane exactly as the scalar expression would, so the vector
// and scalar paths of a loop give the same bits. Without vector extensions only the scalar
// paths are compiled.
#if defined(__GNUC__)
inline constexpr bool kHaveVectors = true;
typedef float Vec __attribute__((vector_size(16)));
inline constexpr int kLanes = sizeof(Vec) / sizeof(float);

inline Vec loadVec(const float* p) {
    Vec v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void storeVec(float* p, Vec v) {
    std::memcpy(p, &v, sizeof v);
}
#else
inline constexpr bool kHaveVectors = false;
inline constexpr int kLanes = 1;
#endif

} // namespace qv::wsq
