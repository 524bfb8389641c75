// The reader's byte buffers: names, extra fields, comments, and the blocks that archive data
// passes through. Allocation failure surfaces as std::bad_alloc; nothing here limits sizes
// (callers check lengths taken from an archive before they allocate).
#include "zip/CZipBuffer.h"

#include <algorithm>

CZipBuffer::CZipBuffer(std::uint32_t size, bool zeroFill) {
    allocate(size, zeroFill);
}

CZipBuffer::CZipBuffer(const CZipBuffer& other) {
    *this = other;
}

CZipBuffer& CZipBuffer::operator=(const CZipBuffer& other) {
    if (this == &other) {
        return *this;
    }
    release();
    if (other.data() != nullptr) {
        std::copy_n(other.data(), other.size(), allocate(other.size(), false));
    }
    return *this;
}

std::uint8_t* CZipBuffer::allocate(std::uint32_t size, bool zeroFill) {
    if (size == blockSize) {
        if (zeroFill && size != 0) {
            std::fill_n(block.get(), size, std::uint8_t{0});
        }
        return block.get();
    }
    release();
    if (size == 0) {
        return nullptr;
    }
    block = zeroFill ? std::make_unique<std::uint8_t[]>(size)
                     : std::make_unique_for_overwrite<std::uint8_t[]>(size);
    blockSize = size;
    return block.get();
}

void CZipBuffer::release() noexcept {
    block.reset();
    blockSize = 0;
}
