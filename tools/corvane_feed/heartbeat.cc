#include "tools/corvane_feed/heartbeat.h"

#include <nlohmann/json.hpp>

namespace corvane::feed {

std::string WithSeq(const std::string& document, uint64_t seq) {
  const nlohmann::json parsed = nlohmann::json::parse(document, nullptr, /*allow_exceptions=*/false,
                                                      /*ignore_comments=*/false);
  if (!parsed.is_object() || parsed.contains("seq")) return document;
  // A JSON object's text opens with its brace, after white space or a byte-order mark.
  const size_t brace = document.find('{');
  if (brace == std::string::npos) return document;
  std::string key = "\"seq\":" + std::to_string(seq);
  if (!parsed.empty()) key += ',';
  return std::string(document).insert(brace + 1, key);
}

}  // namespace corvane::feed
