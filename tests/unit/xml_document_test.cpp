#include "xml/xml_document.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <random>
#include <string>

#include "platform/text.h"
#include "tests/support/file_tree.h"

namespace velmora {
namespace {

// A compact picture of a tree: name[attr=value;...]'text'(child,child).
std::string Dump(const XmlElement* element) {
  if (!element) return "";
  std::string out = WideToUtf8(element->name);
  if (!element->attributes.empty()) {
    out += '[';
    for (const auto& [name, value] : element->attributes) out += WideToUtf8(name) + "=" + WideToUtf8(value) + ";";
    out.back() = ']';
  }
  if (!element->text.empty()) out += "'" + WideToUtf8(element->text) + "'";
  if (!element->children.empty()) {
    out += '(';
    for (const XmlElement& child : element->children) out += Dump(&child) + ",";
    out.back() = ')';
  }
  return out;
}

size_t Depth(const XmlElement* element) {
  if (!element) return 0;
  size_t deepest = 0;
  for (const XmlElement& child : element->children) deepest = std::max(deepest, Depth(&child));
  return deepest + 1;
}

std::string Utf16Bytes(std::wstring_view text, bool bom) {
  std::string out = bom ? "\xFF\xFE" : "";
  for (const wchar_t c : text) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return out;
}

const char kConfig[] =
    "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<!-- installed by the suite -->\r\n"
    "<config version=\"2\">\r\n  <kelu_upload unsupport=\".exe|.dll|.sys|.EXE\"/>\r\n"
    "  <recent_app exclude=\"*Velmora.exe|*\\Windows\\*|*?.tmp\"></recent_app>\r\n"
    "  <skin><title lang='en'>Side &amp; bar</title><![CDATA[raw <b>]]></skin>\r\n</config>";

struct Case {
  const char* label;
  std::string bytes;
  bool well_formed;
  std::string tree;
};

TEST(XmlDocument, ReadsWhatPrecedesEachFault) {
  const Case cases[] = {
      {"empty", "", false, ""},
      {"only a BOM", "\xEF\xBB\xBF", false, ""},
      {"only a declaration", "<?xml version=\"1.0\"?>", false, ""},
      {"BOM and declaration", "\xEF\xBB\xBF<?xml version=\"1.0\"?><r/>", true, "r"},
      {"skipped constructs",
       "<!-- c --><?pi x?><!DOCTYPE r [<!ENTITY e \"boom\"><!-- ]> --><!ATTLIST r a CDATA \"]>\">]>"
       "<r a='1'>x<!-- <b/> -->y<?p <c/>?><![CDATA[<c>&amp;]]></r><!-- tail --><?end?>",
       true, "r[a=1]'xy<c>&amp;'"},
      {"no entity expansion", "<!DOCTYPE r [<!ENTITY e 'boom'>]><r a='&e;'>&e;</r>", true, "r[a=&e;]'&e;'"},
      {"predefined and numeric", "<r a='&lt;&gt;&amp;&quot;&apos;'>&#65;&#x42;&#x1F600;</r>", true,
       "r[a=<>&\"']'AB\xF0\x9F\x98\x80'"},
      {"bad numeric values", "<r>&#0;&#xD800;&#x110000;&#99999999999999999999;&#1;</r>", true,
       "r'\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD'"},
      {"malformed references", "<r>&#;&#x;&#12a;&unknown;& ;&#65</r>", true, "r'&#;&#x;&#12a;&unknown;& ;&#65'"},
      {"line ends and attribute white space", "<r a='x\r\ny\tz'>1\r\n2\r3</r>", true, "r[a=x y z]'1\n2\n3'"},
      {"invalid UTF-8", "<r>\xC3\xA9\xFF</r>", true, "r'\xC3\xA9\xEF\xBF\xBD'"},
      {"names are case-sensitive", "<r></R>", false, "r"},
      {"unclosed tags", "<r><a x='1'><b>text", false, "r(a[x=1](b'text'))"},
      {"mismatched end tag", "<r><a></b><c/></r>", false, "r(a)"},
      {"attribute without quotes", "<r><a x=1/><c/></r>", false, "r(a)"},
      {"attribute without =", "<r><a x/><c/></r>", false, "r(a)"},
      {"unterminated attribute", "<r><a x='1' y='2/></r>", false, "r(a[x=1])"},
      {"name cut by the end", "<r><kelu_up", false, "r"},
      {"unterminated comment", "<r><!-- <a/>", false, "r"},
      {"second root", "<r/><s/>", false, "r"},
      {"text before the root", "junk<r/>", false, ""},
      {"declaration inside content", "<r><!DOCTYPE x></r>", false, "r"},
      {"UTF-16 LE with BOM", Utf16Bytes(L"<r a='\u00e9'>\u4e2d</r>", true), true, "r[a=\xC3\xA9]'\xE4\xB8\xAD'"},
      {"UTF-16 odd last byte", Utf16Bytes(L"<r/>", true) + "<", true, "r"},
      {"UTF-16 without BOM", Utf16Bytes(L"<r a='1'/>", false), false, ""},
      {"binary junk", std::string("\x00\x01<\xFE\x80&#\x00>", 10), false, ""},
  };
  for (const Case& c : cases) {
    CXmlDocument document;
    EXPECT_EQ(document.LoadBytes(c.bytes), c.well_formed) << c.label;
    EXPECT_EQ(Dump(document.Root()), c.tree) << c.label;
  }
}

TEST(XmlDocument, LookupsAreExactAndAnswerTheFirst) {
  CXmlDocument document;
  ASSERT_TRUE(document.LoadBytes("<r><A/><a x='1' x='2' y=''/><a x='3'/></r>"));
  const XmlElement* a = document.Root()->FirstChild(L"a");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Attribute(L"x"), L"1");
  EXPECT_EQ(a->Attribute(L"X"), L"");
  EXPECT_TRUE(a->HasAttribute(L"y"));
  EXPECT_FALSE(a->HasAttribute(L"z"));
  EXPECT_EQ(document.Root()->FirstChild(L"b"), nullptr);
}

TEST(XmlDocument, EveryTruncationKeepsWhatWasComplete) {
  const std::string full = kConfig;
  const size_t tag_end = full.find("/>") + 2;  // the end of <kelu_upload .../>
  const size_t value_end = full.find(".EXE\"") + 5;
  for (size_t n = 0; n <= full.size(); ++n) {
    CXmlDocument document;
    EXPECT_EQ(document.LoadBytes(std::string_view(full).substr(0, n)), n == full.size()) << n;
    const XmlElement* root = document.Root();
    const XmlElement* upload = root ? root->FirstChild(L"kelu_upload") : nullptr;
    if (root) {
      EXPECT_EQ(root->name, L"config") << n;
    }
    if (n >= tag_end) {
      ASSERT_NE(upload, nullptr) << n;
      EXPECT_EQ(upload->Attribute(L"unsupport"), L".exe|.dll|.sys|.EXE") << n;
    } else if (n < value_end) {
      EXPECT_TRUE(!upload || !upload->HasAttribute(L"unsupport")) << n;
    }
  }
}

TEST(XmlDocument, HugeAndHostileInputStaysBounded) {
  CXmlDocument document;
  // 10 MB of text is read whole.
  EXPECT_TRUE(document.LoadBytes("<r>" + std::string(10'000'000, 'x') + "</r>"));
  EXPECT_EQ(document.Root()->text.size(), 10'000'000u);
  // Exactly the size limit is read; one byte over is refused.
  std::string at_limit = "<r>" + std::string(CXmlDocument::kMaxBytes - 7, ' ') + "</r>";
  EXPECT_TRUE(document.LoadBytes(at_limit));
  at_limit.insert(3, " ");
  EXPECT_FALSE(document.LoadBytes(at_limit));
  EXPECT_EQ(document.Root(), nullptr);
  // Nesting stops at the depth limit, with the levels above it kept.
  std::string deep;
  for (int i = 0; i < 100'000; ++i) deep += "<a>";
  for (int i = 0; i < 100'000; ++i) deep += "</a>";
  EXPECT_FALSE(document.LoadBytes(deep));
  EXPECT_EQ(Depth(document.Root()), CXmlDocument::kMaxDepth);
  // Element and attribute counts stop at their limits.
  std::string many = "<r>";
  for (size_t i = 0; i < CXmlDocument::kMaxElements + 10; ++i) many += "<a/>";
  EXPECT_FALSE(document.LoadBytes(many + "</r>"));
  EXPECT_EQ(document.Root()->children.size(), CXmlDocument::kMaxElements - 1);
  std::string attributes = "<r";
  for (size_t i = 0; i < CXmlDocument::kMaxAttributes + 10; ++i) attributes += " a" + std::to_string(i) + "=''";
  EXPECT_FALSE(document.LoadBytes(attributes + "/>"));
  EXPECT_EQ(document.Root()->attributes.size(), CXmlDocument::kMaxAttributes);
  attributes.resize(attributes.find(" a5000="));
  EXPECT_TRUE(document.LoadBytes(attributes + "/>"));
  EXPECT_TRUE(document.Root()->HasAttribute(L"a4999"));
  // Runs of "&" and of digits are not rescanned.
  EXPECT_TRUE(document.LoadBytes("<r>" + std::string(1'000'000, '&') + "&#" + std::string(1'000'000, '9') + ";</r>"));
  EXPECT_EQ(document.Root()->text.size(), 2'000'003u);
}

TEST(XmlDocument, LoadFileReadsAndRefuses) {
  const test::TempFolder folder(L"VelmoraXml");
  const std::wstring path = folder / L"config.xml";
  std::string padded = kConfig;
  padded.resize(CXmlDocument::kMaxBytes + 1);  // with zero bytes past the limit
  CXmlDocument document;
  ASSERT_TRUE(test::WriteAll(path, kConfig));
  EXPECT_TRUE(document.LoadFile(path));
  EXPECT_EQ(Dump(document.Root()->FirstChild(L"skin")), "skin'raw <b>'(title[lang=en]'Side & bar')");
  ASSERT_TRUE(test::WriteAll(path, padded));
  EXPECT_FALSE(document.LoadFile(path));
  EXPECT_EQ(document.Root(), nullptr);
  DeleteFileW(path.c_str());
  ASSERT_TRUE(document.LoadBytes("<r/>"));
  EXPECT_FALSE(document.LoadFile(path));  // a missing file also empties the document
  EXPECT_EQ(document.Root(), nullptr);
}

// Mutated configuration files, UTF-8 and UTF-16: nothing crashes, the depth bound holds, and the
// same bytes always give the same tree.
TEST(XmlDocument, SurvivesRandomMutations) {
  std::mt19937 random(20240611);
  const std::string seeds[] = {kConfig, Utf16Bytes(Utf8ToWide(kConfig), true)};
  const char kAlphabet[] = "<>/='\"&;#x![]-? \r\nCDATA\x00\xFF\xC3";
  for (int round = 0; round < 4000; ++round) {
    std::string bytes = seeds[round % 2];
    for (int edits = 1 + random() % 4; edits > 0 && !bytes.empty(); --edits) {
      const size_t at = random() % bytes.size();
      const size_t length = 1 + random() % std::min<size_t>(64, bytes.size() - at);
      switch (random() % 4) {
        case 0: bytes[at] = static_cast<char>(bytes[at] ^ (1 << (random() % 8))); break;
        case 1: bytes.insert(at, 1, kAlphabet[random() % (sizeof(kAlphabet) - 1)]); break;
        case 2: bytes.erase(at, length); break;
        default: bytes.insert(random() % (bytes.size() + 1), bytes.substr(at, length)); break;
      }
    }
    CXmlDocument first;
    CXmlDocument second;
    const bool ok = first.LoadBytes(bytes);
    ASSERT_EQ(second.LoadBytes(bytes), ok) << round;
    ASSERT_EQ(Dump(first.Root()), Dump(second.Root())) << round;
    ASSERT_LE(Depth(first.Root()), CXmlDocument::kMaxDepth) << round;
  }
}

}  // namespace
}  // namespace velmora
