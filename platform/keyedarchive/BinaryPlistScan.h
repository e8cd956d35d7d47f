// A check of a binary property list's object table before it is parsed. The format lets one
// object be referred to from many places, and the parser copies a shared object once per
// reference: a few hundred bytes can describe billions of nodes. This scan counts the nodes a
// parse would build, in time and memory proportional to the input, and says when they are too many.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tessaron::keyedarchive {

// The number of nodes parsing `bplist` would build, up to `limit` (any larger count answers
// limit + 1); none when the object table is malformed, cyclic or nests deeper than `maxDepth`.
std::optional<std::size_t> expandedNodeCount(std::span<const std::uint8_t> bplist, std::size_t limit, int maxDepth);

}  // namespace tessaron::keyedarchive
