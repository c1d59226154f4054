#include "xml/xml_document.h"

#include <windows.h>

#include <cstdint>
#include <new>

#include "platform/scoped_handle.h"
#include "platform/text.h"

namespace velmora {
namespace {

// A reference longer than this is not one: "&" is kept literally. Bounding the look-ahead for
// ";" keeps a long run of "&" linear.
constexpr size_t kMaxReferenceLength = 32;
constexpr wchar_t kReplacement = 0xFFFD;

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; }

bool IsNameStart(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'_' || c == L':' || c >= 0x80;
}

bool IsNameChar(wchar_t c) { return IsNameStart(c) || (c >= L'0' && c <= L'9') || c == L'-' || c == L'.'; }

// Code points a character reference may name.
bool IsXmlChar(uint32_t c) {
  if (c == 0x9 || c == 0xA || c == 0xD) return true;
  if (c < 0x20) return false;
  if (c >= 0xD800 && c <= 0xDFFF) return false;
  if (c == 0xFFFE || c == 0xFFFF) return false;
  return c <= 0x10FFFF;
}

void AppendCodePoint(uint32_t c, std::wstring* out) {
  if (!IsXmlChar(c)) {
    out->push_back(kReplacement);
  } else if (c >= 0x10000) {
    c -= 0x10000;
    out->push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
    out->push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
  } else {
    out->push_back(static_cast<wchar_t>(c));
  }
}

// Decodes the body of a reference (between "&" and ";"). False when it is not one we resolve.
bool ResolveReference(std::wstring_view body, std::wstring* out) {
  if (body == L"lt") return out->push_back(L'<'), true;
  if (body == L"gt") return out->push_back(L'>'), true;
  if (body == L"amp") return out->push_back(L'&'), true;
  if (body == L"quot") return out->push_back(L'"'), true;
  if (body == L"apos") return out->push_back(L'\''), true;
  if (body.size() < 2 || body[0] != L'#') return false;
  const bool hex = body[1] == L'x';
  const std::wstring_view digits = body.substr(hex ? 2 : 1);
  if (digits.empty()) return false;
  uint32_t value = 0;
  for (const wchar_t c : digits) {
    uint32_t digit;
    if (c >= L'0' && c <= L'9') {
      digit = c - L'0';
    } else if (hex && c >= L'a' && c <= L'f') {
      digit = c - L'a' + 10;
    } else if (hex && c >= L'A' && c <= L'F') {
      digit = c - L'A' + 10;
    } else {
      return false;
    }
    // Saturate past the last code point so long digit runs cannot wrap into a valid one.
    value = value > 0x10FFFF ? value : value * (hex ? 16 : 10) + digit;
  }
  AppendCodePoint(value, out);
  return true;
}

// Appends `raw` with references resolved; in attribute values, white space becomes a space.
void AppendDecoded(std::wstring_view raw, bool attribute, std::wstring* out) {
  size_t i = 0;
  while (i < raw.size()) {
    const size_t amp = raw.find(L'&', i);
    const size_t stop = amp == std::wstring_view::npos ? raw.size() : amp;
    const size_t start = out->size();
    out->append(raw.substr(i, stop - i));
    if (attribute) {
      for (size_t k = start; k < out->size(); ++k) {
        if (IsSpace((*out)[k])) (*out)[k] = L' ';
      }
    }
    if (stop == raw.size()) break;
    const size_t semicolon = raw.substr(amp + 1, kMaxReferenceLength + 1).find(L';');
    if (semicolon != std::wstring_view::npos && ResolveReference(raw.substr(amp + 1, semicolon), out)) {
      i = amp + semicolon + 2;
    } else {
      out->push_back(L'&');
      i = amp + 1;
    }
  }
}

// UTF-16 LE after its BOM, else UTF-8 (a UTF-8 BOM dropped; invalid sequences become U+FFFD).
// Line ends are folded to "\n" as XML requires.
std::wstring DecodeBytes(std::string_view bytes) {
  std::wstring text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    const size_t units = (bytes.size() - 2) / 2;  // an odd last byte is dropped
    text.resize(units);
    for (size_t i = 0; i < units; ++i) {
      const auto low = static_cast<unsigned char>(bytes[2 + 2 * i]);
      const auto high = static_cast<unsigned char>(bytes[3 + 2 * i]);
      text[i] = static_cast<wchar_t>(low | (high << 8));
    }
  } else {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    text = Utf8ToWide(bytes);
  }
  size_t out = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r') {
      text[out++] = L'\n';
      if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
    } else {
      text[out++] = text[i];
    }
  }
  text.resize(out);
  return text;
}

