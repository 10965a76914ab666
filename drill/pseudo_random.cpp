#include "pseudo_random.h"

namespace {
constexpr std::uint64_t multiplier = 1140671485;
constexpr std::uint64_t increment = 12820163;
} // namespace

float PseudoRandom::next()
{
    m_state = static_cast<std::uint32_t>((m_state * multiplier + increment) % modulus);
    return static_cast<float>(m_state) / static_cast<float>(modulus);
}
