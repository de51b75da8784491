// SipHash with a 64-bit result, fed incrementally: feeding a message in pieces gives the same
// value as feeding it whole, so a stream can be hashed without ever being assembled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace pelorix::sync {

template <int CompressionRounds, int FinalizationRounds>
class SipHasher {
 public:
  SipHasher(std::uint64_t k0, std::uint64_t k1)
      : v0_(k0 ^ 0x736f6d6570736575ULL),
        v1_(k1 ^ 0x646f72616e646f6dULL),
        v2_(k0 ^ 0x6c7967656e657261ULL),
        v3_(k1 ^ 0x7465646279746573ULL) {}

  void write(std::span<const std::byte> bytes) {
    for (std::byte byte : bytes) {
      tail_ |= static_cast<std::uint64_t>(byte) << (8 * (length_ & 7));
      ++length_;
      if ((length_ & 7) == 0) {
        compress(tail_);
        tail_ = 0;
      }
    }
  }
  void write(const void* data, std::size_t size) {
    write(std::span<const std::byte>(static_cast<const std::byte*>(data), size));
  }
  void write_u8(std::uint8_t value) { write(&value, 1); }
  // Integers go in little-endian whatever the machine's byte order, so values agree everywhere.
  void write_u32_le(std::uint32_t value) { write_le(value, 4); }
  void write_u64_le(std::uint64_t value) { write_le(value, 8); }

  // The hash of everything written so far. The hasher is left as it was.
  std::uint64_t finish() const {
    std::uint64_t v0 = v0_, v1 = v1_, v2 = v2_, v3 = v3_;
    // The last block carries the message length (mod 256) in its top byte.
    std::uint64_t last = tail_ | (static_cast<std::uint64_t>(length_ & 0xff) << 56);
    v3 ^= last;
    for (int i = 0; i < CompressionRounds; ++i) round(v0, v1, v2, v3);
    v0 ^= last;
    v2 ^= 0xff;
    for (int i = 0; i < FinalizationRounds; ++i) round(v0, v1, v2, v3);
    return v0 ^ v1 ^ v2 ^ v3;
  }

 private:
  static std::uint64_t rotl(std::uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

  static void round(std::uint64_t& v0, std::uint64_t& v1, std::uint64_t& v2, std::uint64_t& v3) {
    v0 += v1;
    v1 = rotl(v1, 13);
    v1 ^= v0;
    v0 = rotl(v0, 32);
    v2 += v3;
    v3 = rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = rotl(v1, 17);
    v1 ^= v2;
    v2 = rotl(v2, 32);
  }

  void compress(std::uint64_t block) {
    v3_ ^= block;
    for (int i = 0; i < CompressionRounds; ++i) round(v0_, v1_, v2_, v3_);
    v0_ ^= block;
  }

  void write_le(std::uint64_t value, int size) {
    std::byte bytes[8];
    for (int i = 0; i < size; ++i) bytes[i] = static_cast<std::byte>(value >> (8 * i));
    write(std::span<const std::byte>(bytes, static_cast<std::size_t>(size)));
  }

  std::uint64_t v0_, v1_, v2_, v3_;
  // Bytes of the block being filled, in place; `length_` counts every byte written.
  std::uint64_t tail_ = 0;
  std::uint64_t length_ = 0;
};

// The variant the tree fingerprint uses: one compression round, three finalisation rounds.
using SipHasher13 = SipHasher<1, 3>;

}  // namespace pelorix::sync
