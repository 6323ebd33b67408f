// The codec's one image-sized array of floats.

#include "CoefficientArray.h"

#include <algorithm>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace qv::wsq {
namespace {

// Huge pages are this large and this aligned on the machines that have them.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

} // namespace

CoefficientArray::CoefficientArray(std::size_t count, Contents contents)
    : size_(count) {
    const std::size_t bytes = std::max<std::size_t>(count, 1) * sizeof(float);
    void* memory = ::operator new (bytes, std::align_val_t{kHugePage});
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only whole huge pages can be backed; a refusal (no huge pages configured) changes
    // nothing but the speed.
    if (bytes >= kHugePage) {
        madvise(memory, bytes / kHugePage * kHugePage, MADV_HUGEPAGE);
    }
#endif
    data_.reset(static_cast<float*>(memory));
    if (contents == Contents::Zero) {
        std::fill_n(data_.get(), count, 0.0f);
    }
}

void CoefficientArray::Release::operator()(float* data) const {
    ::operator delete (data, std::align_val_t{kHugePage});
}

} // namespace qv::wsq
