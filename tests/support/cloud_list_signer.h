// Wraps documents as the cloud configuration service does, signed with the test key whose public
// half the program holds: {"data": Base64 of the document, "sign": Base64 of its RSA SHA-256
// signature}.
#pragma once

#include <string>

namespace velmora::test {

std::string WrapSignedDocument(const std::string& document);

// A tool list document: `data` holds `elements` (a JSON array text) as a string.
std::string ToolListDocument(const std::string& elements);

}  // namespace velmora::test
