// An owned, resizable block of bytes; copies are deep.
#pragma once

#include <cstdint>
#include <memory>

class CZipBuffer {
public:
    CZipBuffer() = default;
    CZipBuffer(std::uint32_t size, bool zeroFill);
    CZipBuffer(const CZipBuffer& other);
    CZipBuffer& operator=(const CZipBuffer& other);
    virtual ~CZipBuffer() = default;

    // Reuses the block when the size is unchanged; returns data() (null for a size of 0).
    std::uint8_t* allocate(std::uint32_t size, bool zeroFill);
    void release() noexcept;

    std::uint8_t* data() const { return block.get(); }
    std::uint32_t size() const { return blockSize; }

private:
    std::unique_ptr<std::uint8_t[]> block;
    std::uint32_t blockSize = 0;
};
