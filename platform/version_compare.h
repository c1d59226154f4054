// Comparison of dotted version texts ("1.2.3.4"). Two rule sets: file versions as a version
// resource holds them (four fields packed into two 32-bit numbers), and version texts of any
// length compared field by field. Pure; any thread; nothing throws.
#pragma once

#include <string_view>

namespace velmora {

// How the left version must stand to the right one.
enum class VersionRelation { kLess, kLessOrEqual, kGreater, kGreaterOrEqual, kEqual, kNotEqual };

// True when `left` stands in `relation` to `right` as file versions: up to four dotted decimal
// fields, missing ones 0; the first and third fields weigh 16 bits above the second and fourth,
// which count by their low 16 bits only; the first pair is compared as a signed 32-bit number,
// the second as unsigned. An empty side, or a relation outside the enumeration, gives false.
bool CompareVersions(std::wstring_view left, std::wstring_view right, VersionRelation relation);

// -1, 0 or 1 as `left` is below, equal to or above `right`, every field counting in full:
// "."-separated decimal fields compared in order; when all common fields are equal, the one with
// more fields is greater. An empty text has no fields. Digits after a field's first non-digit
// are ignored; huge fields saturate rather than wrap.
int CompareVersionsFieldByField(std::wstring_view left, std::wstring_view right);

}  // namespace velmora