// One pass over the decoded text. Every step consumes input, and every search for a terminator
// either succeeds (consuming up to it) or ends the reading, so the work is linear.
class Parser {
 public:
  Parser(std::wstring_view text, XmlElement* root, bool* has_root) : s_(text), root_(root), has_root_(has_root) {}

  // True when the whole text is one well-formed element with only white space, comments and
  // processing instructions around it.
  bool Run() {
    // Before the root: declaration, comments, processing instructions, a DOCTYPE.
    for (;;) {
      SkipSpace();
      if (AtEnd()) return false;
      if (StartsWith(L"<?")) {
        if (!SkipPast(2, L"?>")) return false;
      } else if (StartsWith(L"<!--")) {
        if (!SkipPast(4, L"-->")) return false;
      } else if (StartsWith(L"<!DOCTYPE")) {
        if (!SkipDoctype()) return false;
      } else if (StartsWith(L"<")) {
        break;
      } else {
        return false;
      }
    }
    if (!StartTag()) return false;
    while (!open_.empty()) {
      if (!Content()) return false;
    }
    // After the root: only white space, comments and processing instructions.
    for (;;) {
      SkipSpace();
      if (AtEnd()) return true;
      if (StartsWith(L"<?")) {
        if (!SkipPast(2, L"?>")) return false;
      } else if (StartsWith(L"<!--")) {
        if (!SkipPast(4, L"-->")) return false;
      } else {
        return false;
      }
    }
  }

 private:
  bool AtEnd() const { return p_ >= s_.size(); }
  bool StartsWith(std::wstring_view prefix) const { return s_.substr(p_, prefix.size()) == prefix; }
  void SkipSpace() {
    while (!AtEnd() && IsSpace(s_[p_])) ++p_;
  }

  // Moves past `terminator`, searching from `skip` characters on. False (at the end) when absent.
  bool SkipPast(size_t skip, std::wstring_view terminator) {
    const size_t found = s_.find(terminator, p_ + skip);
    if (found == std::wstring_view::npos) {
      p_ = s_.size();
      return false;
    }
    p_ = found + terminator.size();
    return true;
  }

  // "<!DOCTYPE ... [ internal subset ] >": skipped without looking at its declarations. Quoted
  // literals and comments may hold ">" or "]", so they are stepped over whole.
  bool SkipDoctype() {
    p_ += 9;
    int brackets = 0;
    while (!AtEnd()) {
      const wchar_t c = s_[p_];
      if (c == L'"' || c == L'\'') {
        const size_t close = s_.find(c, p_ + 1);
        if (close == std::wstring_view::npos) break;
        p_ = close + 1;
      } else if (StartsWith(L"<!--")) {
        if (!SkipPast(4, L"-->")) return false;
      } else {
        ++p_;
        if (c == L'[') ++brackets;
        if (c == L']' && brackets > 0) --brackets;
        if (c == L'>' && brackets == 0) return true;
      }
    }
    p_ = s_.size();
    return false;
  }

  std::wstring_view Name() {
    const size_t start = p_;
    if (AtEnd() || !IsNameStart(s_[p_])) return {};
    while (!AtEnd() && IsNameChar(s_[p_])) ++p_;
    return s_.substr(start, p_ - start);
  }

  // At "<" of a start tag. The element joins the tree as soon as its name is read, so a fault
  // inside the tag leaves it with the attributes completed before the fault.
  bool StartTag() {
    ++p_;
    const std::wstring_view name = Name();
    if (name.empty() || AtEnd()) return false;
    if (open_.size() >= CXmlDocument::kMaxDepth || elements_ >= CXmlDocument::kMaxElements) return false;
    ++elements_;
    XmlElement* element;
    if (open_.empty()) {
      *has_root_ = true;
      element = root_;
    } else {
      // Only the innermost open element gains children, so the pointers in open_ stay valid.
      element = &open_.back()->children.emplace_back();
    }
    element->name = name;
    for (;;) {
      SkipSpace();
      if (AtEnd()) return false;
      if (s_[p_] == L'>') {
        ++p_;
        open_.push_back(element);
        return true;
      }
      if (s_[p_] == L'/') {
        if (!StartsWith(L"/>")) return false;
        p_ += 2;
        return true;
      }
      const std::wstring_view attribute = Name();
      if (attribute.empty()) return false;
      SkipSpace();
      if (AtEnd() || s_[p_] != L'=') return false;
      ++p_;
      SkipSpace();
      if (AtEnd() || (s_[p_] != L'"' && s_[p_] != L'\'')) return false;
      const size_t close = s_.find(s_[p_], p_ + 1);
      if (close == std::wstring_view::npos) return false;
      if (attributes_ >= CXmlDocument::kMaxAttributes) return false;
      ++attributes_;
      std::wstring value;
      AppendDecoded(s_.substr(p_ + 1, close - p_ - 1), /*attribute=*/true, &value);
      element->attributes.emplace_back(std::wstring(attribute), std::move(value));
      p_ = close + 1;
    }
  }

