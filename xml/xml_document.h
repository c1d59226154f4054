// A small, defensive XML reader for the files the suite installs beside us (the configuration
// file, the promotion window's skin description). It builds an element tree with attributes and
// text and nothing more: no DTD processing, no external entities, no entity expansion beyond the
// five predefined entities and numeric character references.
//
// Hostile or broken input never crashes or throws: reading stops at the first fault and the tree
// keeps what was read up to it. Sizes are bounded (see the limits below), so any input is read in
// time linear in its length.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora {

struct XmlElement {
  std::wstring name;
  // In document order. A repeated name is kept as written; lookups answer the first.
  std::vector<std::pair<std::wstring, std::wstring>> attributes;
  // The element's own character data (text and CDATA sections, references resolved, line ends
  // as "\n"), concatenated without its children's text and without trimming.
  std::wstring text;
  std::vector<XmlElement> children;

  // The first direct child called `child_name` (exact, case-sensitive); nullptr when none.
  const XmlElement* FirstChild(std::wstring_view child_name) const;
  // The value of the first attribute called `attribute_name`; empty when absent.
  std::wstring Attribute(std::wstring_view attribute_name) const;
  bool HasAttribute(std::wstring_view attribute_name) const;
};

// Not synchronised: load on one thread, then read from any thread while nobody loads.
class CXmlDocument {
 public:
  // Input larger than this is refused outright.
  static constexpr size_t kMaxBytes = 16u * 1024 * 1024;
  // Deeper nesting, more elements or more attributes than these stop the reading (a fault).
  static constexpr size_t kMaxDepth = 256;
  static constexpr size_t kMaxElements = 100000;
  static constexpr size_t kMaxAttributes = 100000;

  // Replaces the document with the file's content. UTF-8 (with or without a BOM) or UTF-16 LE
  // with a BOM. True when the file was read and is a well-formed document; false when it is
  // missing, unreadable, over kMaxBytes (document left empty) or malformed (Root() may still
  // answer the elements read before the fault).
  bool LoadFile(const std::wstring& path);
  // The same for bytes in memory.
  bool LoadBytes(std::string_view bytes);

  void Clear();
  // The top-level element; nullptr when none was read.
  const XmlElement* Root() const { return has_root_ ? &root_ : nullptr; }

 private:
  XmlElement root_;
  bool has_root_ = false;
};

}  // namespace velmora
