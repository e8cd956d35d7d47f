// The tests' own reader of a keyed archive, in Python, independent of the code under test:
// resolve(objects, v) follows UIDs and turns dictionaries into Python ones, checking their
// class names. A test appends the lines that load its archive and print what it compares.
#pragma once

namespace tessaron::test {

inline constexpr const char* kKeyedArchiveResolver = R"(
import plistlib
def resolve(objects, v):
    v = objects[v.data] if isinstance(v, plistlib.UID) else v
    if isinstance(v, dict) and "NS.keys" in v:
        assert objects[v["$class"].data]["$classname"] in ("NSDictionary", "NSMutableDictionary")
        return {resolve(objects, k): resolve(objects, o) for k, o in zip(v["NS.keys"], v["NS.objects"])}
    return v
)";

}  // namespace tessaron::test