  // At "</": the name must close the innermost open element.
  bool EndTag() {
    p_ += 2;
    const std::wstring_view name = Name();
    SkipSpace();
    if (AtEnd() || s_[p_] != L'>' || name != open_.back()->name) return false;
    ++p_;
    open_.pop_back();
    return true;
  }

  // One piece of content inside the innermost open element.
  bool Content() {
    if (AtEnd()) return false;
    std::wstring& text = open_.back()->text;
    if (s_[p_] != L'<') {
      const size_t next = s_.find(L'<', p_);
      const size_t stop = next == std::wstring_view::npos ? s_.size() : next;
      AppendDecoded(s_.substr(p_, stop - p_), /*attribute=*/false, &text);
      p_ = stop;
      return true;
    }
    if (StartsWith(L"</")) return EndTag();
    if (StartsWith(L"<!--")) return SkipPast(4, L"-->");
    if (StartsWith(L"<?")) return SkipPast(2, L"?>");
    if (StartsWith(L"<![CDATA[")) {
      const size_t close = s_.find(L"]]>", p_ + 9);
      if (close == std::wstring_view::npos) return false;
      text.append(s_.substr(p_ + 9, close - p_ - 9));
      p_ = close + 3;
      return true;
    }
    if (StartsWith(L"<!")) return false;
    return StartTag();
  }

  std::wstring_view s_;
  size_t p_ = 0;
  XmlElement* root_;
  bool* has_root_;
  std::vector<XmlElement*> open_;
  size_t elements_ = 0;
  size_t attributes_ = 0;
};

}  // namespace

const XmlElement* XmlElement::FirstChild(std::wstring_view child_name) const {
  for (const XmlElement& child : children) {
    if (child.name == child_name) return &child;
  }
  return nullptr;
}

std::wstring XmlElement::Attribute(std::wstring_view attribute_name) const {
  for (const auto& [key, value] : attributes) {
    if (key == attribute_name) return value;
  }
  return {};
}

bool XmlElement::HasAttribute(std::wstring_view attribute_name) const {
  for (const auto& attribute : attributes) {
    if (attribute.first == attribute_name) return true;
  }
  return false;
}

void CXmlDocument::Clear() {
  root_ = XmlElement();
  has_root_ = false;
}

bool CXmlDocument::LoadBytes(std::string_view bytes) {
  Clear();
  if (bytes.size() > kMaxBytes) return false;
  try {
    const std::wstring text = DecodeBytes(bytes);
    return Parser(text, &root_, &has_root_).Run();
  } catch (const std::bad_alloc&) {
    return false;  // the tree keeps what was built before memory ran out
  }
}

bool CXmlDocument::LoadFile(const std::wstring& path) {
  Clear();
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, /*security=*/nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, /*template_file=*/nullptr));
  if (!file) return false;
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
      static_cast<uint64_t>(size.QuadPart) > kMaxBytes) {
    return false;
  }
  std::string bytes;
  try {
    bytes.resize(static_cast<size_t>(size.QuadPart));
  } catch (const std::bad_alloc&) {
    return false;
  }
  // A file that shrinks while we read is taken as far as it goes; one that grows is cut at the
  // size seen above.
  size_t read_total = 0;
  while (read_total < bytes.size()) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes.data() + read_total, static_cast<DWORD>(bytes.size() - read_total), &read,
                    nullptr)) {
      return false;
    }
    if (read == 0) break;
    read_total += read;
  }
  bytes.resize(read_total);
  return LoadBytes(bytes);
}

}  // namespace velmora
