#pragma once
// A set of a small enumeration, one bit per member, as the controls' set properties take
// them.
#include <cstdint>
#include <initializer_list>

namespace lumi {

template <class E> class EnumSet {
public:
    EnumSet() = default;
    EnumSet(std::initializer_list<E> members) {
        for (E member : members)
            include(member);
    }
    void include(E member) { bits_ |= bit(member); }
    bool contains(E member) const { return (bits_ & bit(member)) != 0; }
    bool operator==(const EnumSet&) const = default;

private:
    static uint32_t bit(E member) { return uint32_t(1) << static_cast<int>(member); }
    uint32_t bits_ = 0;
};

} // namespace lumi
