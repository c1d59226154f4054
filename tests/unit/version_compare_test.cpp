#include "platform/version_compare.h"

#include <gtest/gtest.h>

#include <string_view>
#include <utility>

namespace velmora {
namespace {

// The table below writes each relation as its operator; a text that names none stands for a
// value outside the enumeration.
VersionRelation RelationOf(std::wstring_view op) {
  const std::pair<std::wstring_view, VersionRelation> relations[] = {
      {L"<", VersionRelation::kLess},     {L"<=", VersionRelation::kLessOrEqual},
      {L">", VersionRelation::kGreater},  {L">=", VersionRelation::kGreaterOrEqual},
      {L"=", VersionRelation::kEqual},    {L"!=", VersionRelation::kNotEqual}};
  for (const auto& [text, relation] : relations) {
    if (text == op) return relation;
  }
  return static_cast<VersionRelation>(-1);
}

struct CompareCase {
  const wchar_t* left;
  const wchar_t* right;
  const wchar_t* op;
  bool expected;
};

TEST(CompareVersionsTest, Table) {
  const CompareCase cases[] = {
      // Equal versions.
      {L"1.2.3.4", L"1.2.3.4", L">=", true},
      {L"1.2.3.4", L"1.2.3.4", L"<=", true},
      {L"1.2.3.4", L"1.2.3.4", L"=", true},
      {L"1.2.3.4", L"1.2.3.4", L"!=", false},
      {L"1.2.3.4", L"1.2.3.4", L"<", false},
      {L"1.2.3.4", L"1.2.3.4", L">", false},
      // Missing fields are 0.
      {L"5.1", L"5.1.0.0", L"=", true},
      {L"5.1.0.0", L"5.1", L"=", true},
      {L"5.1", L"5.1.0.1", L"<", true},
      // Numeric, not textual, order; every field counts.
      {L"1.10", L"1.9", L">", true},
      {L"2.0", L"1.99.99.99", L">", true},
      {L"1.0.0.2", L"1.0.0.10", L"<", true},
      {L"1.2.3.4", L"1.2.3.5", L"!=", true},
      {L"1.2.4.0", L"1.2.3.9999", L">", true},
      // Second and fourth fields count by their low 16 bits.
      {L"1.65537", L"1.1", L"=", true},
      {L"1.65536", L"1.1", L"<", true},
      {L"1.2.3.65536", L"1.2.3.0", L"=", true},
      {L"1.2.3.65539", L"1.2.3.2", L">", true},
      // The first pair is a signed number: a first field of 32768 or more is below 1.
      {L"32768.0", L"1.0", L"<", true},
      {L"65535.0.0.0", L"0.0.0.1", L"<", true},
      {L"32767.65535", L"32768.0", L">", true},
      // The second pair is unsigned.
      {L"1.0.32768.0", L"1.0.1.0", L">", true},
      {L"1.0.65535.65535", L"1.0.0.0", L">", true},
      // Texts that name no relation: a value outside the enumeration.
      {L"1.0", L"1.0", L"==", false},
      {L"1.0", L"1.0", L"=<", false},
      {L"1.0", L"2.0", L"", false},
      {L"1.0", L"2.0", L"< ", false},
      // An empty side is not version 0.
      {L"", L"1.0", L"<", false},
      {L"1.0", L"", L">", false},
      {L"", L"0.0.0.0", L"=", false},
      {L"", L"", L"!=", false},
  };
  for (const CompareCase& c : cases) {
    EXPECT_EQ(CompareVersions(c.left, c.right, RelationOf(c.op)), c.expected)
        << "\"" << c.left << "\" " << c.op << " \"" << c.right << "\"";
  }
}

TEST(CompareVersionsFieldByField, EveryFieldCountsThenMoreFieldsWin) {
  const struct { const wchar_t* left; const wchar_t* right; int order; } cases[] = {
      {L"13.1.1001.0", L"13.1.1001.0", 0},
      {L"13.1.1001", L"13.1.1001.0", -1},    // equal common fields: more fields is greater
      {L"13.1.1001.0.0", L"13.1.1001.0", 1},
      {L"13.1.999.0", L"13.1.1001.0", -1},   // numbers, not text
      {L"9.9", L"10.0", -1},
      {L"13.2", L"13.1.1001.0", 1},          // an earlier field decides before the count does
      {L"", L"0", -1},                        // no fields at all
      {L"", L"", 0},
      {L"13.1.1001.0", L"13.1.1000.99999999999999999999999", 1},  // a huge field saturates, no wrap
      {L"99999999999999999999999.0", L"1.0", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CompareVersionsFieldByField(c.left, c.right), c.order) << c.left << " vs " << c.right;
    EXPECT_EQ(CompareVersionsFieldByField(c.right, c.left), -c.order) << c.right << " vs " << c.left;
  }
}

}  // namespace
}  // namespace velmora
