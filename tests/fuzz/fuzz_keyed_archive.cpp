// The keyed-archive reader the dialog uses for the paper catalogue: any bytes are refused or
// give a value tree, within the size and depth bounds, and a tree read once is written and
// read again as itself.
#include "FuzzSupport.h"
#include "KeyedArchive.h"

#include <cmath>

using namespace tessaron::fuzz;
namespace ka = tessaron::keyedarchive;

namespace {

int depthOf(const ka::Value& value) {
    const auto* dictionary = value.dictionary();
    if (!dictionary) return 0;
    int deepest = 0;
    for (const auto& [key, child] : *dictionary) deepest = std::max(deepest, depthOf(child));
    return deepest + 1;
}

size_t objectCount(const ka::Value& value) {
    size_t count = 1;
    if (const auto* dictionary = value.dictionary())
        for (const auto& [key, child] : *dictionary) count += 1 + objectCount(child);
    return count;
}

// Equality of trees in which a NaN equals a NaN: the archive keeps a real's bits, and NaN is
// never equal to itself.
bool sameTree(const ka::Value& a, const ka::Value& b) {
    if (a.isReal() && b.isReal()) {
        const double x = *a.real(), y = *b.real();
        return (std::isnan(x) && std::isnan(y)) || x == y;
    }
    const auto* left = a.dictionary();
    const auto* right = b.dictionary();
    if (!left || !right) return a == b;
    if (left->size() != right->size()) return false;
    for (const auto& [key, child] : *left) {
        const auto other = right->find(key);
        if (other == right->end() || !sameTree(child, other->second)) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setUpHarness();
    const auto decoded = ka::decode({data, size});
    if (decoded) {
        require(depthOf(*decoded) <= ka::kMaxDepth + 1, "archive nests deeper than the bound");
        // Every object of the tree costs bytes of the archive: a tree far larger than its
        // archive is an expansion through shared references.
        require(objectCount(*decoded) <= 64 + 64 * size, "archive expanded far beyond its size");
        const auto encoded = ka::encode(*decoded);
        require(encoded.has_value(), "a decoded tree could not be encoded");
        const auto again = ka::decode(*encoded);
        require(again.has_value(), "an encoded tree could not be decoded");
        require(sameTree(*again, *decoded), "encode then decode changed the tree");
    }
    requireCupsLines();
    return 0;
}
