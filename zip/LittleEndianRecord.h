// A fixed-size record of an archive (central header, local header, end record, data
// descriptor) held whole in memory, and its little-endian fields. Field offsets are template
// arguments, so a field that would lie outside the record does not compile. It does not read
// from the archive and checks no field's value: the record's owner does both.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

template <std::size_t Size>
struct LittleEndianRecord {
    template <std::size_t Offset>
    std::uint16_t word() const {
        static_assert(Offset + 2 <= Size, "field lies outside the record");
        return static_cast<std::uint16_t>(bytes[Offset] | bytes[Offset + 1] << 8);
    }

    template <std::size_t Offset>
    std::uint32_t doubleWord() const {
        static_assert(Offset + 4 <= Size, "field lies outside the record");
        return static_cast<std::uint32_t>(word<Offset>()) |
               static_cast<std::uint32_t>(word<Offset + 2>()) << 16;
    }

    std::uint8_t* data() { return bytes.data(); }
    static constexpr std::uint32_t size() { return Size; }

    std::array<std::uint8_t, Size> bytes{};
};
