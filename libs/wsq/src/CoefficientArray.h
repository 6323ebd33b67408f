// The codec's one image-sized array of floats.

#pragma once

#include <cstddef>
#include <memory>
#include <new>

namespace qv::wsq {

// An image-sized float array, backed by huge pages where the system grants them on request.
// A fresh array is otherwise paid for with one page fault per 4 KiB on first touch, which for
// a print costs a share of a process's time comparable to the transform's.
class CoefficientArray {
public:
    enum class Contents { Zero, Unset };

    CoefficientArray() = default;
    CoefficientArray(std::size_t count, Contents contents);

    float* data() const { return data_.get(); }
    std::size_t size() const { return size_; }

private:
    struct Release {
        std::align_val_t alignment;
        void operator()(float* data) const;
    };

    std::unique_ptr<float[], Release> data_;
    std::size_t size_ = 0;
};

} // namespace qv::wsq
