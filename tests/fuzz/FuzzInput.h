// Decodes a fuzz input into arguments. Reading past the end yields zeros, so
// every input, however short, decodes to one call; the decoders favour the
// values where bugs live (0, 1, -1, NaN, infinities, denormals, the blank
// marker, int's edges) over uniform bytes.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace mosaro_fuzz {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t Byte() { return offset_ < size_ ? data_[offset_++] : 0; }
    std::uint32_t U32() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value |= std::uint32_t{Byte()} << (8 * i);
        return value;
    }
    bool Flag() { return (Byte() & 1) != 0; }
    // An integer in [low, high] (high - low below 256).
    int Small(int low, int high) { return low + Byte() % (high - low + 1); }

    // A count: usually within [low, high], now and then one of int's edges.
    int Count(int low, int high) {
        const std::uint8_t selector = Byte();
        if (selector < 232) return low + static_cast<int>(U32() % static_cast<std::uint32_t>(high - low + 1));
        static const int kEdges[] = {INT_MIN,     INT_MIN + 1, -65536, -2,    -1, 65535, 65536, 1 << 30,
                                     INT_MAX - 1, INT_MAX,     46340,  46341, 0,  1,     2,     3};
        return kEdges[selector % 16];
    }

    // A float: a special value, a small whole number, a value near `scale`,
    // or any bit pattern.
    float Float(float scale = 100.0f) {
        const std::uint8_t selector = Byte();
        if (selector < 40) {
            static const float kSpecial[] = {0.0f,
                                             -0.0f,
                                             1.0f,
                                             -1.0f,
                                             0.5f,
                                             2.0f,
                                             3.0f,
                                             5.0f,
                                             std::numeric_limits<float>::quiet_NaN(),
                                             -std::numeric_limits<float>::quiet_NaN(),
                                             std::numeric_limits<float>::infinity(),
                                             -std::numeric_limits<float>::infinity(),
                                             std::numeric_limits<float>::denorm_min(),
                                             -std::numeric_limits<float>::denorm_min(),
                                             1e-39f,
                                             std::numeric_limits<float>::min(),
                                             std::numeric_limits<float>::max(),
                                             -std::numeric_limits<float>::max(),
                                             std::numeric_limits<float>::epsilon(),
                                             -1e38f /* the blank marker */,
                                             1e30f,
                                             -1e30f,
                                             1e10f,
                                             16777216.0f,
                                             16777217.0f,
                                             0.01f,
                                             99999.99f,
                                             100000.0f,
                                             100.0f,
                                             1000.0f,
                                             10000.0f,
                                             1e-30f,
                                             2147483648.0f,
                                             -2147483648.0f,
                                             4294967296.0f,
                                             65536.0f,
                                             7.0f,
                                             10.0f,
                                             0.1f,
                                             1e6f};
            return kSpecial[selector % 40];
        }
        if (selector < 100) return static_cast<float>(static_cast<int>(Byte()) - 64);
        if (selector < 230) return scale * static_cast<float>(U32() % 1000001u) / 1000000.0f;
        const std::uint32_t bits = U32();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    // The bytes not read yet.
    std::string Rest() {
        std::string rest(reinterpret_cast<const char*>(data_ + offset_), size_ - offset_);
        offset_ = size_;
        return rest;
    }
    std::size_t Remaining() const { return size_ - offset_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

}  // namespace mosaro_fuzz
