// The bounded reader every parser of file structures reads through: it knows
// how many bytes are left, and a read that would pass the end fails and leaves
// the reader where it was. Numbers are read in the reader's byte order.
#pragma once

#include <cstddef>
#include <cstdint>

enum class ByteOrder { little, big };

// Fixed-width numbers at `p`, for callers that have checked the room.
inline uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline uint16_t be16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
inline uint32_t be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}
// A four-letter code as a big-endian number ("ftyp", "RGB ").
constexpr uint32_t fourcc(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 |
           uint32_t(uint8_t(s[2])) << 8 | uint8_t(s[3]);
}

class ByteReader {
  public:
    ByteReader() = default;
    ByteReader(const uint8_t* data, size_t size, ByteOrder order = ByteOrder::little)
        : data_(data), size_(data == nullptr ? 0 : size), order_(order) {}

    size_t left() const { return size_ - at_; }
    // How far the reader is from the start of its block.
    size_t offset() const { return at_; }
    ByteOrder order() const { return order_; }
    void set_order(ByteOrder order) { order_ = order; }

    // To `offset` bytes from the start of the block; false beyond its end.
    bool seek(size_t offset) {
        if (offset > size_)
            return false;
        at_ = offset;
        return true;
    }
    // `bytes` points at the next `n` bytes, which are then passed.
    bool take(size_t n, const uint8_t*& bytes) {
        if (n > left())
            return false;
        bytes = data_ + at_;
        at_ += n;
        return true;
    }
    // The same without passing them.
    bool peek(size_t n, const uint8_t*& bytes) const {
        if (n > left())
            return false;
        bytes = data_ + at_;
        return true;
    }
    bool skip(size_t n) {
        const uint8_t* ignored;
        return take(n, ignored);
    }
    // The next `n` bytes as a reader of their own (in the same byte order),
    // passed here.
    bool part(size_t n, ByteReader& inner) {
        const uint8_t* bytes;
        if (!take(n, bytes))
            return false;
        inner = ByteReader(bytes, n, order_);
        return true;
    }
    // True, passing them, when the next bytes are `text` (without its end).
    template <size_t N>
    bool expect(const char (&text)[N]) {
        const uint8_t* bytes;
        if (!peek(N - 1, bytes))
            return false;
        for (size_t i = 0; i + 1 < N; ++i)
            if (bytes[i] != static_cast<uint8_t>(text[i]))
                return false;
        at_ += N - 1;
        return true;
    }

    bool u8(uint8_t& v) {
        const uint8_t* p;
        if (!take(1, p))
            return false;
        v = p[0];
        return true;
    }
    bool u16(uint16_t& v) {
        const uint8_t* p;
        if (!take(2, p))
            return false;
        v = order_ == ByteOrder::little ? le16(p) : be16(p);
        return true;
    }
    bool u32(uint32_t& v) {
        const uint8_t* p;
        if (!take(4, p))
            return false;
        v = order_ == ByteOrder::little ? le32(p) : be32(p);
        return true;
    }
    bool u64(uint64_t& v) {
        uint32_t a, b;
        if (left() < 8 || !u32(a) || !u32(b))
            return false;
        v = order_ == ByteOrder::little ? uint64_t{b} << 32 | a : uint64_t{a} << 32 | b;
        return true;
    }

  private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t at_ = 0;
    ByteOrder order_ = ByteOrder::little;
};
