// A small set of enumerators for option sets.

#pragma once

#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace qv {

// A set of enumerators, for the option sets that travel between registry, converter and
// transport. The enumerators must be small consecutive values starting at 0.
template <typename Enum> class FlagSet {
    static_assert(std::is_enum_v<Enum>);

public:
    constexpr FlagSet() = default;
    constexpr FlagSet(std::initializer_list<Enum> flags) {
        for (Enum flag : flags) {
            insert(flag);
        }
    }

    constexpr bool contains(Enum flag) const { return (bits_ & bit(flag)) != 0; }
    constexpr void insert(Enum flag) { bits_ |= bit(flag); }
    constexpr void erase(Enum flag) { bits_ &= ~bit(flag); }
    constexpr void insert(FlagSet other) { bits_ |= other.bits_; }
    constexpr bool empty() const { return bits_ == 0; }

    friend constexpr bool operator==(FlagSet, FlagSet) = default;

private:
    static constexpr std::uint32_t bit(Enum flag) {
        return std::uint32_t{1} << static_cast<unsigned>(flag);
    }

    std::uint32_t bits_ = 0;
};

} // namespace qv
