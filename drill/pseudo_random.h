#pragma once

#include <cstdint>

// The drill's fixed-start generator: a 24-bit linear congruential sequence. It is never seeded,
// so every start of the program asks for the same letters in the same order.
class PseudoRandom
{
public:
    static constexpr std::uint32_t initialState = 327680;
    static constexpr std::uint32_t modulus = 1u << 24;

    // The next value in [0, 1); x / 2^24 is exact in single precision.
    float next();

private:
    std::uint32_t m_state = initialState;
};
