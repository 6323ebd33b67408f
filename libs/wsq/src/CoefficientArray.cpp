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
    // Arrays of half a huge page or more are rounded up to whole ones: touching all of a huge
    // page costs less than faulting in half of it 4 KiB at a time. Smaller arrays would only
    // waste the alignment.
    const bool huge = bytes >= kHugePage / 2;
    const std::size_t reserved = huge ? (bytes + kHugePage - 1) / kHugePage * kHugePage : bytes;
    const std::align_val_t alignment{huge ? kHugePage : alignof(float)};
    data_ = {static_cast<float*>(::operator new(reserved, alignment)), Release{alignment}};
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // A refusal (no huge pages configured) changes nothing but the speed.
    if (huge) {
        madvise(data_.get(), reserved, MADV_HUGEPAGE);
    }
#endif
    if (contents == Contents::Zero) {
        std::fill_n(data_.get(), count, 0.0f);
    }
}

void CoefficientArray::Release::operator()(float* data) const {
    ::operator delete(data, alignment);
}

} // namespace qv::wsq
