#pragma once

#include <cstdint>
#include <string>

namespace qv {

// One row of an attribute grid (link-follow rules, name specifications,
// scheduled projects, root URLs): its text and a 32-bit attribute whose bytes
// belong to the grid's owner; byte 0 is bits 0-7, byte 3 bits 24-31. Grids
// with a choice column keep the choice in byte 0.
struct TAtrRow {
  std::string Text;
  uint32_t Attr = 0;
  bool operator==(const TAtrRow&) const = default;
};

inline uint8_t AttrByte(uint32_t attr, int byte) {
  return static_cast<uint8_t>(attr >> (8 * byte));
}

inline uint32_t WithAttrByte(uint32_t attr, int byte, uint8_t value) {
  const uint32_t mask = 0xFFu << (8 * byte);
  return (attr & ~mask) | (static_cast<uint32_t>(value) << (8 * byte));
}

}  // namespace qv
